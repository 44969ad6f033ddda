#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>

namespace quorvel::test {

// A `quorvel-chan listen` process: the other program, as far as a channel endpoint can tell.
class ChannelListener
{
public:
    explicit ChannelListener(const QStringList &arguments,
                             const QProcessEnvironment &environment
                             = QProcessEnvironment::systemEnvironment());
    ~ChannelListener();

    // Starts it and waits until its channels are open.
    bool start();
    qint64 pid() const { return m_process.processId(); }
    void signal(int number) const;
    bool waitForLines(int count, int timeoutMs = 30000);
    bool waitForExit(int timeoutMs = 30000);
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }

    // Complete stdout lines so far.
    QList<QByteArray> lines();
    QList<QJsonObject> messages();
    QByteArray errorOutput();

private:
    void collect();

    QProcess m_process;
    QByteArray m_out;
    QByteArray m_err;
    bool m_ready = false;
};

} // namespace quorvel::test
