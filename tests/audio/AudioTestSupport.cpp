#include "tests/audio/AudioTestSupport.h"

#include <QDir>
#include <QFile>
#include <cmath>
#include <sndfile.h>

namespace quorvel::test {

bool writeTone(const QString &path, int format, int rate, int channels, double frequency,
               double seconds, double amplitude, int rightPhase)
{
    SF_INFO info {};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | format;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    // Float data past full scale must reach the file as it is, not clipped by libsndfile.
    sf_command(file, SFC_SET_CLIPPING, nullptr, SF_FALSE);
    const qint64 frames = qint64(std::llround(seconds * rate));
    std::vector<float> data(size_t(frames) * channels);
    for (qint64 f = 0; f < frames; ++f) {
        const float v = float(amplitude * std::sin(2 * M_PI * frequency * f / rate));
        for (int c = 0; c < channels; ++c)
            data[size_t(f) * channels + c] = c == 1 ? v * rightPhase : v;
    }
    const bool ok = sf_writef_float(file, data.data(), frames) == frames;
    sf_close(file);
    return ok;
}

double strongestFrequency(const std::vector<float> &mono, int rate)
{
    double best = 0, bestPower = -1;
    for (double f = 50; f < rate / 2.0; f += 50) {
        const double coeff = 2 * std::cos(2 * M_PI * f / rate);
        double s1 = 0, s2 = 0;
        for (float x : mono) {
            const double s0 = x + coeff * s1 - s2;
            s2 = s1;
            s1 = s0;
        }
        const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

double rms(const std::vector<float> &samples)
{
    if (samples.empty())
        return 0;
    double sum = 0;
    for (float x : samples)
        sum += double(x) * x;
    return std::sqrt(sum / samples.size());
}

SoundFileInfo soundFileInfo(const QString &path)
{
    SoundFileInfo out;
    SF_INFO info {};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return out;
    out.ok = true;
    out.format = info.format;
    out.rate = info.samplerate;
    out.channels = info.channels;
    out.frames = info.frames;
    sf_close(file);
    return out;
}

VirtualSoundFolder::VirtualSoundFolder()
    : m_old(qgetenv("QUORVEL_AUDIO_DIR"))
    , m_had(qEnvironmentVariableIsSet("QUORVEL_AUDIO_DIR"))
{
    qputenv("QUORVEL_AUDIO_DIR", QFile::encodeName(m_dir.path()));
}

VirtualSoundFolder::~VirtualSoundFolder()
{
    if (m_had)
        qputenv("QUORVEL_AUDIO_DIR", m_old);
    else
        qunsetenv("QUORVEL_AUDIO_DIR");
}

QStringList VirtualSoundFolder::files() const
{
    QStringList list
        = QDir(m_dir.path()).entryList({ QStringLiteral("*.wav") }, QDir::Files, QDir::Name);
    for (QString &name : list)
        name = m_dir.path() + '/' + name;
    return list;
}

QByteArray RecordingLineSink::audio() const
{
    QByteArray all;
    for (const QByteArray &chunk : chunks)
        all += chunk;
    return all;
}

bool RecordingLineSink::lineStartPlayback()
{
    if (!acceptStart)
        return false;
    ++starts;
    return true;
}

bool RecordingLineSink::lineWriteSamples(const QByteArray &pcm16)
{
    if (refuseAfterChunks >= 0 && chunks.size() >= refuseAfterChunks)
        return false;
    chunks << pcm16;
    return true;
}

void RecordingLineSink::lineEndPlayback()
{
    ++ends;
    if (finishOnEnd)
        emit playbackFinished();
}

void RecordingLineSink::lineStopPlayback()
{
    ++stops;
}

} // namespace quorvel::test
