// The socket transport between two real processes. The other program is played by the
// quorvel-chan tool, or by raw sockets where a test needs bytes no endpoint would send.

#include "controls/channel/UnixChannel.h"
#include "controls/channel/ChannelFrame.h"
#include "shared/channel/ChannelMessage.h"
#include "tests/channel/ChannelListener.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace quorvel;
using quorvel::test::ChannelListener;

namespace {

constexpr uid_t kNobody = 65534;

QStringList arrivals(const QSignalSpy &spy)
{
    QStringList texts;
    for (const QList<QVariant> &call : spy)
        texts.append(call.at(0).toString());
    return texts;
}

QString errorsText(const QSignalSpy &spy)
{
    return arrivals(spy).join('\n');
}

QStringList socketFiles(const QString &folder)
{
    return QDir(folder).entryList({ "ch*.sock" }, QDir::System | QDir::Files, QDir::Name);
}

double monotonicNow()
{
    timespec ts {};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

int openDescriptors()
{
    return int(QDir("/proc/self/fd")
                   .entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)
                   .size());
}

bool fillAddress(const QString &path, sockaddr_un *addr)
{
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= qsizetype(sizeof(addr->sun_path)))
        return false;
    *addr = {};
    addr->sun_family = AF_UNIX;
    memcpy(addr->sun_path, bytes.constData(), size_t(bytes.size()));
    return true;
}

// A connection to an endpoint's socket that sends whatever bytes a test wants.
class RawClient
{
public:
    explicit RawClient(const QString &path)
    {
        sockaddr_un addr {};
        if (!fillAddress(path, &addr))
            return;
        m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (connect(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
            close(m_fd);
            m_fd = -1;
        }
    }
    ~RawClient() { shut(); }
    bool connected() const { return m_fd >= 0; }
    bool write(const QByteArray &bytes)
    {
        return m_fd >= 0
            && ::send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL)
            == ssize_t(bytes.size());
    }
    void shut()
    {
        if (m_fd >= 0)
            close(m_fd);
        m_fd = -1;
    }
    // Runs the event loop until the endpoint has closed this connection.
    bool waitClosedByPeer(int timeoutMs = 10000)
    {
        return QTest::qWaitFor(
            [this] {
                char c;
                const ssize_t n = recv(m_fd, &c, 1, MSG_DONTWAIT | MSG_PEEK);
                return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
            },
            timeoutMs);
    }

private:
    int m_fd = -1;
};

QByteArray frame(const QString &text)
{
    return *ChannelFrame::encode(text);
}

QByteArray header(quint32 n)
{
    QByteArray h;
    h.append(char(n >> 24)).append(char(n >> 16)).append(char(n >> 8)).append(char(n));
    return h;
}

struct ToolRun
{
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun runTool(const QStringList &arguments,
                const QProcessEnvironment &env = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(test::binPath("quorvel-chan"), arguments);
    ToolRun run;
    if (!process.waitForStarted(10000))
        return run;
    // The event loop keeps running meanwhile, so an endpoint of this test can take the message.
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 30000)) {
        process.kill();
        process.waitForFinished(5000);
    }
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

pid_t deadPid()
{
    const pid_t child = fork();
    if (child == 0)
        _exit(0);
    int status = 0;
    waitpid(child, &status, 0);
    return child;
}

// Makes a socket file in `folder` that nothing listens on, as a crashed program leaves it.
void leaveDeadSocket(const QString &path)
{
    sockaddr_un addr {};
    ASSERT_TRUE(fillAddress(path, &addr));
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    close(fd);
}

class UnixChannelTest : public ::testing::Test
{
protected:
    test::TempHome home;
};

} // namespace

