#include "controls/audio/AudioFile.h"
#include "controls/audio/AudioStream.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <samplerate.h>
#include <sndfile.h>

namespace quorvel {

AudioStatus AudioFile::probe(const QString &path)
{
    AudioStream stream;
    return stream.open(path);
}

AudioStatus AudioFile::read(const QString &path, AudioBuffer *out, qint64 maxFrames)
{
    *out = {};
    const QFileInfo info(path);
    if (!info.exists())
        return AudioStatus::failure(AudioStatus::NotFound, "file not found: " + path);
    if (!info.isFile())
        return AudioStatus::failure(AudioStatus::NotSound, "not a sound file: " + path);
    SF_INFO sf {};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &sf);
    if (!file || sf.channels <= 0 || sf.samplerate <= 0) {
        if (file)
            sf_close(file);
        return AudioStatus::failure(AudioStatus::NotSound, "not a sound file: " + path);
    }
    if (sf.frames > maxFrames) {
        sf_close(file);
        return AudioStatus::failure(AudioStatus::TooLong, "file too long: " + path);
    }
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    out->sampleRate = sf.samplerate;
    out->channels = sf.channels;
    out->samples.resize(size_t(sf.frames) * sf.channels);
    const sf_count_t got = sf_readf_float(file, out->samples.data(), sf.frames);
    // A damaged file keeps what could be decoded.
    out->samples.resize(size_t(std::max<sf_count_t>(got, 0)) * sf.channels);
    sf_close(file);
    return {};
}

AudioBuffer AudioFile::mixToMono(const AudioBuffer &in)
{
    AudioBuffer out;
    out.sampleRate = in.sampleRate;
    out.channels = 1;
    if (in.channels <= 1) {
        out.samples = in.samples;
        return out;
    }
    const qint64 frames = in.frames();
    out.samples.resize(size_t(frames));
    for (qint64 f = 0; f < frames; ++f) {
        float sum = 0;
        for (int c = 0; c < in.channels; ++c)
            sum += in.samples[size_t(f) * in.channels + c];
        out.samples[size_t(f)] = sum / in.channels;
    }
    return out;
}

AudioBuffer AudioFile::resample(const AudioBuffer &in, int rate)
{
    AudioBuffer out;
    out.sampleRate = rate;
    out.channels = in.channels;
    if (in.channels <= 0 || in.sampleRate <= 0 || rate <= 0 || in.samples.empty()
        || rate == in.sampleRate) {
        out.samples = in.samples;
        out.sampleRate = rate > 0 ? rate : in.sampleRate;
        return out;
    }
    const double ratio = double(rate) / in.sampleRate;
    const long inFrames = long(in.frames());
    const long capacity = long(std::ceil(inFrames * ratio)) + 256;
    out.samples.resize(size_t(capacity) * in.channels);
    SRC_DATA data {};
    data.data_in = in.samples.data();
    data.input_frames = inFrames;
    data.data_out = out.samples.data();
    data.output_frames = capacity;
    data.src_ratio = ratio;
    data.end_of_input = 1;
    if (src_simple(&data, SRC_SINC_MEDIUM_QUALITY, in.channels) != 0) {
        out.samples.clear();
        return out;
    }
    out.samples.resize(size_t(data.output_frames_gen) * in.channels);
    return out;
}

QByteArray AudioFile::toPcm16(const std::vector<float> &samples)
{
    QByteArray out(qsizetype(samples.size() * 2), Qt::Uninitialized);
    auto *dst = reinterpret_cast<int16_t *>(out.data());
    for (size_t i = 0; i < samples.size(); ++i) {
        const float scaled = std::nearbyint(samples[i] * 32768.0f);
        dst[i] = int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
    }
    return out;
}

std::vector<float> AudioFile::fromPcm16(const QByteArray &pcm16)
{
    std::vector<float> out(size_t(pcm16.size() / 2));
    const auto *src = reinterpret_cast<const int16_t *>(pcm16.constData());
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = src[i] / 32768.0f;
    return out;
}

AudioStatus AudioFile::toLineFormat(const QString &path, QByteArray *pcm16, int maxSeconds)
{
    pcm16->clear();
    AudioStream stream;
    const AudioStatus status = stream.open(path, kLineRate, 1);
    if (!status.ok())
        return status;
    const qint64 limit = qint64(maxSeconds) * kLineRate;
    if (stream.totalFrames() > limit)
        return AudioStatus::failure(AudioStatus::TooLong, "file too long: " + path);
    pcm16->reserve(qsizetype(stream.totalFrames() * 2 + 64));
    int16_t chunk[4096];
    for (;;) {
        const int got = stream.read(chunk, 4096);
        if (got <= 0)
            break;
        pcm16->append(reinterpret_cast<const char *>(chunk), got * 2);
        if (pcm16->size() / 2 > limit) {
            pcm16->clear();
            return AudioStatus::failure(AudioStatus::TooLong, "file too long: " + path);
        }
    }
    return {};
}

QByteArray AudioFile::wavBytes(const QByteArray &pcm16, int sampleRate, int channels)
{
    const quint32 dataSize = quint32(pcm16.size());
    QByteArray out(44, '\0');
    char *h = out.data();
    auto put32 = [&](int at, quint32 v) { qToLittleEndian<quint32>(v, h + at); };
    auto put16 = [&](int at, quint16 v) { qToLittleEndian<quint16>(v, h + at); };
    std::memcpy(h, "RIFF", 4);
    put32(4, 36 + dataSize);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, quint16(channels));
    put32(24, quint32(sampleRate));
    put32(28, quint32(sampleRate * channels * 2));
    put16(32, quint16(channels * 2));
    put16(34, 16);
    std::memcpy(h + 36, "data", 4);
    put32(40, dataSize);
    if constexpr (Q_BYTE_ORDER == Q_LITTLE_ENDIAN) {
        out.append(pcm16);
    } else {
        QByteArray swapped = pcm16;
        auto *s = reinterpret_cast<quint16 *>(swapped.data());
        for (qsizetype i = 0; i < swapped.size() / 2; ++i)
            s[i] = qToLittleEndian(s[i]);
        out.append(swapped);
    }
    return out;
}

AudioStatus AudioFile::writeWav(const QString &path, const QByteArray &pcm16, int sampleRate,
                                int channels)
{
    if (sampleRate <= 0 || channels <= 0 || pcm16.size() % (2 * channels) != 0)
        return AudioStatus::failure(AudioStatus::BadArgument, "bad audio for " + path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return AudioStatus::failure(AudioStatus::CannotWrite, "cannot write file: " + path);
    file.write(wavBytes(pcm16, sampleRate, channels));
    if (!file.commit())
        return AudioStatus::failure(AudioStatus::CannotWrite, "cannot write file: " + path);
    return {};
}

} // namespace quorvel
