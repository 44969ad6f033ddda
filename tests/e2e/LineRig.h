#pragma once

#include "shared/common/DataHome.h"
#include "shared/contacts/ContactRecord.h"
#include "shared/records/CallRecord.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempHome.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <memory>
#include <ostream>

namespace quorvel::test {

// One message a channel carried, as quorvel-chan printed it.
struct ChanMessage {
    int channel = 0;
    QStringList fields;
    double t = 0; // CLOCK_MONOTONIC seconds
};

// One line of the simulator's log.
struct SimEvent {
    double t = 0; // CLOCK_MONOTONIC seconds
    QString dir; // "rx" (from the host), "tx" (to the host), "event"
    QString text;
};

// The real programs wired together on a temporary data home: the simulated modem on a
// pseudo-terminal (driven line by line through its standard input), the line service in
// process mode against it, and quorvel-chan listening on 407, 409 and 410 in the desktop's
// place.
class LineRig {
public:
    LineRig();
    ~LineRig();

    TempHome &temp() { return m_tmp; }
    const DataHome &home() const { return m_home; }
    QString modemLink() const { return m_tmp.runtime() + QStringLiteral("/modem"); }
    QString captureDir() const { return m_tmp.runtime() + QStringLiteral("/capture"); }

    void setting(const QString &section, const QString &name, const QString &value);
    // The answering defaults most scenarios use: machine on after `rings` rings, greeting
    // `greeting` (a name in Greets/).
    void answeringDefaults(int rings, const QString &greeting);
    // A tone of `ms` milliseconds at `hz`, 8 kHz 16-bit mono, as Greets/<name>.wav.
    void writeGreeting(const QString &name, int ms, int hz);
    void addContact(const QString &name, const QString &number, const QString &answerMode,
                    const QList<std::pair<ContactRecord::Field, QString>> &fields = {});

    // Appends many contacts at once (answer mode "1", default events).
    void addManyContacts(const QList<std::pair<QString, QString>> &nameNumber);

    // Starts the simulator (script from stdin), the listener, then the service; true once
    // the service reports the line open.
    bool start(const QString &profile = QStringLiteral("usr"));
    bool startSimulator(const QString &profile = QStringLiteral("usr"));
    bool startService();
    // Feeds script lines to the simulator.
    void script(const QStringList &lines);
    // Kills the simulator as if the modem were pulled out.
    void killSimulator();
    bool waitSimulatorExit(int ms);
    // Sends a command on 408 as the desktop; false when nobody listens.
    bool command(const QStringList &fields);
    void stopService();
    qint64 servicePid() const { return m_service ? m_service->processId() : 0; }

    QList<ChanMessage> messages();
    // Messages of one channel, each as its fields joined with "|".
    QStringList texts(int channel);
    bool waitFor(int channel, const QString &joinedFields, int ms = 15000);
    QList<SimEvent> simLog();
    // Lines the host sent to the modem ("rx"), in order.
    QStringList modemCommands();
    QString journal() const;
    QList<CallRecord> records() const;
    bool waitRecords(int count, int ms = 15000);
    // `count` calls over: their records written and their "Tapi_Idle" seen on 407 and 410.
    bool waitCalls(int count, int ms = 15000);
    // Samples of the call's capture (call-000N.wav), empty while the simulator has not
    // written it.
    QByteArray capture(int call) const;

private:
    void readChan();

    TempHome m_tmp;
    DataHome m_home;
    std::unique_ptr<QProcess> m_sim;
    std::unique_ptr<QProcess> m_chan;
    std::unique_ptr<QProcess> m_service;
    QByteArray m_chanBuffer;
    QList<ChanMessage> m_messages;
};

} // namespace quorvel::test