TEST_F(UnixChannelTest, OpenIsTrueExactlyWhileAnotherProcessHasTheNumber)
{
    UnixChannel service;
    EXPECT_FALSE(service.openChannel(405));
    EXPECT_EQ(service.number(), 405);
    const QStringList mine = socketFiles(home.runtime());
    ASSERT_EQ(mine.size(), 1);
    EXPECT_TRUE(mine[0].startsWith(QStringLiteral("ch405_%1_").arg(getpid())))
        << qPrintable(mine[0]);
    struct stat st
    {
    };
    ASSERT_EQ(stat(QFile::encodeName(service.socketPath()).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    // Another endpoint of this same process does not count.
    UnixChannel sameProcess;
    EXPECT_FALSE(sameProcess.openChannel(405));
    EXPECT_FALSE(service.openChannel(405));

    {
        ChannelListener desktop({ "405" });
        ASSERT_TRUE(desktop.start()) << desktop.errorOutput().constData();
        EXPECT_TRUE(service.openChannel(405));
        EXPECT_TRUE(service.openChannel(405)) << "opening again before each send keeps it true";
        EXPECT_FALSE(service.openChannel(406));
        EXPECT_TRUE(service.openChannel(405));

        // Killed outright, it leaves its socket file behind: no longer a peer, and the file
        // is cleared away.
        desktop.signal(SIGKILL);
        ASSERT_TRUE(desktop.waitForExit());
        EXPECT_EQ(socketFiles(home.runtime()).size(), 3)
            << "the dead listener's file is still there";
        EXPECT_FALSE(service.openChannel(405));
        EXPECT_EQ(socketFiles(home.runtime()).size(), 2);
    }
    for (int sig : { SIGTERM, SIGINT }) {
        ChannelListener desktop({ "405" });
        ASSERT_TRUE(desktop.start());
        EXPECT_TRUE(service.openChannel(405));
        desktop.signal(sig);
        ASSERT_TRUE(desktop.waitForExit());
        EXPECT_EQ(desktop.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(desktop.exitCode(), 0);
        EXPECT_EQ(socketFiles(home.runtime()).size(), 2) << "a listener that ends cleans up";
        EXPECT_FALSE(service.openChannel(405));
    }
}

TEST_F(UnixChannelTest, LeftoverSocketFilesAreClearedAndOthersLeftAlone)
{
    const QString run = home.runtime();
    const pid_t dead = deadPid();
    // A live process that is not a channel endpoint: its pid may be reused by a file whose
    // listener is gone.
    const pid_t alive = getppid();
    struct Leftover
    {
        QString name;
        bool socket;
        bool removed;
    };
    const std::vector<Leftover> leftovers = {
        { QStringLiteral("ch405_%1_1.sock").arg(dead), true, true },
        { QStringLiteral("ch405_%1_2.sock").arg(dead), false, true },
        { QStringLiteral("ch405_%1_3.sock").arg(alive), true, true },
        { QStringLiteral("ch406_%1_1.sock").arg(dead), true,
          false }, // another number: not looked at
        { QStringLiteral("notes.txt"), false, false },
        { QStringLiteral(".ch405_%1_1.tmp").arg(dead), false, false },
    };
    for (const Leftover &l : leftovers) {
        if (l.socket)
            leaveDeadSocket(run + '/' + l.name);
        else
            test::writeFile(run + '/' + l.name, "x");
    }
    UnixChannel endpoint;
    EXPECT_FALSE(endpoint.openChannel(405));
    for (const Leftover &l : leftovers)
        EXPECT_EQ(QFileInfo::exists(run + '/' + l.name), !l.removed) << qPrintable(l.name);
}

TEST_F(UnixChannelTest, ANewNumberMovesTheSocketAndTheLastEndpointLeavesNothing)
{
    {
        UnixChannel endpoint;
        endpoint.openChannel(405);
        endpoint.openChannel(406);
        const QStringList files = socketFiles(home.runtime());
        ASSERT_EQ(files.size(), 1);
        EXPECT_TRUE(files[0].startsWith("ch406_"));
        EXPECT_EQ(runTool({ "probe", "405" }).exitCode, 1);
        EXPECT_EQ(runTool({ "probe", "406" }).exitCode, 0);
    }
    EXPECT_TRUE(socketFiles(home.runtime()).isEmpty());
}

TEST_F(UnixChannelTest, ASocketFileRemovedUnderneathIsMadeAgainOnTheNextOpen)
{
    UnixChannel service;
    service.openChannel(405);
    // A cleaner emptied the runtime folder; peers can no longer find the endpoint.
    ASSERT_TRUE(QFile::remove(service.socketPath()));
    EXPECT_EQ(runTool({ "probe", "405" }).exitCode, 1);
    service.openChannel(405);
    EXPECT_EQ(socketFiles(home.runtime()).size(), 1);
    QSignalSpy arrived(&service, &Channel::textArrived);
    EXPECT_EQ(runTool({ "send", "405", "UNLOAD" }).exitCode, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived.size() == 1; }, 10000));
    EXPECT_EQ(arrived.at(0).at(0).toString(), "UNLOAD");
}

TEST_F(UnixChannelTest, MessagesArriveInSendOrderAcrossProcesses)
{
    // This process sends, the tool prints what arrives.
    ChannelListener desktop({ "407", "409" });
    ASSERT_TRUE(desktop.start());
    UnixChannel events;
    UnixChannel callerId;
    ASSERT_TRUE(events.openChannel(407));
    ASSERT_TRUE(callerId.openChannel(409));

    const double before = monotonicNow();
    QList<QStringList> sent;
    for (int i = 0; i < 2000; ++i) {
        sent.append({ "Tapi_Ring", "0", QString::number(i), "False" });
        if (i == 1000)
            sent.last()
                = { "Tapi_CID", "0", "", "0612345678", "Zoë ☎ Dupont", "", "True", "2", "False" };
        events.openChannel(407); // as the service does before each send
        events.sendText(ChannelMessage::join(sent.last()));
    }
    callerId.sendText(ChannelMessage::join({ "Tapi_CID", "0", "Name", "123" }));
    ASSERT_TRUE(desktop.waitForLines(2001)) << desktop.lines().size();
    const double after = monotonicNow();

    const QList<QJsonObject> lines = desktop.messages();
    ASSERT_EQ(lines.size(), 2001);
    int on407 = 0;
    double lastT = 0;
    for (const QJsonObject &line : lines) {
        EXPECT_EQ(line.keys(), (QStringList { "channel", "fields", "t" }));
        const double t = line.value("t").toDouble();
        EXPECT_GE(t, before);
        EXPECT_LE(t, after);
        EXPECT_GE(t, lastT);
        lastT = t;
        QStringList fields;
        for (const QJsonValue &v : line.value("fields").toArray())
            fields.append(v.toString());
        if (line.value("channel").toInt() == 409) {
            EXPECT_EQ(fields, (QStringList { "Tapi_CID", "0", "Name", "123" }));
            continue;
        }
        EXPECT_EQ(line.value("channel").toInt(), 407);
        ASSERT_LT(on407, sent.size());
        EXPECT_EQ(fields, sent[on407]) << on407;
        ++on407;
    }
    EXPECT_EQ(on407, 2000);
}

TEST_F(UnixChannelTest, TheToolSendsInOrderAndReportsWhetherAnyoneListens)
{
    UnixChannel service;
    service.openChannel(408);
    QSignalSpy arrived(&service, &Channel::textArrived);
    const QList<QStringList> commands = {
        { "HELLO" },
        { "AUTO", "08:00", "18:30" },
        { "CallOut", "0612345678" },
        { "Tapi_CID", "0", "", "0612345678" }, // an empty field keeps its place
        { "Say", "Zoë appelle ☎" },
    };
    for (const QStringList &fields : commands) {
        const ToolRun run = runTool(QStringList { "send", "408" } + fields);
        EXPECT_EQ(run.exitCode, 0) << run.err.constData();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived.size() == commands.size(); }, 10000));
    for (qsizetype i = 0; i < commands.size(); ++i)
        EXPECT_EQ(arrived.at(i).at(0).toString(), ChannelMessage::join(commands[i]));

    const ToolRun nobody = runTool({ "send", "409", "Tapi_CID" });
    EXPECT_EQ(nobody.exitCode, 1);
    EXPECT_TRUE(nobody.err.contains("no program has channel 409 open")) << nobody.err.constData();

    for (const QStringList &bad : QList<QStringList> { { "send", "408" },
                                                       { "send", "x408", "HELLO" },
                                                       { "send", "-408", "HELLO" },
                                                       { "send", "408", QString(70000, 'a') },
                                                       { "listen" },
                                                       { "listen", "--count", "0", "408" },
                                                       { "frobnicate" } }) {
        EXPECT_EQ(runTool(bad).exitCode, 2) << qPrintable(bad.join(' ').left(40));
    }
    EXPECT_EQ(arrived.size(), commands.size()) << "refused commands sent nothing";

    const ToolRun help = runTool({ "--help" });
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains("{\"ready\":true}"));
}

