#include "SimModem.h"

#include "tests/support/TempHome.h"

#include <QDeadlineTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

namespace quorvel::test {

SimModem::SimModem(QString link, Options options)
    : m_link(std::move(link))
    , m_options(std::move(options))
{
}

SimModem::~SimModem()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.closeWriteChannel();
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool SimModem::start()
{
    QStringList args { "--link",          m_link,          "--profile",
                       m_options.profile, "--ring-period", QString::number(m_options.ringPeriod) };
    if (!m_options.captureDir.isEmpty())
        args << "--capture" << m_options.captureDir;
    if (!m_options.logFile.isEmpty())
        args << "--log" << m_options.logFile;
    if (m_options.fastAudio)
        args << "--fast-audio";
    m_process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    m_process.start(binPath("quorvel-modemsim"), args);
    if (!m_process.waitForStarted(5000))
        return false;
    QDeadlineTimer deadline(10000);
    while (!deadline.hasExpired()) {
        if (QFileInfo::exists(m_link) && QFileInfo(m_link).isSymLink())
            return true;
        if (m_process.state() != QProcess::Running)
            return false;
        QTest::qWait(20);
    }
    return false;
}

void SimModem::command(const QString &line)
{
    m_process.write(line.toUtf8() + '\n');
}

void SimModem::kill()
{
    m_process.kill();
    m_process.waitForFinished(5000);
}

QByteArray SimModem::log() const
{
    return readFile(m_options.logFile);
}

bool SimModem::waitForHostCommand(const QString &prefix, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        for (const QByteArray &line : log().split('\n')) {
            const QJsonObject o = QJsonDocument::fromJson(line).object();
            if (o.value("dir").toString() == "rx"
                && o.value("text").toString().trimmed().startsWith(prefix, Qt::CaseInsensitive))
                return true;
        }
        QTest::qWait(20);
    }
    return false;
}

QString SimModem::errors()
{
    return QString::fromUtf8(m_process.readAllStandardError());
}

} // namespace quorvel::test
