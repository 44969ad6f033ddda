#pragma once

#include <QtGlobal>

namespace quorvel::modemsim {

// The voice line's clock while the host plays audio. The modem takes samples only as fast as
// the line plays them (8000 a second) plus a small buffer; the host's writes back up in the
// port and it is throttled as by a real line. Counts underruns: moments the buffer ran dry
// while the host was still sending. Pure: times are passed in (seconds, any monotonic origin).
class AudioPacer {
public:
    // `lead`: seconds of audio the modem buffers ahead of what the line plays.
    explicit AudioPacer(double lead = 0.25);

    void start(int bytesPerSecond, double now);
    // Sample bytes the modem may take now.
    qint64 budget(double now) const;
    // When to look again once the budget is used up.
    double nextRoom(double now) const;
    void consumed(qint64 bytes, double now);
    // DLE CAN: what is queued is dropped; the line is silent from now.
    void clear(double now);
    // When the line has played everything taken so far.
    double drainTime(double now) const;

    int underruns() const { return m_underruns; }
    double underrunSeconds() const { return m_underrunSeconds; }

private:
    double m_lead;
    double m_rate = 16000;
    double m_playEnd = 0;
    bool m_started = false;
    int m_underruns = 0;
    double m_underrunSeconds = 0;
};

} // namespace quorvel::modemsim
