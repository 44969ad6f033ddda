#pragma once

#include <QString>

namespace quorvel {

// Who called and when; reset at the start of every call. Also the input of the template
// expander, in this field order.
struct CallInfo
{
    QString sCallerName = QStringLiteral("UNKNOWN");
    QString sCallerNumber = QStringLiteral("UNKNOWN");
    QString sTime;
    QString sDate;
    QString sSpare1;         // a text no step of the service fills
    QString sMessageFile;    // stays empty: no voice messages are recorded
    QString sDuration = QStringLiteral("0:00:00");
    QString sContactName;
    int nRead = 0;
    QString sCallKind = QStringLiteral("0"); // "0" incoming, "1" outgoing
    QString sSpare2;
    QString sDisplayName;
    int nContactType = 0;    // the matched contact's emergency mark
};

} // namespace quorvel
