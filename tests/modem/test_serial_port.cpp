#include "PtyPair.h"
#include "controls/serial/SerialPort.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <unistd.h>

using namespace quorvel;
using quorvel::test::PtyPair;

namespace {

struct ModemSerialPort : ::testing::Test {
    QTemporaryDir dir;
    QString lockDir;
    SerialPort::Settings settings;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        lockDir = dir.filePath("lock");
        ASSERT_TRUE(QDir().mkpath(lockDir));
        settings.lockDirectory = lockDir;
    }
    QString lockFileFor(const PtyPair &pty) const
    {
        return lockDir + "/LCK.." + QFileInfo(pty.slave()).fileName();
    }
};

// Polls an attempt that has side effects (so it must not be re-run by a QTRY macro).
bool tryUntil(const std::function<bool()> &attempt, int timeoutMs = 5000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (attempt())
            return true;
        QTest::qWait(20);
    }
    return false;
}

} // namespace

TEST_F(ModemSerialPort, SerialPortCarriesBytesBothWays)
{
    PtyPair pty(dir.filePath("modem"));
    ASSERT_TRUE(pty.isOpen());
    SerialPort port;
    ASSERT_TRUE(port.open(pty.link(), settings)) << port.errorString().toStdString();
    EXPECT_EQ(port.device(), pty.slave());
    QSignalSpy ready(&port, &SerialPort::readyRead);

    port.write("AT\r");
    QTRY_COMPARE_WITH_TIMEOUT(pty.received(), QByteArray("AT\r"), 5000);

    // Raw mode: CR, LF, DLE and high bytes arrive as sent.
    const QByteArray bytes("\r\nOK\r\n\x10\x10\xff\x00", 10);
    pty.write(bytes);
    QByteArray got;
    QTRY_VERIFY_WITH_TIMEOUT((got += port.readAll()).size() >= bytes.size(), 5000);
    EXPECT_EQ(got, bytes);
    EXPECT_GE(ready.count(), 1);

    // A write bigger than the tty takes at once is queued and goes out in full.
    QByteArray big(256 * 1024, '\0');
    for (int i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i * 7);
    EXPECT_EQ(port.write(big), big.size());
    EXPECT_GT(port.bytesToWrite(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(pty.received().size() >= 3 + big.size(), 10000);
    EXPECT_EQ(pty.received().mid(3), big);
    EXPECT_EQ(port.bytesToWrite(), 0);
}

TEST_F(ModemSerialPort, SerialPortReportsWhoHoldsThePort)
{
    PtyPair pty(dir.filePath("modem"));
    SerialPort first;
    ASSERT_TRUE(first.open(pty.link(), settings));
    // Our lock file names us while the port is ours.
    EXPECT_EQ(QFile(lockFileFor(pty)).exists(), true);
    EXPECT_EQ(SerialPort::lockOwner(pty.link(), lockDir), ::getpid());

    // This program already has it.
    SerialPort second;
    EXPECT_FALSE(second.open(pty.link(), settings));
    EXPECT_EQ(second.error(), SerialPort::AlreadyOpen);
    EXPECT_EQ(static_cast<int>(SerialPort::AlreadyOpen), 8005);
    EXPECT_TRUE(second.errorString().contains("already open"))
        << second.errorString().toStdString();
    // Also under its real device name, without the symlink.
    EXPECT_FALSE(second.open(pty.slave(), settings));
    EXPECT_EQ(second.error(), SerialPort::AlreadyOpen);

    // Closing releases it at once: lock file gone, the next opener gets it.
    first.close();
    EXPECT_FALSE(QFile(lockFileFor(pty)).exists());
    EXPECT_TRUE(second.open(pty.link(), settings)) << second.errorString().toStdString();
}

TEST_F(ModemSerialPort, SerialPortRefusesAPortAnotherProgramHolds)
{
    PtyPair pty(dir.filePath("modem"));

    // A UUCP lock file naming a live process.
    QProcess holder;
    holder.start("sleep", { "30" });
    ASSERT_TRUE(holder.waitForStarted());
    {
        QFile lock(lockFileFor(pty));
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(holder.processId()).rightJustified(10) + "\n");
    }
    SerialPort port;
    EXPECT_FALSE(port.open(pty.link(), settings));
    EXPECT_EQ(port.error(), SerialPort::Busy);
    EXPECT_EQ(static_cast<int>(SerialPort::Busy), 8012);
    EXPECT_TRUE(port.errorString().contains("in use by another program"));
    EXPECT_TRUE(port.errorString().contains(QString::number(holder.processId())));
    // The lock file of the other program is left alone.
    EXPECT_TRUE(QFile::exists(lockFileFor(pty)));
    holder.kill();
    holder.waitForFinished();

    // The same lock file of a process that is gone is stale: the port opens and the file
    // becomes ours.
    EXPECT_TRUE(port.open(pty.link(), settings)) << port.errorString().toStdString();
    EXPECT_EQ(SerialPort::lockOwner(pty.link(), lockDir), ::getpid());
    port.close();

    // A program holding an flock on the device (and no lock file).
    QProcess flocker;
    flocker.start("flock", { "-o", pty.slave(), "sleep", "30" });
    ASSERT_TRUE(flocker.waitForStarted());
    SerialPort other;
    // Until the child has taken its lock the port may still open; let go and look again.
    ASSERT_TRUE(tryUntil([&] {
        if (!other.open(pty.link(), settings))
            return true;
        other.close();
        return false;
    }));
    EXPECT_EQ(other.error(), SerialPort::Busy);
    flocker.kill();
    flocker.waitForFinished();
    EXPECT_TRUE(tryUntil([&] { return other.open(pty.link(), settings); }));
}

TEST_F(ModemSerialPort, SerialPortNamesOpenFailures)
{
    SerialPort port;
    EXPECT_FALSE(port.open(dir.filePath("nothing-here"), settings));
    EXPECT_EQ(port.error(), SerialPort::NotFound);
    EXPECT_TRUE(port.errorString().contains(dir.filePath("nothing-here")));

    const QString plain = dir.filePath("plain-file");
    QFile f(plain);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    EXPECT_FALSE(port.open(plain, settings));
    EXPECT_EQ(port.error(), SerialPort::ConfigureFailed);
    EXPECT_FALSE(port.isOpen());
    // A failed open leaves no lock file behind.
    EXPECT_TRUE(QDir(lockDir).entryList(QDir::Files).isEmpty());

    EXPECT_EQ(port.write("AT\r"), -1);
    EXPECT_EQ(port.error(), SerialPort::NotOpen);
}

TEST_F(ModemSerialPort, SerialPortNoticesTheDeviceVanishing)
{
    auto pty = std::make_unique<PtyPair>(dir.filePath("modem"));
    SerialPort port;
    ASSERT_TRUE(port.open(pty->link(), settings));
    QSignalSpy lost(&port, &SerialPort::lost);
    pty.reset(); // unplugged
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
    EXPECT_FALSE(port.isOpen());
    EXPECT_EQ(port.error(), SerialPort::DeviceLost);
    EXPECT_TRUE(QDir(lockDir).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(port.write("AT\r"), -1);
}

TEST_F(ModemSerialPort, SerialPortBlockingWaitsAreBounded)
{
    PtyPair pty(dir.filePath("modem"));
    SerialPort port;
    ASSERT_TRUE(port.open(pty.link(), settings));
    QElapsedTimer t;
    t.start();
    EXPECT_FALSE(port.waitForReadyRead(200));
    EXPECT_GE(t.elapsed(), 150);
    EXPECT_LT(t.elapsed(), 3000);
    // Returns as soon as bytes came, also when a readyRead handler took them already.
    QByteArray got;
    QObject::connect(&port, &SerialPort::readyRead, [&] { got += port.readAll(); });
    pty.write("OK\r\n");
    t.restart();
    EXPECT_TRUE(port.waitForReadyRead(5000));
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_EQ(got, "OK\r\n");
    EXPECT_TRUE(port.waitForBytesWritten(1000));
}
