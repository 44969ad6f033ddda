#include "service/host/Waits.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include <chrono>
#include <thread>

namespace quorvel {

void pauseTenths(int tenths)
{
    if (tenths <= 0)
        return;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(100LL * tenths);
    std::this_thread::sleep_until(end);
}

bool waitWithMessages(int timeoutMs, const std::function<bool()> &done)
{
    QDeadlineTimer deadline = timeoutMs < 0 ? QDeadlineTimer(QDeadlineTimer::Forever)
                                            : QDeadlineTimer(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        // Wake at least every 10 ms so a condition changed by a non-event source is seen.
        const qint64 left = deadline.isForever() ? 10 : std::min<qint64>(10, deadline.remainingTime());
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents,
                                        static_cast<int>(std::max<qint64>(left, 1)));
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

} // namespace quorvel
