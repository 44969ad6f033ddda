#pragma once

#include "shared/common/LocaleText.h"

#include <QString>
#include <QTime>

namespace quorvel {

// The daily "on" window of automatic mode. Times come as the user typed them in the settings
// dialog ("txtTimeOn" / "txtTimeOff") or as the desktop sent them with "AUTO".
class AutoSchedule {
public:
    enum class Verdict {
        Inside,
        Outside,
        Invalid, // a time text that is not a time of day: the caller keeps the line as it is
    };

    // Inside means strictly after `timeOn` and strictly before `timeOff`; a window whose end
    // comes before its start runs across midnight; equal times make an empty window. `now` is
    // taken to the whole second, as the stored times have no finer part.
    static Verdict windowTest(const QString &timeOn, const QString &timeOff, const QTime &now,
                              const LocaleText &locale = LocaleText());
};

} // namespace quorvel