TEST_F(UnixChannelTest, AFloodToAStoppedReceiverNeitherBlocksTheSenderNorLosesAMessage)
{
    constexpr int kCount = 100000;
    const QString readyFile = home.path("listener.ready");
    ChannelListener desktop(
        { "--ready-file", readyFile, "--count", QString::number(kCount), "407" });
    ASSERT_TRUE(desktop.start());
    EXPECT_TRUE(QFileInfo::exists(readyFile));
    UnixChannel service;
    ASSERT_TRUE(service.openChannel(407));

    // The receiver reads nothing while stopped; every send must still return at once.
    desktop.signal(SIGSTOP);
    for (int i = 0; i < kCount; ++i)
        service.sendText(ChannelMessage::join({ "Flood", QString::number(i) }));
    EXPECT_GT(service.queuedBytes(), 0) << "the socket cannot have taken all of it";
    desktop.signal(SIGCONT);

    ASSERT_TRUE(desktop.waitForExit(60000)) << desktop.lines().size();
    EXPECT_EQ(desktop.exitCode(), 0);
    EXPECT_EQ(service.queuedBytes(), 0);
    const QList<QByteArray> lines = desktop.lines();
    ASSERT_EQ(lines.size(), kCount);
    int wrong = 0;
    for (int i = 0; i < kCount; ++i) {
        const QByteArray expected
            = "{\"channel\":407,\"fields\":[\"Flood\",\"" + QByteArray::number(i) + "\"],";
        if (!lines[i].startsWith(expected) && ++wrong < 5)
            ADD_FAILURE() << "line " << i << ": " << lines[i].constData();
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(UnixChannelTest, OversizedMessagesAreRefusedBySenderAndReceiver)
{
    ChannelListener desktop({ "407" });
    ASSERT_TRUE(desktop.start());
    UnixChannel service;
    ASSERT_TRUE(service.openChannel(407));
    QSignalSpy sendErrors(&service, &Channel::transportError);
    const QString atLimit(32768, QChar(0xE9)); // 65,536 bytes of UTF-8
    service.sendText(QString(32769, QChar(0xE9)));
    service.sendText(atLimit);
    service.sendText("after");
    ASSERT_TRUE(desktop.waitForLines(2));
    const QList<QJsonObject> lines = desktop.messages();
    EXPECT_EQ(lines[0].value("fields").toArray().at(0).toString(), atLimit);
    EXPECT_EQ(lines[1].value("fields").toArray().at(0).toString(), "after");
    ASSERT_TRUE(QTest::qWaitFor([&] { return sendErrors.size() == 1; }, 5000));
    EXPECT_TRUE(errorsText(sendErrors).contains("65538 bytes"))
        << qPrintable(errorsText(sendErrors));

    // A peer announcing more than the limit is cut off before a byte of it is kept.
    UnixChannel commands;
    commands.openChannel(408);
    QSignalSpy arrived(&commands, &Channel::textArrived);
    QSignalSpy faults(&commands, &Channel::transportError);
    for (quint32 announced : { 65537u, 0xFFFFFFFFu }) {
        RawClient rogue(commands.socketPath());
        ASSERT_TRUE(rogue.connected());
        rogue.write(frame("HELLO") + header(announced) + QByteArray(100, 'x'));
        EXPECT_TRUE(rogue.waitClosedByPeer()) << "the endpoint closes that connection";
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(arrivals(arrived), (QStringList { "HELLO", "HELLO" })) << "what came before is kept";
    EXPECT_EQ(faults.size(), 2);
    EXPECT_TRUE(errorsText(faults).contains("longer than 65536 bytes"))
        << qPrintable(errorsText(faults));

    RawClient next(commands.socketPath());
    next.write(frame("GetTTSProp"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived.size() == 3; }, 5000));
    EXPECT_EQ(arrived.at(2).at(0).toString(), "GetTTSProp");
}

TEST_F(UnixChannelTest, BrokenStreamsLoseOnlyTheBrokenMessageAndLeakNothing)
{
    QCoreApplication::processEvents();
    const int descriptorsBefore = openDescriptors();
    {
        UnixChannel commands;
        commands.openChannel(408);
        QSignalSpy arrived(&commands, &Channel::textArrived);
        QSignalSpy faults(&commands, &Channel::transportError);
        struct Case
        {
            const char *name;
            QByteArray bytes;
            QStringList kept;
            const char *fault;
        };
        const std::vector<Case> cases = {
            { "closed in the middle of a message",
              frame("ON") + header(10) + "abc",
              { "ON" },
              "closed its connection in the middle of a message; 7 bytes" },
            { "closed in the middle of a length",
              frame("OFF") + header(10).left(2),
              { "OFF" },
              "2 bytes were discarded" },
            { "a message that is not UTF-8",
              frame("DoNothing") + header(2) + "\xFF\xFE" + frame("DropTheCall"),
              { "DoNothing", "DropTheCall" },
              "was not UTF-8" },
        };
        for (const Case &c : cases) {
            SCOPED_TRACE(c.name);
            arrived.clear();
            faults.clear();
            {
                RawClient peer(commands.socketPath());
                ASSERT_TRUE(peer.connected());
                // Byte by byte for one case, at once for the others: boundaries are not messages.
                if (std::string(c.name).find("length") != std::string::npos) {
                    for (char byte : c.bytes)
                        peer.write(QByteArray(1, byte));
                } else {
                    peer.write(c.bytes);
                }
            }
            ASSERT_TRUE(QTest::qWaitFor([&] { return faults.size() >= 1; }, 5000));
            QCoreApplication::processEvents();
            EXPECT_EQ(arrivals(arrived), c.kept);
            EXPECT_TRUE(errorsText(faults).contains(c.fault)) << qPrintable(errorsText(faults));
        }
        arrived.clear();
        EXPECT_EQ(runTool({ "send", "408", "HELLO" }).exitCode, 0) << "the endpoint goes on";
        ASSERT_TRUE(QTest::qWaitFor([&] { return arrived.size() == 1; }, 5000));
        EXPECT_EQ(arrived.at(0).at(0).toString(), "HELLO");

        // Its own sending side too: connections to peers that went away are let go.
        for (int i = 0; i < 3; ++i) {
            ChannelListener desktop({ "407" });
            ASSERT_TRUE(desktop.start());
            commands.openChannel(407);
            commands.sendText("LineStatus\r\n0\r\n0\r\nFalse");
            ASSERT_TRUE(desktop.waitForLines(1));
        }
        commands.openChannel(407);
        EXPECT_EQ(commands.peerCount(), 0);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(openDescriptors(), descriptorsBefore);
    EXPECT_TRUE(socketFiles(home.runtime()).isEmpty());
}

TEST_F(UnixChannelTest, AHandlerMayDestroyItsEndpointWithMessagesStillWaiting)
{
    auto *service = new UnixChannel;
    service->openChannel(405);
    const QString path = service->socketPath();
    int seen = 0;
    QObject::connect(service, &Channel::textArrived, [&seen, service](const QString &) {
        ++seen;
        delete service; // "UNLOAD" tears the form and its endpoints down
    });
    RawClient desktop(path);
    desktop.write(frame("UNLOAD") + frame("GETSOUNDINDEX") + frame("UNLOAD"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen > 0; }, 5000));
    QTest::qWait(50); // anything still queued for the dead endpoint would run now
    EXPECT_EQ(seen, 1);
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(desktop.waitClosedByPeer());
}

TEST_F(UnixChannelTest, ARuntimeFolderPathTooLongForASocketAddressStillWorks)
{
    const QString longFolder = home.runtime() + '/' + QString(120, 'r');
    ASSERT_TRUE(QDir().mkpath(longFolder));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QUORVEL_RUNTIME_DIR", longFolder);
    ChannelListener desktop({ "407" }, env);
    ASSERT_TRUE(desktop.start()) << desktop.errorOutput().constData();

    UnixChannel service(nullptr, longFolder);
    ASSERT_TRUE(service.openChannel(407));
    service.sendText("PlayGreet\r\n0");
    ASSERT_TRUE(desktop.waitForLines(1));
    EXPECT_EQ(desktop.messages().at(0).value("fields").toArray().at(0).toString(), "PlayGreet");

    service.openChannel(408);
    QSignalSpy arrived(&service, &Channel::textArrived);
    EXPECT_EQ(runTool({ "send", "408", "HELLO" }, env).exitCode, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return arrived.size() == 1; }, 5000));
}

