#pragma once

#include "controls/speech/SpeechEngine.h"

#include <QByteArray>
#include <QPointer>
#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace quorvel {

class Wave;

// Speech through libespeak-ng.
//
// Voices: every voice espeak-ng lists (variants and mbrola voices left out), described as
// "<name> [<language>]", e.g. "English (Great Britain) [en-gb]". espeak-ng's default voice
// (English, "en") comes first, because a voice setting that was never written reads as 0; the
// others follow sorted by description. The order depends only on the installed voices, so the
// service and the desktop see the same list.
//
// Rate: the -10..10 scale maps onto espeak-ng's 80..450 words per minute geometrically around
// its normal 175: wpm = 175 * (450/175)^(rate/10) above 0 and 175 * (80/175)^(-rate/10) below,
// so each step is the same ratio on its side and both ends reach espeak-ng's limits.
// Volume: 0..100 onto espeak-ng's amplitude 0..100 (100 is its normal loudness).
//
// speak() synthesizes on a worker thread, writes a temporary WAV at espeak-ng's own rate and
// plays it on the chosen local device through the Wave given here; speakDone follows when the
// engine falls silent (the text played out, or stop()). A text that is cut by a newer one has
// no speakDone of its own. The Wave should be one the engine may stop at will.
class EspeakEngine : public SpeechEngine {
    Q_OBJECT
public:
    explicit EspeakEngine(Wave *wave, QObject *parent = nullptr);
    ~EspeakEngine() override;

    bool isAvailable() const override;
    // Why the engine is not available, or why the last request failed.
    QString errorText() const { return m_error; }

    QStringList voices() const override;
    bool setVoice(int index) override;
    int voice() const override { return m_voice; }
    void setRate(int rate) override;
    int rate() const override { return m_rate; }
    void setVolume(int volume) override;
    int volume() const { return m_volume; }
    void setOutputDevice(int index) override { m_device = index; }
    int outputDevice() const { return m_device; }

    bool speak(const QString &text) override;
    void stop() override;
    bool isSpeaking() const override { return m_speaking; }
    bool speakToWave(const QString &text, const QString &path) override;

    // The words per minute espeak-ng is given for a rate on the -10..10 scale.
    static int wordsPerMinute(int rate);

    // Synthesizes with the current voice, rate and volume: mono 16-bit samples at
    // `*sampleRate` (espeak-ng's own, 22050 Hz). Synchronous.
    QByteArray synthesize(const QString &text, int *sampleRate);

private:
    struct Job {
        quint64 generation = 0;
        QString text;
        int voice = 0;
        int rate = 0;
        int volume = 100;
    };

    void startWorker();
    void workerLoop();
    void synthesized(quint64 generation, const QByteArray &pcm, int sampleRate);
    void waveDone();
    void cutPlayback();

    QPointer<Wave> m_wave;
    int m_voice = 0;
    int m_rate = 0;
    int m_volume = 100;
    int m_device = 0;
    bool m_speaking = false;
    bool m_playing = false; // a playback of ours is on the wave
    QString m_error;
    QString m_currentFile;
    std::unique_ptr<QTemporaryDir> m_tempDir;

    std::atomic<quint64> m_generation { 0 };
    std::mutex m_jobMutex;
    std::condition_variable m_jobCv;
    std::unique_ptr<Job> m_job;
    bool m_quit = false;
    std::thread m_worker;
};

} // namespace quorvel
