#include "service/line/AutoSchedule.h"

namespace quorvel {

AutoSchedule::Verdict AutoSchedule::windowTest(const QString &timeOn, const QString &timeOff,
                                               const QTime &now, const LocaleText &locale)
{
    const QTime start = locale.parseTime(timeOn);
    const QTime end = locale.parseTime(timeOff);
    if (!start.isValid() || !end.isValid() || !now.isValid())
        return Verdict::Invalid;

    const int s = start.msecsSinceStartOfDay() / 1000;
    const int e = end.msecsSinceStartOfDay() / 1000;
    const int t = now.msecsSinceStartOfDay() / 1000;
    bool inside = false;
    if (e > s)
        inside = t > s && t < e;
    else if (e < s)
        inside = t > s || t < e;
    return inside ? Verdict::Inside : Verdict::Outside;
}

} // namespace quorvel
