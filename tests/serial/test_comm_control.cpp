#include "controls/modem/RecordingTelephony.h"
#include "service/host/FrmMain.h"
#include "service/serial/FrmCommControl.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <thread>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::TempHome;

namespace {

// The modem's end of a pseudo-terminal: the form opens the slave as it would a USB modem.
class PtyModem {
public:
    PtyModem()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0)
            m_slave = QString::fromLocal8Bit(::ptsname(m_master));
    }
    ~PtyModem() { hangUp(); }
    PtyModem(const PtyModem &) = delete;
    PtyModem &operator=(const PtyModem &) = delete;

    bool ok() const { return m_master >= 0 && !m_slave.isEmpty(); }
    QString slavePath() const { return m_slave; }

    void send(const QByteArray &bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
            if (n > 0)
                done += n;
            else if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
        }
    }
    // Everything the host wrote so far.
    QByteArray received()
    {
        char buffer[512];
        for (;;) {
            const ssize_t n = ::read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            m_received.append(buffer, n);
        }
        return m_received;
    }
    void clearReceived()
    {
        received();
        m_received.clear();
    }
    // The modem goes away (USB unplug): the host's reads fail.
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slave;
    QByteArray m_received;
};

// The line form as the serial form sees it: records each call; a test may make a call do what
// the real line form does at that point (take the port, give up, reopen).
class RecordingLine final : public SerialCallSink {
public:
    QStringList calls;
    std::function<void()> onCallerId;
    std::function<void()> onTakeover;

    void comm_InComeCall() override { calls << QStringLiteral("incoming"); }
    void comm_CallerID(const QString &name, const QString &number) override
    {
        calls << QStringLiteral("cid(%1|%2)").arg(name, number);
        if (onCallerId)
            onCallerId();
    }
    void getTapiFromComm() override
    {
        calls << QStringLiteral("takeover");
        if (onTakeover)
            onTakeover();
    }
    void comm_Idle() override { calls << QStringLiteral("idle"); }
};

constexpr int kPort = 1; // the first device's port
const QString kCommand = QStringLiteral("AT#CID=1");

class CommControlTest : public ::testing::Test {
protected:
    CommControlTest()
        : home(tmp.home())
    {
        QDir().mkpath(home.journalDir());
        lockDir = tmp.runtime() + QStringLiteral("/lock");
        QDir().mkpath(lockDir);
        main = std::make_unique<FrmMain>(ServiceControls { .home = home,
                                                           .clock = &clock,
                                                           .telephony = &tapi,
                                                           .makeLineForm = {},
                                                           .makeSpeechForm = {},
                                                           .makeCommControl = {} });
        main->journal().setSystemSwitch(true);
        tapi.devices = { { .caps = {}, .portPath = modem.slavePath(), .waveOutId = -1 } };
        options.port.lockDirectory = lockDir;
        options.idleTickMs = 30;
        options.busyRetryPauseMs = 20;
        options.lineCloseWaitMs = 300;
        options.settleMs = 10;
        options.reopenMs = 50;
    }

    FrmCommControl &makeForm()
    {
        form = std::make_unique<FrmCommControl>(*main, line, options);
        return *form;
    }

    // Connects and waits until the modem has the caller-ID command.
    void connectAndListen()
    {
        ASSERT_TRUE(modem.ok());
        makeForm().commConnect(kPort, kCommand);
        ASSERT_TRUE(form->isPortOpen());
        ASSERT_TRUE(QTest::qWaitFor([&] { return modem.received() == "AT#CID=1\r"; }, 5000))
            << modem.received().constData();
        modem.clearReceived();
    }

    QStringList journalLines() const
    {
        QString all;
        for (const QString &f : QDir(home.journalDir()).entryList({ "*_Sys.txt" }, QDir::Files))
            all += QString::fromUtf8(quorvel::test::readFile(home.journalDir() + '/' + f));
        QStringList lines;
        for (const QString &line : all.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts))
            lines << line.section(QStringLiteral(" : "), 1); // without the time
        return lines;
    }

    void writeLockFile(qint64 pid) const
    {
        quorvel::test::writeFile(lockDir + QStringLiteral("/LCK..")
                                     + QFileInfo(modem.slavePath()).fileName(),
                                 QByteArray::number(pid).rightJustified(10) + '\n');
    }

    TempHome tmp;
    DataHome home;
    QString lockDir;
    SystemClock clock;
    RecordingTelephony tapi;
    PtyModem modem;
    RecordingLine line;
    FrmCommControl::Options options;
    std::unique_ptr<FrmMain> main;
    std::unique_ptr<FrmCommControl> form;
};

