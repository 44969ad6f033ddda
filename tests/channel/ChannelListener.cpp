#include "tests/channel/ChannelListener.h"

#include "tests/support/TempHome.h"

#include <QJsonDocument>
#include <QTest>

#include <csignal>

namespace quorvel::test {

ChannelListener::ChannelListener(const QStringList &arguments,
                                 const QProcessEnvironment &environment)
{
    m_process.setProgram(binPath("quorvel-chan"));
    m_process.setArguments(QStringList { "listen" } + arguments);
    m_process.setProcessEnvironment(environment);
}

ChannelListener::~ChannelListener()
{
    if (m_process.state() != QProcess::NotRunning) {
        ::kill(pid_t(m_process.processId()), SIGCONT);
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool ChannelListener::start()
{
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    return QTest::qWaitFor(
               [this] {
                   collect();
                   return m_err.contains("{\"ready\":true}")
                       || m_process.state() == QProcess::NotRunning;
               },
               20000)
        && m_err.contains("{\"ready\":true}");
}

void ChannelListener::signal(int number) const
{
    ::kill(pid_t(m_process.processId()), number);
}

void ChannelListener::collect()
{
    m_out += m_process.readAllStandardOutput();
    m_err += m_process.readAllStandardError();
}

bool ChannelListener::waitForLines(int count, int timeoutMs)
{
    return QTest::qWaitFor(
        [this, count] {
            collect();
            return m_out.count('\n') >= count;
        },
        timeoutMs);
}

bool ChannelListener::waitForExit(int timeoutMs)
{
    const bool done
        = QTest::qWaitFor([this] { return m_process.state() == QProcess::NotRunning; }, timeoutMs);
    collect();
    return done;
}

QList<QByteArray> ChannelListener::lines()
{
    collect();
    QList<QByteArray> result = m_out.split('\n');
    result.removeLast(); // the part after the last line end is not a line yet
    return result;
}

QList<QJsonObject> ChannelListener::messages()
{
    QList<QJsonObject> result;
    for (const QByteArray &line : lines())
        result.append(QJsonDocument::fromJson(line).object());
    return result;
}

QByteArray ChannelListener::errorOutput()
{
    collect();
    return m_err;
}

} // namespace quorvel::test
