#pragma once

#include "shared/modem/CallerIdLine.h"

#include <QString>

namespace quorvel {

// What the caller-ID lines of one call said, gathered line by line.
class CallerIdRecord {
public:
    // Why a number or name is missing, as the exchange reports it.
    enum class Absence {
        None, // not reported (yet)
        Withheld, // "P": the caller blocked it
        OutOfArea, // "O": the exchange could not deliver it
    };

    // Text given for a caller without a name or number (the call records use it too).
    static QString unknownText() { return QStringLiteral("UNKNOWN"); }
    static QString withheldText() { return QStringLiteral("PRIVATE"); }
    static QString outOfAreaText() { return QStringLiteral("OUT OF AREA"); }

    void apply(const CallerIdLine &line);
    void clear() { *this = CallerIdRecord(); }

    // True once any caller-ID line was applied.
    bool isEmpty() const { return !m_any; }
    // True when both the number and the name are known or known to be absent, so nothing more
    // that matters is expected.
    bool isComplete() const;

    QString number() const { return m_number; }
    QString ddnNumber() const { return m_ddnNumber; }
    QString name() const { return m_name; }
    Absence numberAbsence() const { return m_numberAbsence; }
    Absence nameAbsence() const { return m_nameAbsence; }
    QString date() const { return m_date; }
    QString time() const { return m_time; }
    // "MMDD" with a real month and day; "HHMM" with a real hour and minute.
    bool dateValid() const;
    bool timeValid() const;
    QByteArray message() const { return m_message; }

    // The pair the telephony layer reports. The number: NMBR, else DDN_NMBR, else "UNKNOWN".
    // The name: NAME, else "PRIVATE" / "OUT OF AREA" when the name or (lacking a name reason)
    // the number was reported absent, else "UNKNOWN".
    QString callerNumber() const;
    QString callerName() const;

    // The number with the separators some exchanges print ("555-1234", "(555) 123 4567")
    // removed, so it compares with stored numbers; text that is no phone number stays as it is.
    static QString normaliseNumber(const QString &value);

private:
    static Absence absenceOf(const QByteArray &value);
    void applyMessage(const QByteArray &hex);

    QString m_number;
    QString m_ddnNumber;
    QString m_name;
    QString m_date;
    QString m_time;
    QByteArray m_message;
    Absence m_numberAbsence = Absence::None;
    Absence m_nameAbsence = Absence::None;
    bool m_any = false;
};

} // namespace quorvel