const QByteArray kRing = "\r\nRING\r\n";

struct Spelling {
    const char *id;
    QByteArray callerId;
};

class FullCall : public CommControlTest, public ::testing::WithParamInterface<Spelling> { };

// Both modem families: the number reaches the line form without "= ", the telephony line takes
// the call at the second ring, and afterwards the port listens for the next call.
TEST_P(FullCall, CallerIdAtSecondRingThenPortBackAfterTheCall)
{
    connectAndListen();
    EXPECT_TRUE(main->isFormLoaded(QStringLiteral("frmCommControl")));
    EXPECT_TRUE(journalLines().contains("CommConnect->Success open comm port1(0)"))
        << journalLines().join('\n').toStdString();

    // What the line form does at caller ID: the telephony line takes the port.
    line.onCallerId = [&] {
        form->commDisconnect();
        tapi.lineOpen(4, 8);
    };
    modem.send(kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 1; }, 5000));
    EXPECT_TRUE(form->idleWatchRunning());
    modem.send(GetParam().callerId + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() >= 2; }, 5000));
    EXPECT_EQ(line.calls, QStringList({ "incoming", "cid(JOHN SMITH|5551234)" }));
    EXPECT_FALSE(form->isPortOpen());

    // The telephony line reports the call: the idle watch stops. The call ends on the
    // telephony side, which hands the port back.
    form->stopIdleWatch();
    form->commCloseTapi();
    EXPECT_EQ(tapi.operations, QStringList({ "lineOpen(4,8)", "lineClose", "lineShutdown" }));
    EXPECT_TRUE(form->isPortOpen());
    EXPECT_TRUE(QTest::qWaitFor([&] { return modem.received() == "AT#CID=1\r"; }, 5000));
    EXPECT_EQ(form->reader().ringCount(), 0);

    // The next call is a call of its own.
    line.onCallerId = nullptr;
    modem.send(kRing + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 4; }, 5000));
    EXPECT_EQ(line.calls.mid(2), QStringList({ "incoming", "cid(UNKNOWN|UNKNOWN)" }));
}

INSTANTIATE_TEST_SUITE_P(
    Spellings, FullCall,
    ::testing::Values(
        Spelling { "BlankEqualsBlank",
                   "\r\nDATE = 1211\r\nTIME = 0930\r\nNMBR = 5551234\r\nNAME = JOHN SMITH\r\n" },
        Spelling { "Tight", "\r\nDATE=1211\r\nTIME=0930\r\nNMBR=5551234\r\nNAME=JOHN SMITH\r\n" }),
    [](const ::testing::TestParamInfo<Spelling> &info) { return std::string(info.param.id); });

TEST_F(CommControlTest, NoCallerIdBeforeSecondRingIsUnknown)
{
    connectAndListen();
    modem.send(kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 1; }, 5000));
    modem.send("\r\nOK\r\n" + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 2; }, 5000));
    EXPECT_EQ(line.calls, QStringList({ "incoming", "cid(UNKNOWN|UNKNOWN)" }));
}

// A caller who gives up after one ring: the modem says nothing more, the idle watch ends the
// call, and the next ring is a new call.
TEST_F(CommControlTest, CallerGivesUpAfterOneRing)
{
    connectAndListen();
    modem.send(kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.contains("idle"); }, 5000));
    EXPECT_EQ(line.calls, QStringList({ "incoming", "idle" }));
    EXPECT_FALSE(form->idleWatchRunning());
    EXPECT_EQ(form->reader().ringCount(), 0);
    EXPECT_TRUE(form->isPortOpen());

    modem.send(kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 3; }, 5000));
    EXPECT_EQ(line.calls.last(), "incoming");
}

