#include "controls/audio/AudioStream.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <samplerate.h>
#include <sndfile.h>

namespace quorvel {

namespace {

constexpr int kReadFrames = 2048;

int16_t toSample(float v)
{
    const float scaled = std::nearbyint(v * 32768.0f);
    return int16_t(std::clamp(scaled, -32768.0f, 32767.0f));
}

} // namespace

AudioStream::~AudioStream()
{
    close();
}

void AudioStream::close()
{
    if (m_src)
        src_delete(m_src);
    if (m_file)
        sf_close(m_file);
    m_src = nullptr;
    m_file = nullptr;
    m_fileDone = m_finished = false;
    m_raw.clear();
    m_in.clear();
    m_pending.clear();
    m_pendingPos = 0;
}

AudioStatus AudioStream::open(const QString &path, int rate, int channels)
{
    close();
    const QFileInfo info(path);
    if (!info.exists())
        return AudioStatus::failure(AudioStatus::NotFound, "file not found: " + path);
    if (!info.isFile())
        return AudioStatus::failure(AudioStatus::NotSound, "not a sound file: " + path);
    if (rate < 0 || channels < 0 || channels > 2)
        return AudioStatus::failure(AudioStatus::BadArgument, "unsupported output format");

    SF_INFO sf {};
    m_file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &sf);
    if (!m_file || sf.channels <= 0 || sf.samplerate <= 0) {
        close();
        return AudioStatus::failure(AudioStatus::NotSound, "not a sound file: " + path);
    }
    // Integer files decoded to float must land in -1..1 whatever their width.
    sf_command(m_file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    m_inRate = sf.samplerate;
    m_inChannels = sf.channels;
    m_inFrames = sf.frames;
    m_outRate = rate > 0 ? rate : m_inRate;
    m_outChannels = channels > 0 ? channels : std::min(m_inChannels, 2);

    if (m_outRate != m_inRate) {
        int error = 0;
        m_src = src_new(SRC_SINC_MEDIUM_QUALITY, m_outChannels, &error);
        if (!m_src) {
            close();
            return AudioStatus::failure(AudioStatus::BadArgument,
                                        QString("resampler: ") + src_strerror(error));
        }
    }
    return {};
}

qint64 AudioStream::totalFrames() const
{
    if (m_inRate <= 0)
        return 0;
    return qint64(std::llround(double(m_inFrames) * m_outRate / m_inRate));
}

bool AudioStream::refill()
{
    // Returns true when new output samples were made or input is still to come.
    if (!m_fileDone) {
        m_raw.resize(size_t(kReadFrames) * m_inChannels);
        const sf_count_t got = sf_readf_float(m_file, m_raw.data(), kReadFrames);
        if (got <= 0) {
            // A truncated or damaged file ends where the readable audio ends.
            m_fileDone = true;
        } else {
            const size_t base = m_in.size();
            m_in.resize(base + size_t(got) * m_outChannels);
            for (sf_count_t f = 0; f < got; ++f) {
                const float *src = &m_raw[size_t(f) * m_inChannels];
                float *dst = &m_in[base + size_t(f) * m_outChannels];
                if (m_outChannels == 1) {
                    float sum = 0;
                    for (int c = 0; c < m_inChannels; ++c)
                        sum += src[c];
                    dst[0] = sum / m_inChannels;
                } else if (m_inChannels == 1) {
                    dst[0] = dst[1] = src[0];
                } else {
                    // More than two channels: even ones to the left, odd ones to the right.
                    float l = 0, r = 0;
                    int nl = 0, nr = 0;
                    for (int c = 0; c < m_inChannels; ++c) {
                        if (c % 2 == 0) {
                            l += src[c];
                            ++nl;
                        } else {
                            r += src[c];
                            ++nr;
                        }
                    }
                    dst[0] = l / nl;
                    dst[1] = r / nr;
                }
            }
        }
    }

    // Output already handed out is dropped before more is appended.
    m_pending.erase(m_pending.begin(), m_pending.begin() + long(m_pendingPos));
    m_pendingPos = 0;

    if (!m_src) {
        m_pending.insert(m_pending.end(), m_in.begin(), m_in.end());
        m_in.clear();
        if (m_fileDone)
            m_finished = true;
        return true;
    }

    const long inFrames = long(m_in.size() / m_outChannels);
    const double ratio = double(m_outRate) / m_inRate;
    const long outCapacity = long(std::ceil(inFrames * ratio)) + 256;
    const size_t base = m_pending.size();
    m_pending.resize(base + size_t(outCapacity) * m_outChannels);

    SRC_DATA data {};
    data.data_in = m_in.data();
    data.input_frames = inFrames;
    data.data_out = m_pending.data() + base;
    data.output_frames = outCapacity;
    data.end_of_input = m_fileDone ? 1 : 0;
    data.src_ratio = ratio;
    if (src_process(m_src, &data) != 0) {
        m_pending.resize(base);
        m_finished = true;
        return false;
    }
    m_pending.resize(base + size_t(data.output_frames_gen) * m_outChannels);
    m_in.erase(m_in.begin(), m_in.begin() + data.input_frames_used * m_outChannels);
    if (m_fileDone && data.output_frames_gen == 0 && data.input_frames_used >= inFrames)
        m_finished = true;
    return true;
}

int AudioStream::read(int16_t *out, int maxFrames)
{
    if (!m_file)
        return 0;
    int produced = 0;
    while (produced < maxFrames) {
        const size_t available = (m_pending.size() - m_pendingPos) / m_outChannels;
        if (available > 0) {
            const size_t take = std::min<size_t>(available, size_t(maxFrames - produced));
            const float *src = m_pending.data() + m_pendingPos;
            int16_t *dst = out + size_t(produced) * m_outChannels;
            for (size_t i = 0; i < take * m_outChannels; ++i)
                dst[i] = toSample(src[i]);
            m_pendingPos += take * m_outChannels;
            produced += int(take);
            continue;
        }
        if (m_finished || !refill())
            break;
    }
    return produced;
}

} // namespace quorvel
