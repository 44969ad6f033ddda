#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace quorvel {

// Decoded audio: interleaved float samples, nominally -1..1.
struct AudioBuffer {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;

    qint64 frames() const { return channels > 0 ? qint64(samples.size()) / channels : 0; }
    // Length in milliseconds, rounded down.
    qint64 durationMs() const { return sampleRate > 0 ? frames() * 1000 / sampleRate : 0; }
};

// Why reading or writing a sound file failed; the text names the file.
struct AudioStatus {
    enum Code {
        Ok = 0,
        NotFound, // no file at the path
        NotSound, // a file, but not one libsndfile can decode
        TooLong, // more audio than the caller's limit
        CannotWrite,
        BadArgument,
    };
    Code code = Ok;
    QString text;

    bool ok() const { return code == Ok; }
    static AudioStatus failure(Code code, const QString &text) { return { code, text }; }
};

// Sound file helpers. Reading goes through libsndfile (PCM 8/16/24/32-bit, float, mu-law,
// A-law, IMA and MS ADPCM, any rate and channel count); resampling through libsamplerate.
// Everything except read/write works on buffers only.
class AudioFile {
public:
    // The line format: what the modem takes and what greetings are recorded in.
    static constexpr int kLineRate = 8000;

    // Opens `path` and reports whether it can be decoded, without decoding it.
    static AudioStatus probe(const QString &path);

    // Decodes a whole file. `maxFrames` guards memory against a huge or lying file.
    static AudioStatus read(const QString &path, AudioBuffer *out,
                            qint64 maxFrames = 64LL * 1024 * 1024);

    // Averages all channels into one.
    static AudioBuffer mixToMono(const AudioBuffer &in);

    // Converts to another rate with libsamplerate's medium sinc converter; same channels.
    static AudioBuffer resample(const AudioBuffer &in, int rate);

    // Float to signed 16-bit native order, clipped; and back.
    static QByteArray toPcm16(const std::vector<float> &samples);
    static std::vector<float> fromPcm16(const QByteArray &pcm16);

    // Reads any sound file and converts it to the line format: 8 kHz mono 16-bit samples.
    // Streams through the file, so only the converted audio is held in memory; refuses more
    // than `maxSeconds` of audio.
    static AudioStatus toLineFormat(const QString &path, QByteArray *pcm16, int maxSeconds = 3600);

    // A canonical 44-byte-header PCM WAV of 16-bit samples.
    static QByteArray wavBytes(const QByteArray &pcm16, int sampleRate, int channels);

    // Writes wavBytes to `path` atomically (a complete file or the old one).
    static AudioStatus writeWav(const QString &path, const QByteArray &pcm16, int sampleRate,
                                int channels);
};

} // namespace quorvel