// While the phone keeps ringing the call is not over, however long it rings: the idle watch
// counts from the last ring. From the fourth ring on, each ring asks for the takeover.
TEST_F(CommControlTest, IdleWatchCountsFromTheLastRing)
{
    connectAndListen();
    const int idleMs = options.idleTickMs * options.idleTicks;
    for (int ring = 0; ring < 6; ++ring) {
        modem.send(kRing);
        QTest::qWait(idleMs / 4);
    }
    EXPECT_EQ(
        line.calls,
        QStringList({ "incoming", "cid(UNKNOWN|UNKNOWN)", "takeover", "takeover", "takeover" }));
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.contains("idle"); }, 5000));
    EXPECT_EQ(line.calls.count("idle"), 1);
}

// After the line form gave up taking the call over it reopens the port: the call keeps its
// ring count and caller ID, later rings ask for the takeover again, and a caller who then
// gives up ends that same call once.
TEST_F(CommControlTest, PortReopenedAfterFailedTakeoverKeepsTheCall)
{
    connectAndListen();
    line.onCallerId = [&] {
        form->commDisconnect(); // the takeover takes the port ...
        form->commConnect(kPort, kCommand); // ... fails and hands it back
    };
    modem.send(kRing + "\r\nNMBR=5551234\r\n" + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 2; }, 5000));
    EXPECT_TRUE(form->isPortOpen());
    EXPECT_TRUE(form->idleWatchRunning());
    modem.send(kRing + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.contains("idle"); }, 5000));
    EXPECT_EQ(line.calls, QStringList({ "incoming", "cid(UNKNOWN|5551234)", "takeover", "idle" }));
}

// Caller-ID text with no ring after it (an exchange that sends it before the first ring, for
// a caller who hung up at once) is forgotten: it never names the next caller.
TEST_F(CommControlTest, CallerIdWithoutRingDoesNotNameTheNextCaller)
{
    connectAndListen();
    modem.send("\r\nDATE=1211\r\nTIME=0930\r\nNMBR=5551234\r\nNAME=GONE AWAY\r\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->idleWatchRunning(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->idleWatchRunning(); }, 5000));
    EXPECT_TRUE(line.calls.isEmpty()); // no call was offered, so none ends
    modem.send(kRing + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.size() == 2; }, 5000));
    EXPECT_EQ(line.calls, QStringList({ "incoming", "cid(UNKNOWN|UNKNOWN)" }));
}

// Another program holds the modem: five attempts a retry pause apart, each journalled, then
// the reason. A later connect starts counting afresh.
TEST_F(CommControlTest, PortHeldByAnotherProcess)
{
    ASSERT_TRUE(modem.ok());
    QProcess holder;
    holder.start(QStringLiteral("sleep"), { QStringLiteral("60") });
    ASSERT_TRUE(holder.waitForStarted());
    writeLockFile(holder.processId());

    makeForm().commConnect(kPort, kCommand);
    EXPECT_FALSE(form->isPortOpen());
    QStringList expected;
    for (int i = 0; i < FrmCommControl::kBusyAttempts; ++i)
        expected << QStringLiteral("CommConnect->Try opening the port 1 %1(0)").arg(i);
    QStringList lines = journalLines();
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, 5), expected);
    EXPECT_TRUE(lines[5].startsWith("CommConnect->The device already open  "));
    EXPECT_TRUE(lines[5].endsWith("(Try for 4 seconds)(8012)"));
    EXPECT_TRUE(modem.received().isEmpty());

    // The other program lets go while we wait: the port opens on a later attempt.
    options.busyRetryPauseMs = 100;
    form.reset();
    makeForm();
    std::thread release([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        QFile::remove(lockDir + QStringLiteral("/LCK..") + QFileInfo(modem.slavePath()).fileName());
    });
    form->commConnect(kPort, kCommand);
    release.join();
    EXPECT_TRUE(form->isPortOpen());
    EXPECT_TRUE(journalLines().contains("CommConnect->Success open comm port1(0)"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return modem.received() == "AT#CID=1\r"; }, 5000));

    // Held again later: again five attempts, counted from 0.
    form->commDisconnect();
    writeLockFile(holder.processId());
    const qsizetype before = journalLines().size();
    form->commConnect(kPort, kCommand);
    lines = journalLines().mid(before);
    ASSERT_EQ(lines.size(), 6) << lines.join('\n').toStdString();
    EXPECT_EQ(lines.mid(0, 5), expected);

    holder.kill();
    holder.waitForFinished();
}

