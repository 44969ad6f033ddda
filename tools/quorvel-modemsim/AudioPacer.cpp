#include "tools/quorvel-modemsim/AudioPacer.h"

#include <algorithm>
#include <cmath>

namespace quorvel::modemsim {

namespace {
// Scheduling jitter of the simulator itself is not the host's fault: gaps shorter than this
// do not count as underruns.
constexpr double kUnderrunTolerance = 0.05;
} // namespace

AudioPacer::AudioPacer(double lead)
    : m_lead(lead)
{
}

void AudioPacer::start(int bytesPerSecond, double now)
{
    m_rate = std::max(1, bytesPerSecond);
    m_playEnd = now;
    m_started = false;
    m_underruns = 0;
    m_underrunSeconds = 0;
}

qint64 AudioPacer::budget(double now) const
{
    const double queued = std::max(0.0, m_playEnd - now);
    const double room = m_lead - queued;
    if (room <= 0)
        return 0;
    // The epsilon keeps a whole byte from being lost to rounding.
    return qint64(std::floor(room * m_rate + 1e-6));
}

double AudioPacer::nextRoom(double now) const
{
    // Room for about a hundredth of a second of audio.
    return std::max(now, m_playEnd - m_lead + 0.01);
}

void AudioPacer::consumed(qint64 bytes, double now)
{
    if (bytes <= 0)
        return;
    if (!m_started) {
        m_started = true;
        m_playEnd = std::max(m_playEnd, now);
    } else if (now > m_playEnd + kUnderrunTolerance) {
        ++m_underruns;
        m_underrunSeconds += now - m_playEnd;
    }
    m_playEnd = std::max(m_playEnd, now) + double(bytes) / m_rate;
}

void AudioPacer::clear(double now)
{
    m_playEnd = std::min(m_playEnd, now);
}

double AudioPacer::drainTime(double now) const
{
    return std::max(now, m_playEnd);
}

} // namespace quorvel::modemsim