TEST_F(UnixChannelTest, PeersOfAnotherUserAreRefusedBothWays)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "acting as another user needs root";
    const QByteArray run = QFile::encodeName(home.runtime());
    // The temporary folder around the runtime folder is private too; let the stranger through.
    const QByteArray around = QFile::encodeName(QFileInfo(home.runtime()).absolutePath());
    struct stat aroundStat
    {
    };
    ASSERT_EQ(stat(around.constData(), &aroundStat), 0);
    chmod(around.constData(), 0711);
    const auto restore
        = qScopeGuard([&] { chmod(around.constData(), aroundStat.st_mode & 07777); });

    UnixChannel service;
    service.openChannel(405);
    QSignalSpy arrived(&service, &Channel::textArrived);
    QSignalSpy errors(&service, &Channel::transportError);

    // Inbound: a process of user nobody reaches the socket (the folder is opened up for it,
    // as a misconfigured shared runtime folder would be) and sends a well-formed message.
    sockaddr_un addr {};
    ASSERT_TRUE(fillAddress(service.socketPath(), &addr));
    chmod(run.constData(), 0711);
    chmod(addr.sun_path, 0666);
    const QByteArray unload = frame("UNLOAD");
    const pid_t intruder = fork();
    if (intruder == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(20);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
            _exit(10);
        [[maybe_unused]] ssize_t n
            = send(fd, unload.constData(), size_t(unload.size()), MSG_NOSIGNAL);
        pollfd p { fd, POLLIN, 0 };
        if (poll(&p, 1, 10000) <= 0)
            _exit(11);
        char c;
        _exit(recv(fd, &c, 1, 0) <= 0 ? 0 : 12);
    }
    int status = -1;
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return waitpid(intruder, &status, WNOHANG) == intruder; }, 20000));
    chmod(run.constData(), 0700);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 20)
        GTEST_SKIP() << "cannot switch to user nobody here";
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not connect, 11: not closed, 12: got data";
    ASSERT_TRUE(QTest::qWaitFor([&] { return errors.size() >= 1; }, 5000));
    EXPECT_TRUE(errorsText(errors).contains("refused a connection from user 65534"))
        << qPrintable(errorsText(errors));
    EXPECT_TRUE(arrived.isEmpty());

    // Outbound: a listener of user nobody on the same number is not a peer and gets nothing.
    chmod(run.constData(), 0777);
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const QByteArray prefix = run + "/ch405_";
    const pid_t stranger = fork();
    if (stranger == 0) {
        if (setgid(kNobody) != 0 || setuid(kNobody) != 0)
            _exit(120);
        char digits[24];
        int n = 0;
        for (pid_t p = getpid(); p > 0; p /= 10)
            digits[n++] = char('0' + p % 10);
        sockaddr_un own {};
        own.sun_family = AF_UNIX;
        size_t at = 0;
        for (char ch : prefix)
            own.sun_path[at++] = ch;
        while (n > 0)
            own.sun_path[at++] = digits[--n];
        for (char ch : std::string("_1.sock"))
            own.sun_path[at++] = ch;
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (bind(fd, reinterpret_cast<sockaddr *>(&own), sizeof own) != 0 || listen(fd, 8) != 0)
            _exit(121);
        [[maybe_unused]] ssize_t w = write(ready[1], "r", 1);
        long total = 0;
        pollfd p { fd, POLLIN, 0 };
        while (poll(&p, 1, 1500) > 0) {
            const int c = accept(fd, nullptr, nullptr);
            char buf[256];
            ssize_t got;
            while ((got = read(c, buf, sizeof buf)) > 0)
                total += got;
            close(c);
        }
        unlink(own.sun_path);
        _exit(total > 100 ? 100 : int(total));
    }
    close(ready[1]);
    char r = 0;
    pollfd p { ready[0], POLLIN, 0 };
    ASSERT_GT(poll(&p, 1, 10000), 0);
    ASSERT_EQ(read(ready[0], &r, 1), 1);
    close(ready[0]);
    const QStringList files = socketFiles(home.runtime());
    EXPECT_EQ(files.size(), 2) << qPrintable(files.join(' '));

    errors.clear();
    EXPECT_FALSE(service.openChannel(405));
    service.sendText("secret");
    EXPECT_EQ(socketFiles(home.runtime()), files) << "another user's socket is not ours to remove";
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return waitpid(stranger, &status, WNOHANG) == stranger; }, 20000));
    chmod(run.constData(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "bytes the stranger received (120+: setup failed)";
    QCoreApplication::processEvents();
    EXPECT_TRUE(errorsText(errors).contains("belongs to user 65534"))
        << qPrintable(errorsText(errors));

    // A runtime folder someone else owns is not used at all.
    UnixChannel other;
    QSignalSpy otherErrors(&other, &Channel::transportError);
    ASSERT_EQ(chown(run.constData(), kNobody, kNobody), 0);
    EXPECT_FALSE(other.openChannel(406));
    EXPECT_TRUE(other.socketPath().isEmpty());
    ASSERT_EQ(chown(run.constData(), 0, 0), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return otherErrors.size() == 1; }, 5000));
    EXPECT_TRUE(errorsText(otherErrors).contains("belongs to user 65534"));
}
