#include "service/speech/FrmTTS.h"

#include "controls/speech/SpeechEngine.h"
#include "service/host/FrmMain.h"
#include "shared/channel/ChannelMessage.h"

#include <QDir>
#include <algorithm>

namespace quorvel {

FrmTTS::FrmTTS(FrmMain &main, SpeechEngine *engine)
    : m_main(main)
    , m_engine(engine)
    , m_reg(main.home().settingsFile())
{
    m_reg.setSubkey(kVoicesSection);
    if (!m_reg.keyExists())
        m_reg.createKey();
    if (m_engine && !m_engine->isAvailable())
        m_engine = nullptr;
    if (!m_engine)
        return;
    // Voices that are no longer installed keep their names: the desktop's stored list position
    // is resolved by name (below), so a stale name never shifts the voice that is used.
    const QStringList installed = m_engine->voices();
    const QStringList known = m_reg.enumRegistryValues(kVoicesSection);
    for (const QString &voice : installed) {
        if (!known.contains(voice, Qt::CaseInsensitive))
            m_reg.setRegistryValue(voice, QString());
    }
}

FrmTTS::~FrmTTS()
{
    if (m_engine)
        m_engine->stop();
}

void FrmTTS::speakIt(const QString &text, int deviceIndex)
{
    if (!m_engine)
        return;
    m_engine->setOutputDevice(deviceIndex);
    m_engine->setVolume(100);
    if (!m_engine->speak(text))
        m_main.journal().journalWrite(QStringLiteral("ErrSetTTSLineOutput:0-cannot speak on device ")
                                      + QString::number(deviceIndex));
}

void FrmTTS::stopSpeak()
{
    if (m_engine)
        m_engine->stop();
}

void FrmTTS::setRate(int rate)
{
    if (m_engine)
        m_engine->setRate(std::clamp(rate, -10, 10));
}

int FrmTTS::engineIndexForListPosition(int listPosition) const
{
    const QStringList published = m_reg.enumRegistryValues(kVoicesSection);
    if (listPosition < 0 || listPosition >= published.size())
        return -1;
    const QString name = published[listPosition];
    const QStringList installed = m_engine->voices();
    for (int i = 0; i < installed.size(); ++i) {
        if (installed[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void FrmTTS::ttsSetVoice(int listPosition)
{
    if (!m_engine)
        return;
    // An index outside the list (or a voice since uninstalled) leaves the current voice.
    const int index = engineIndexForListPosition(listPosition);
    if (index >= 0)
        m_engine->setVoice(index);
}

void FrmTTS::loadSpeechSettings()
{
    RegistryRoutines reg(m_main.home().settingsFile());
    reg.setSubkey(QStringLiteral("Properties\\TabTTS"));
    bool ok = false;
    const int voice = settingToInt(reg.getRegistryValue(QStringLiteral("TTSVoices")), &ok);
    if (ok)
        ttsSetVoice(voice);
    const int rate = settingToInt(reg.getRegistryValue(QStringLiteral("sldrTTS")), &ok);
    if (ok)
        setRate(rate);
}

bool FrmTTS::saveTextToWav(const QString &text, const QString &path, int deviceIndex)
{
    if (!m_engine || text.isEmpty())
        return false;
    // The desktop only ever asks for a file in Greets/; anything else would let a channel
    // message overwrite any file the service can write.
    if (!path.endsWith(QLatin1String(".wav"), Qt::CaseInsensitive)
        || !m_main.home().contains(path, QStringLiteral("Greets"))) {
        m_main.journal().journalWrite(QStringLiteral("MakeWave refused a file outside Greets: ") + path,
                                      0, QStringLiteral("ErrMakeWave"));
        return false;
    }
    const QString target = QDir::isAbsolutePath(path) ? path : m_main.home().path(path);
    const bool written = m_engine->speakToWave(text, target);
    m_engine->setOutputDevice(deviceIndex);
    return written;
}

void FrmTTS::handleRequest(const QString &text)
{
    const QStringList f = ChannelMessage::split(text);
    const QString &name = f[0];
    const int device = m_main.soundDeviceIndex();
    if (name == QLatin1String("TestTTSSay")) {
        if (f.size() < 4)
            return;
        bool ok = false;
        const int voice = f[2].trimmed().toInt(&ok);
        if (ok)
            ttsSetVoice(voice);
        const int rate = f[3].trimmed().toInt(&ok);
        if (ok)
            setRate(rate);
        speakIt(f[1], device);
    } else if (name == QLatin1String("Say")) {
        if (f.size() >= 2)
            speakIt(f[1], device);
    } else if (name == QLatin1String("StopSay")) {
        stopSpeak();
    } else if (name == QLatin1String("MakeWave")) {
        if (f.size() >= 3)
            saveTextToWav(f[1], f[2], device);
    }
}

} // namespace quorvel