// A port this program holds already (the telephony layer kept it) is not retried.
TEST_F(CommControlTest, PortHeldByThisProgramIsNotRetried)
{
    ASSERT_TRUE(modem.ok());
    const int held
        = ::open(QFile::encodeName(modem.slavePath()).constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    makeForm().commConnect(kPort, kCommand);
    EXPECT_FALSE(form->isPortOpen());
    EXPECT_EQ(journalLines(),
              QStringList({ "CommConnect->Unable to connect to modem, port already open1(8005)" }));
    ::close(held);
}

TEST_F(CommControlTest, UnknownPortNumber)
{
    makeForm().commConnect(7, kCommand);
    EXPECT_FALSE(form->isPortOpen());
    EXPECT_EQ(journalLines(), QStringList({ "CommConnect->Cannot open comm port 7(0)" }));
}

// The modem driver never reports the line closed: the wait ends, says so, and the port
// listens again anyway.
TEST_F(CommControlTest, CloseTapiWithALineThatStaysOpen)
{
    connectAndListen();
    form->commDisconnect();
    tapi.lineOpen(4, 8);
    tapi.lineCloseResult = 1; // a modem driver that never lets go of the line
    tapi.lineShutdownResult = 1;
    form->commCloseTapi();
    EXPECT_TRUE(form->isPortOpen());
    const QStringList lines = journalLines();
    EXPECT_TRUE(lines.contains(
        "CommCloseTapi->The line did not close within 300 ms; opening the port anyway(0)"))
        << lines.join('\n').toStdString();
    EXPECT_EQ(lines.count("CommConnect->Success open comm port1(0)"), 2);
}

// An unanswered call whose takeover left the telephony line open: at idle the line is closed
// and the port reopened before the line form hears of the idle.
TEST_F(CommControlTest, IdleWithTheTelephonyLineOpenHandsThePortBack)
{
    connectAndListen();
    line.onCallerId = [&] {
        form->commDisconnect();
        tapi.lineOpen(4, 8);
    };
    modem.send(kRing + kRing);
    ASSERT_TRUE(QTest::qWaitFor([&] { return line.calls.contains("idle"); }, 5000));
    EXPECT_EQ(tapi.closeCount, 1);
    EXPECT_FALSE(tapi.isLineOpen());
    EXPECT_TRUE(form->isPortOpen());
}

// The modem is unplugged and plugged in again: the journal says the port went away, and the
// form finds it again by itself.
TEST_F(CommControlTest, ModemUnpluggedAndBack)
{
    const QString link = tmp.runtime() + QStringLiteral("/modem");
    ASSERT_TRUE(QFile::link(modem.slavePath(), link));
    tapi.devices[0].portPath = link;
    connectAndListen();

    modem.hangUp();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form->isPortOpen(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QStringList lines = journalLines();
            return std::any_of(lines.begin(), lines.end(), [](const QString &l) {
                return l.startsWith("CommDisconnect->") && l.endsWith("1(8021)");
            });
        },
        5000))
        << journalLines().join('\n').toStdString();

    PtyModem again;
    ASSERT_TRUE(again.ok());
    QFile::remove(link);
    ASSERT_TRUE(QFile::link(again.slavePath(), link));
    ASSERT_TRUE(QTest::qWaitFor([&] { return form->isPortOpen(); }, 5000));
    EXPECT_TRUE(QTest::qWaitFor([&] { return again.received() == "AT#CID=1\r"; }, 5000));
    EXPECT_EQ(journalLines().count("CommConnect->Success open comm port1(0)"), 2);
}

// Unloading the form lets the modem go: another opener gets the port at once.
TEST_F(CommControlTest, UnloadClosesThePort)
{
    connectAndListen();
    SerialPort other;
    SerialPort::Settings settings;
    settings.lockDirectory = lockDir;
    EXPECT_FALSE(other.open(modem.slavePath(), settings));
    form.reset();
    EXPECT_FALSE(main->isFormLoaded(QStringLiteral("frmCommControl")));
    EXPECT_TRUE(other.open(modem.slavePath(), settings)) << other.errorString().toStdString();
}

} // namespace
