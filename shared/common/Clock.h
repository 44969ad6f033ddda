#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <cstdint>

namespace quorvel {

// Wall clock and monotonic clock behind one seam, so schedules, journals and timeouts can be
// driven by a test clock.
class Clock
{
public:
    virtual ~Clock() = default;
    // Local date and time, as the user sees it.
    virtual QDateTime now() const = 0;
    // Monotonic milliseconds; only differences are meaningful.
    virtual qint64 monotonicMs() const = 0;
};

class SystemClock final : public Clock
{
public:
    SystemClock() { m_timer.start(); }
    QDateTime now() const override { return QDateTime::currentDateTime(); }
    qint64 monotonicMs() const override { return m_timer.elapsed(); }

private:
    QElapsedTimer m_timer;
};

// A clock that only moves when told to.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start = QDateTime(QDate(2026, 1, 1), QTime(12, 0)))
        : m_now(std::move(start))
    {
    }
    QDateTime now() const override { return m_now; }
    qint64 monotonicMs() const override { return m_mono; }
    void set(const QDateTime &t) { m_now = t; }
    void advanceMs(qint64 ms)
    {
        m_now = m_now.addMSecs(ms);
        m_mono += ms;
    }

private:
    QDateTime m_now;
    qint64 m_mono = 0;
};

} // namespace quorvel
