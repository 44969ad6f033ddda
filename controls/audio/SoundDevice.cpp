#include "controls/audio/SoundDevice.h"
#include "controls/audio/AlsaPcm.h"

namespace quorvel {

namespace {

QString virtualSoundFolder()
{
    return qEnvironmentVariable("QUORVEL_AUDIO_DIR");
}

} // namespace

QList<SoundDevice> SoundDevice::systemOutputs()
{
    QList<SoundDevice> list;
    const QString folder = virtualSoundFolder();
    if (!folder.isEmpty())
        list << file(folder);
    for (const QString &name : AlsaPcm::deviceNames(AlsaPcm::Direction::Playback))
        list << alsa(name);
    list << null();
    return list;
}

QList<SoundDevice> SoundDevice::systemInputs()
{
    QList<SoundDevice> list;
    const bool headless = !virtualSoundFolder().isEmpty();
    if (headless)
        list << null();
    for (const QString &name : AlsaPcm::deviceNames(AlsaPcm::Direction::Capture))
        list << alsa(name);
    if (!headless)
        list << null();
    return list;
}

} // namespace quorvel
