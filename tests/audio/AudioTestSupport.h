#pragma once

#include "controls/audio/AudioFile.h"
#include "controls/audio/LineAudio.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <vector>

namespace quorvel::test {

// Writes a sine tone with libsndfile in the given container subtype (SF_FORMAT_PCM_16, ...).
// `rightPhase` inverts the right channel when it is -1.
bool writeTone(const QString &path, int format, int rate, int channels, double frequency,
               double seconds, double amplitude = 0.5, int rightPhase = 1);

// The strongest frequency among 50 Hz steps up to the Nyquist limit (Goertzel per step).
double strongestFrequency(const std::vector<float> &mono, int rate);
double rms(const std::vector<float> &samples);

// Header facts of a sound file as libsndfile sees them.
struct SoundFileInfo {
    bool ok = false;
    int format = 0;
    int rate = 0;
    int channels = 0;
    qint64 frames = 0;
    qint64 durationMs() const { return rate ? frames * 1000 / rate : 0; }
};
SoundFileInfo soundFileInfo(const QString &path);

// Sets QUORVEL_AUDIO_DIR for its lifetime, to a fresh folder.
class VirtualSoundFolder {
public:
    VirtualSoundFolder();
    ~VirtualSoundFolder();
    QString path() const { return m_dir.path(); }
    // NNNN.wav files written so far, in order.
    QStringList files() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_old;
    bool m_had;
};

// A line sink that keeps what it was given and finishes when told.
class RecordingLineSink : public LineAudioSink {
    Q_OBJECT
public:
    using LineAudioSink::LineAudioSink;

    bool acceptStart = true;
    int refuseAfterChunks = -1; // lineWriteSamples fails from this chunk on
    bool finishOnEnd = false; // emits playbackFinished inside lineEndPlayback
    int starts = 0;
    int ends = 0;
    int stops = 0;
    QList<QByteArray> chunks;

    QByteArray audio() const;
    void finish() { emit playbackFinished(); }

    bool lineStartPlayback() override;
    bool lineWriteSamples(const QByteArray &pcm16) override;
    void lineEndPlayback() override;
    void lineStopPlayback() override;
    bool lineIsPlaying() const override { return starts > 0 && ends == 0 && stops == 0; }
    int linePlayedMs() const override { return 0; }
};

} // namespace quorvel::test
