#include "controls/speech/RecordingSpeech.h"
#include "controls/audio/AudioFile.h"

#include <algorithm>

namespace quorvel {

RecordingSpeech::RecordingSpeech(QObject *parent)
    : SpeechEngine(parent)
    , m_voices { QStringLiteral("Test Voice One [en]"), QStringLiteral("Test Voice Two [de]") }
{
    m_finishTimer.setSingleShot(true);
    connect(&m_finishTimer, &QTimer::timeout, this, &RecordingSpeech::finishSpeaking);
}

QStringList RecordingSpeech::spokenTexts() const
{
    QStringList texts;
    for (const Call &call : m_calls) {
        if (call.operation == QLatin1String("speak"))
            texts << call.text;
    }
    return texts;
}

void RecordingSpeech::finishSpeaking()
{
    m_finishTimer.stop();
    if (!m_speaking)
        return;
    m_speaking = false;
    emit speakDone();
}

bool RecordingSpeech::setVoice(int index)
{
    m_calls << Call { QStringLiteral("setVoice"), {}, {}, index };
    if (index < 0 || index >= voices().size())
        return false;
    m_voice = index;
    return true;
}

void RecordingSpeech::setRate(int rate)
{
    m_calls << Call { QStringLiteral("setRate"), {}, {}, rate };
    m_rate = std::clamp(rate, -10, 10);
}

void RecordingSpeech::setVolume(int volume)
{
    m_calls << Call { QStringLiteral("setVolume"), {}, {}, volume };
    m_volume = std::clamp(volume, 0, 100);
}

void RecordingSpeech::setOutputDevice(int index)
{
    m_calls << Call { QStringLiteral("setOutputDevice"), {}, {}, index };
    m_device = index;
}

bool RecordingSpeech::speak(const QString &text)
{
    m_calls << Call { QStringLiteral("speak"), text, {}, m_device };
    m_finishTimer.stop();
    if (!m_available || text.trimmed().isEmpty()) {
        finishSpeaking();
        return false;
    }
    // Like the real engine, a new text replaces the current one without a speakDone.
    m_speaking = true;
    if (m_autoFinishMs >= 0)
        m_finishTimer.start(m_autoFinishMs);
    return true;
}

void RecordingSpeech::stop()
{
    m_calls << Call { QStringLiteral("stop"), {}, {}, 0 };
    finishSpeaking();
}

bool RecordingSpeech::speakToWave(const QString &text, const QString &path)
{
    m_calls << Call { QStringLiteral("speakToWave"), text, path, 0 };
    if (!m_available || text.trimmed().isEmpty())
        return false;
    // A tenth of a second of silence per word: enough for a caller to find a real file.
    const qsizetype words = text.split(' ', Qt::SkipEmptyParts).size();
    const QByteArray silence(words * AudioFile::kLineRate / 10 * 2, '\0');
    return AudioFile::writeWav(path, silence, AudioFile::kLineRate, 1).ok();
}

} // namespace quorvel
