#pragma once

#include <QByteArray>
#include <QString>

namespace quorvel::modemsim {

// Keeps the audio the host played during a call and writes it, when the call ends, as
// <dir>/call-NNNN.wav: PCM 16-bit, 8 kHz, mono. Every call gets its file, an empty one when the
// host played nothing, so call N is always call-000N.wav.
class CaptureWriter {
public:
    explicit CaptureWriter(QString directory);

    void startCall(int number);
    void addAudio(const QByteArray &pcm16);
    // Writes the call's file (atomically: a reader never sees half a file). Returns the path,
    // or an empty string with *error set.
    QString finishCall(QString *error);

    bool inCall() const { return m_number > 0; }
    qint64 samples() const { return m_pcm.size() / 2; }
    static QString fileName(int number);
    // A 44-byte RIFF header and the samples.
    static QByteArray wavFile(const QByteArray &pcm16, int sampleRate = 8000);

private:
    QString m_directory;
    int m_number = 0;
    QByteArray m_pcm;
};

} // namespace quorvel::modemsim
