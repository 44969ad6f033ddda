#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace quorvel::test {

// build/bin/quorvel-modemsim on a pty published at `link`, driven through its stdin.
class SimModem {
public:
    struct Options {
        QString profile = QStringLiteral("usr");
        double ringPeriod = 0.4;
        QString captureDir; // empty: no capture
        QString logFile; // empty: no log
        bool fastAudio = false;
    };

    SimModem(QString link, Options options);
    ~SimModem();

    // Starts the simulator and waits until its link is there.
    bool start();
    // One script command ("ring", "cid 5551234 JOHN SMITH", "hangup"...).
    void command(const QString &line);
    // The modem is unplugged: the process dies without a word.
    void kill();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    // The JSON-lines log so far.
    QByteArray log() const;
    // Waits until the log shows the host sent a command starting with `prefix`.
    bool waitForHostCommand(const QString &prefix, int timeoutMs = 5000) const;
    QString errors();

private:
    QString m_link;
    Options m_options;
    QProcess m_process;
    QByteArray m_stderr;
};

} // namespace quorvel::test
