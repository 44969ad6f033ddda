#pragma once

#include "controls/speech/SpeechEngine.h"

#include <QList>
#include <QTimer>

namespace quorvel {

// A SpeechEngine for tests of the code above the speech layer: it says nothing, remembers every
// request, and ends a text when the test says so (finishSpeaking) or after a set time.
// speakToWave writes a short silent 8 kHz 16-bit mono WAV, so a caller can go on with the file.
class RecordingSpeech : public SpeechEngine {
    Q_OBJECT
public:
    struct Call {
        QString operation; // "setVoice", "setRate", "setVolume", "setOutputDevice", "speak",
                           // "stop", "speakToWave"
        QString text;
        QString path;
        int value = 0;
    };

    explicit RecordingSpeech(QObject *parent = nullptr);

    QList<Call> calls() const { return m_calls; }
    // The texts given to speak(), in order.
    QStringList spokenTexts() const;
    void clearCalls() { m_calls.clear(); }

    void setVoices(const QStringList &voices) { m_voices = voices; }
    void setAvailable(bool available) { m_available = available; }
    // -1 (the default): a text lasts until finishSpeaking(); otherwise it ends by itself.
    void setAutoFinishMs(int ms) { m_autoFinishMs = ms; }
    void finishSpeaking();
    int outputDevice() const { return m_device; }
    int volume() const { return m_volume; }

    bool isAvailable() const override { return m_available; }
    QStringList voices() const override { return m_available ? m_voices : QStringList(); }
    bool setVoice(int index) override;
    int voice() const override { return m_voice; }
    void setRate(int rate) override;
    int rate() const override { return m_rate; }
    void setVolume(int volume) override;
    void setOutputDevice(int index) override;
    bool speak(const QString &text) override;
    void stop() override;
    bool isSpeaking() const override { return m_speaking; }
    bool speakToWave(const QString &text, const QString &path) override;

private:
    QList<Call> m_calls;
    QStringList m_voices;
    bool m_available = true;
    int m_voice = 0;
    int m_rate = 0;
    int m_volume = 100;
    int m_device = 0;
    bool m_speaking = false;
    int m_autoFinishMs = -1;
    QTimer m_finishTimer;
};

} // namespace quorvel
