#include "shared/settings/RegistryRoutines.h"
#include "shared/common/DataHome.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSocketNotifier>
#include <QTest>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::binPath;
using quorvel::test::TempHome;

namespace {

class ServiceHostTest : public ::testing::Test
{
protected:
    ServiceHostTest()
        : home(tmp.home())
    {
        setting("Properties\\TabLog", "chkLogSys", "1");
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("INVOCATION_ID");
    }

    void setting(const QString &section, const QString &name, const QString &value)
    {
        RegistryRoutines reg(home.settingsFile());
        reg.setSubkey(section);
        reg.setRegistryValue(name, value);
    }

    QString journalText() const
    {
        QString all;
        for (const QString &f : QDir(home.journalDir()).entryList({"*_Sys.txt"}, QDir::Files))
            all += QString::fromUtf8(quorvel::test::readFile(home.journalDir() + '/' + f));
        return all;
    }

    void start(QProcess &p, const QStringList &args)
    {
        p.setProgram(binPath("quorline"));
        p.setArguments(args);
        p.start();
        ASSERT_TRUE(p.waitForStarted());
    }

    bool sendUnload()
    {
        return QProcess::execute(binPath("quorvel-chan"), {"send", "405", "UNLOAD"}) == 0;
    }

    TempHome tmp;
    DataHome home;
};

TEST_F(ServiceHostTest, EndsSilentlyWhenTheDesktopDidNotStartIt)
{
    setting("Properties\\TabGeneral", "ChkRunAsProc", "0");
    for (const QStringList &args : {QStringList{}, QStringList{"-gc "}}) {
        QProcess p;
        start(p, args);
        ASSERT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0);
        EXPECT_TRUE(p.readAllStandardError().isEmpty());
    }
    EXPECT_FALSE(journalText().contains("Opening"));
}

TEST_F(ServiceHostTest, ProcessModeLoadsAndEndsOnUnload)
{
    setting("Properties\\TabGeneral", "ChkRunAsProc", "0");
    QProcess p;
    start(p, {"-gc"});
    QTRY_VERIFY_WITH_TIMEOUT(journalText().contains(" : ->Opening Quorvel 1.1 Process(0)\r\n"), 10000);

    // A second copy ends at once and silently while the first runs.
    QProcess second;
    start(second, {"-gc"});
    ASSERT_TRUE(second.waitForFinished(10000));
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(journalText().count("Opening"), 1);

    ASSERT_TRUE(QTest::qWaitFor([&] { return sendUnload(); }, 10000));
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(ServiceHostTest, AbsentModeRunsAsAProcessAndStopsOnSigterm)
{
    QProcess p;
    start(p, {});
    QTRY_VERIFY_WITH_TIMEOUT(journalText().contains("Opening Quorvel 1.1 Process"), 10000);
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(ServiceHostTest, DamagedSettingsFileIsJournalledAndTheServiceRunsOn)
{
    QByteArray bytes = quorvel::test::readFile(home.settingsFile());
    bytes.prepend(QByteArray("\x01\x02garbage\xff\xfe\r\n[Properties\\Tab", 24) + "\r\n");
    bytes.append("truncated line without an end");
    quorvel::test::writeFile(home.settingsFile(), bytes);
    QProcess p;
    start(p, {"-gc"});
    QTRY_VERIFY_WITH_TIMEOUT(journalText().contains("Opening Quorvel 1.1 Process"), 10000);
    EXPECT_TRUE(journalText().contains(" : ErrSettings->")) << journalText().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sendUnload(); }, 10000));
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
}

TEST_F(ServiceHostTest, ServiceModeWithoutSystemdRefusesToRun)
{
    setting("Properties\\TabGeneral", "ChkRunAsProc", "1");
    QProcess p;
    start(p, {"-gc"});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(p.readAllStandardError(), "This program must be started as a service.\n");
}

// Stands in for systemd's notification socket.
class NotifySocket
{
public:
    explicit NotifySocket(const QString &path)
        : m_path(path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un addr = {};
        addr.sun_family = AF_UNIX;
        const QByteArray p = QFile::encodeName(path);
        std::memcpy(addr.sun_path, p.constData(), std::min<size_t>(p.size(), sizeof addr.sun_path - 1));
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    }
    ~NotifySocket() { ::close(m_fd); }

    QString received()
    {
        char buf[512];
        ssize_t n;
        while ((n = ::recv(m_fd, buf, sizeof buf, 0)) > 0)
            m_text += QString::fromUtf8(buf, static_cast<int>(n)) + '\n';
        return m_text;
    }

private:
    QString m_path;
    int m_fd = -1;
    QString m_text;
};

TEST_F(ServiceHostTest, ServiceModeNotifiesSystemdAndOutlivesUnloadUntilSigterm)
{
    setting("Properties\\TabGeneral", "ChkRunAsProc", "1");
    NotifySocket notify(tmp.runtime() + "/notify");
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("NOTIFY_SOCKET", tmp.runtime() + "/notify");
    p.setProcessEnvironment(env);
    start(p, {});
    QTRY_VERIFY_WITH_TIMEOUT(notify.received().contains("READY=1"), 10000);
    EXPECT_TRUE(journalText().contains("Opening Quorvel 1.1 Process"));

    // "UNLOAD" unloads the forms; a service keeps running until systemd stops it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return sendUnload(); }, 10000));
    // Channel 405 closed with the forms: nobody takes the next control message.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return QProcess::execute(binPath("quorvel-chan"), {"send", "405", "GETSOUNDINDEX"}) == 1; },
        10000));
    EXPECT_EQ(p.state(), QProcess::Running);

    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(notify.received().contains("STOPPING=1"));
}

TEST_F(ServiceHostTest, ShippedUnitPassesSystemdVerification)
{
    const QString analyze = QStringLiteral("/usr/bin/systemd-analyze");
    if (!QFile::exists(analyze))
        GTEST_SKIP() << "systemd-analyze not installed";
    QByteArray unit = quorvel::test::readFile(QStringLiteral(QUORVEL_TEST_SOURCE_DIR "/../packaging/quorline.service"));
    ASSERT_FALSE(unit.isEmpty());
    // Verify against the binary of this build: the unit names the installed path.
    unit.replace("/usr/bin/quorline", binPath("quorline").toUtf8());
    const QString copy = tmp.runtime() + "/quorline.service";
    quorvel::test::writeFile(copy, unit);
    QProcess verify;
    verify.setProcessChannelMode(QProcess::MergedChannels);
    verify.start(analyze, {"verify", copy});
    ASSERT_TRUE(verify.waitForFinished(30000));
    EXPECT_EQ(verify.exitCode(), 0) << verify.readAll().constData();
    EXPECT_TRUE(verify.readAll().trimmed().isEmpty());
}

} // namespace
