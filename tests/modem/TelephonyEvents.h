#pragma once

#include "controls/modem/Telephony.h"

#include <QStringList>

namespace quorvel::test {

// Every event a telephony line raised, in order, as text: "inComeCall", "ring(2)",
// "callerID(JOHN SMITH,5551234)", "digit(5)", "lineError(1003)"...
class TelephonyEvents {
public:
    explicit TelephonyEvents(Telephony *line)
    {
        QObject::connect(line, &Telephony::dialing, [this] { log << "dialing"; });
        QObject::connect(line, &Telephony::inComeCall, [this] { log << "inComeCall"; });
        QObject::connect(line, &Telephony::idle, [this] { log << "idle"; });
        QObject::connect(line, &Telephony::disconnected, [this] { log << "disconnected"; });
        QObject::connect(line, &Telephony::connected, [this] { log << "connected"; });
        QObject::connect(line, &Telephony::ring,
                         [this](int n) { log << QStringLiteral("ring(%1)").arg(n); });
        QObject::connect(line, &Telephony::callerID,
                         [this](const QString &name, const QString &nr) {
                             log << QStringLiteral("callerID(%1,%2)").arg(name, nr);
                         });
        QObject::connect(line, &Telephony::digitReceived,
                         [this](QChar d) { log << QStringLiteral("digit(%1)").arg(d); });
        QObject::connect(line, &Telephony::deviceLost, [this] { log << "deviceLost"; });
        QObject::connect(line, &Telephony::deviceReturned, [this] { log << "deviceReturned"; });
        QObject::connect(line, &Telephony::lineError,
                         [this](int code) { log << QStringLiteral("lineError(%1)").arg(code); });
    }
    int count(const QString &event) const { return log.count(event); }
    bool has(const QString &event) const { return log.contains(event); }
    QStringList only(const QStringList &kinds) const
    {
        QStringList out;
        for (const QString &e : log)
            for (const QString &k : kinds)
                if (e == k || e.startsWith(k + '('))
                    out << e;
        return out;
    }
    QString text() const { return log.join(QStringLiteral(", ")); }

    QStringList log;
};

} // namespace quorvel::test
