#pragma once

#include <QList>
#include <QString>

namespace quorvel {

// One local sound device of the wave layer.
//
// Device order (indexes are what the settings and the line service pass around, names are what
// the desktop stores, so the order only has to be the same from run to run on one machine):
//   outputs: "file" (only when QUORVEL_AUDIO_DIR is set), then ALSA's playback PCMs in ALSA's
//            hint order ("default", "sysdefault:CARD=...", "hw:CARD=...", ...), then "null".
//   inputs:  "null" first when QUORVEL_AUDIO_DIR is set, then ALSA's capture PCMs in hint
//            order, then "null" (once) when QUORVEL_AUDIO_DIR is not set.
// So a headless machine set up for virtual sound gets the file device as output 0 and silence
// as input 0, and a desktop gets ALSA's default device as 0.
struct SoundDevice {
    enum class Kind {
        Alsa, // an ALSA PCM by name
        Null, // plays silently in real time, records silence
        File, // plays in real time into numbered WAV files in `folder`
    };

    Kind kind = Kind::Null;
    QString name;
    QString folder;

    static SoundDevice alsa(const QString &name) { return { Kind::Alsa, name, {} }; }
    static SoundDevice null() { return { Kind::Null, QStringLiteral("null"), {} }; }
    static SoundDevice file(const QString &folder)
    {
        return { Kind::File, QStringLiteral("file"), folder };
    }

    // The machine's devices in the order above.
    static QList<SoundDevice> systemOutputs();
    static QList<SoundDevice> systemInputs();
};

} // namespace quorvel
