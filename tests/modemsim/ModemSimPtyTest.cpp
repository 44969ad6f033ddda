// The simulator as a program, driven through a real pseudo-terminal the way a driver uses a
// serial voice modem.
#include "HostPort.h"
#include "shared/modem/VoiceCodec.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>

using namespace quorvel;
using quorvel::modemsim::test::HostPort;

namespace {

constexpr int kWaitMs = 10000;

const QByteArray kOk = "\r\nOK\r\n";

class Simulator {
public:
    Simulator()
    {
        m_link = m_dir.filePath(QStringLiteral("modem"));
        m_log = m_dir.filePath(QStringLiteral("log.jsonl"));
        m_capture = m_dir.filePath(QStringLiteral("capture"));
    }
    ~Simulator()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // Starts the tool; with an empty script it reads commands on stdin.
    void start(const QByteArray &script, const QStringList &extra = {})
    {
        QStringList args { "--link",    m_link,    "--log",         m_log,
                           "--capture", m_capture, "--ring-period", "0.2" };
        if (!script.isNull()) {
            test::writeFile(m_dir.filePath("script.txt"), script);
            args << "--script" << m_dir.filePath("script.txt");
        }
        args << extra;
        m_process.start(test::binPath("quorvel-modemsim"), args);
        ASSERT_TRUE(m_process.waitForStarted(kWaitMs));
        ASSERT_TRUE(QTest::qWaitFor([&] { return QFileInfo::exists(m_link); }, kWaitMs))
            << m_process.readAllStandardError().toStdString();
    }

    void stdinLine(const QByteArray &line)
    {
        m_process.write(line + '\n');
        m_process.waitForBytesWritten(kWaitMs);
    }

    int waitExit()
    {
        if (!m_process.waitForFinished(kWaitMs))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -2;
    }

    QList<QJsonObject> log() const
    {
        QList<QJsonObject> out;
        for (const QByteArray &line : test::readFile(m_log).split('\n')) {
            if (line.isEmpty())
                continue;
            QJsonParseError err;
            const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
            EXPECT_EQ(err.error, QJsonParseError::NoError) << line.toStdString();
            out.append(doc.object());
        }
        return out;
    }
    // Index of the first log entry from `from` on with that direction whose text contains `part`.
    qsizetype find(const QString &dir, const QString &part, qsizetype from = 0) const
    {
        const QList<QJsonObject> entries = log();
        for (qsizetype i = from; i < entries.size(); ++i)
            if (entries[i].value("dir").toString() == dir
                && entries[i].value("text").toString().contains(part))
                return i;
        return -1;
    }
    bool waitLog(const QString &dir, const QString &part)
    {
        return QTest::qWaitFor([&] { return find(dir, part) >= 0; }, kWaitMs);
    }

    QString link() const { return m_link; }
    QString capture(int call) const
    {
        return m_capture + QStringLiteral("/call-%1.wav").arg(call, 4, 10, QChar(u'0'));
    }
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QProcess &process() { return m_process; }

private:
    test::TempHome m_home;
    QTemporaryDir m_dir;
    QString m_link;
    QString m_log;
    QString m_capture;
    QProcess m_process;
};

// The driver's usual start: reset, echo off, voice class, caller ID on.
void initModem(HostPort &port, const QByteArray &callerIdCommand)
{
    EXPECT_EQ(port.command("ATZ"), "ATZ\r" + kOk);
    EXPECT_EQ(port.command("ATE0"), "ATE0\r" + kOk);
    EXPECT_EQ(port.command("AT+FCLASS=8"), kOk);
    EXPECT_EQ(port.command(callerIdCommand), kOk);
}

QByteArray samplesOf(const QString &wavPath)
{
    const QByteArray wav = test::readFile(wavPath);
    EXPECT_GE(wav.size(), 44);
    EXPECT_EQ(wav.left(4), QByteArray("RIFF"));
    EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 24), 8000u);
    return wav.mid(44);
}

} // namespace

TEST(ModemSimPty, IncomingCallWithCallerIdInBothProfiles)
{
    struct Case {
        const char *profile;
        QByteArray enableCid;
        QByteArray number;
        QByteArray name;
    };
    const Case cases[] = {
        { "usr", "AT+VCID=1", "\r\nNMBR = 5551234\r\n", "\r\nNAME = JOHN SMITH\r\n" },
        { "conexant", "AT#CID=1", "\r\nNMBR=5551234\r\n", "\r\nNAME=JOHN SMITH\r\n" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.profile);
        Simulator sim;
        sim.start("# an incoming call\n"
                  "expect "
                      + c.enableCid.left(7) + " 10\n"
                      + "ring\n"
                        "cid 5551234 JOHN SMITH\n"
                        "wait 0.1\n"
                        "ringing 50\n"
                        "expect ATA 10\n"
                        "hangup\n"
                        "expect ATH 10\n",
                  { "--profile", c.profile });
        HostPort port;
        ASSERT_TRUE(port.open(sim.link()));
        initModem(port, c.enableCid);
        ASSERT_TRUE(port.waitFor(c.name + "\r\nRING\r\n", kWaitMs))
            << port.received().toStdString();
        const QByteArray seen = port.received();
        EXPECT_TRUE(seen.startsWith("\r\nRING\r\n\r\nDATE")) << seen.toStdString();
        EXPECT_TRUE(seen.contains(c.number));
        EXPECT_EQ(port.command("ATA"), "\r\nVCON\r\n");
        ASSERT_TRUE(port.waitFor("\x10"
                                 "b",
                                 kWaitMs));
        EXPECT_EQ(port.command("ATH"), kOk);
        ASSERT_TRUE(sim.waitLog("event", "script done"));

        // The log: valid JSON lines on one monotonic clock, in order of events.
        const QList<QJsonObject> log = sim.log();
        double last = 0;
        for (const QJsonObject &o : log) {
            EXPECT_TRUE(o.value("t").isDouble());
            EXPECT_GE(o.value("t").toDouble(), last);
            last = o.value("t").toDouble();
            const QString dir = o.value("dir").toString();
            EXPECT_TRUE(dir == "rx" || dir == "tx" || dir == "event") << dir.toStdString();
        }
        const qsizetype nmbr = sim.find("tx", QString::fromLatin1(c.number.trimmed()));
        const qsizetype ata = sim.find("rx", "ATA");
        ASSERT_GE(nmbr, 0);
        EXPECT_GT(ata, nmbr);
        EXPECT_GT(sim.find("event", "call 1 end far end hangup"), ata);
        EXPECT_GE(sim.find("tx", "DLE b"), 0);
        // The call had no audio; its capture is an empty WAV.
        EXPECT_EQ(QFileInfo(sim.capture(1)).size(), 44);
    }
}

TEST(ModemSimPty, PlaybackWithDleBytesIsCapturedIntactAtLineSpeed)
{
    Simulator sim;
    sim.start("expect AT+VCID 10\nring\nexpect ATA 10\nexpect ATH 20\n");
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    initModem(port, "AT+VCID=1");
    ASSERT_TRUE(port.waitFor("RING", kWaitMs));
    EXPECT_EQ(port.command("AT+VSM=129,8000"), kOk);
    EXPECT_EQ(port.command("ATA"), "\r\nVCON\r\n");

    // Half a second of a tone whose samples carry DLE bytes in both halves.
    QByteArray pcm;
    for (int i = 0; i < 4000; ++i) {
        const qint16 s = i % 5 == 0 ? qint16(0x1010) : qint16(9000 * std::sin(i * 0.785));
        pcm.append(reinterpret_cast<const char *>(&s), 2);
    }
    QByteArray wire = VoiceCodec::encode(pcm, VoiceFormat::Linear16);
    wire.replace("\x10", "\x10\x10");
    EXPECT_EQ(port.command("AT+VTX"), "\r\nCONNECT\r\n");
    port.clearReceived();
    QElapsedTimer played;
    played.start();
    ASSERT_TRUE(port.write(wire + "\x10\x03"));
    ASSERT_TRUE(port.waitFor(kOk, kWaitMs));
    // The modem holds its OK until the line has played the audio.
    EXPECT_GE(played.elapsed(), 400);
    EXPECT_EQ(port.command("ATH"), kOk);

    ASSERT_TRUE(sim.waitLog("event", "capture "));
    EXPECT_EQ(samplesOf(sim.capture(1)), pcm);
    EXPECT_GE(sim.find("event", "vtx end bytes=8000 samples=4000"), 0);
}

TEST(ModemSimPty, FastAudioInMuLawOnTheConexantProfile)
{
    Simulator sim;
    sim.start("expect AT#CID 10\nring\nexpect ATA 10\nexpect ATH 20\n",
              { "--profile", "conexant", "--fast-audio" });
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    initModem(port, "AT#CID=1");
    ASSERT_TRUE(port.waitFor("RING", kWaitMs));
    EXPECT_EQ(port.command("AT+VSM=4,8000"), kOk);
    EXPECT_EQ(port.command("ATA"), "\r\nVCON\r\n");
    // Two blocks in one call; every mu-law byte value, DLE included.
    QByteArray ulaw;
    for (int i = 0; i < 2048; ++i)
        ulaw.append(char(i % 256));
    QByteArray wire = ulaw;
    wire.replace("\x10", "\x10\x10");
    for (int block = 0; block < 2; ++block) {
        EXPECT_EQ(port.command("AT+VTX"), "\r\nCONNECT\r\n");
        port.clearReceived();
        ASSERT_TRUE(port.write(wire + "\x10\x03"));
        ASSERT_TRUE(port.waitFor(kOk, kWaitMs));
    }
    EXPECT_EQ(port.command("ATH"), kOk);
    ASSERT_TRUE(sim.waitLog("event", "capture "));
    const QByteArray expected = VoiceCodec::decode(ulaw, VoiceFormat::MuLaw);
    EXPECT_EQ(samplesOf(sim.capture(1)), expected + expected);
}

TEST(ModemSimPty, ExpectTimeoutExitsWithThreeAndRemovesTheLink)
{
    Simulator sim;
    sim.start("expect ATA 0.3\n");
    EXPECT_EQ(sim.waitExit(), 3);
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
    EXPECT_GE(sim.find("event", "expect ATA timed out after 0.3 s"), 0);
}

TEST(ModemSimPty, HostClosingAndReopeningThePort)
{
    Simulator sim;
    sim.start(QByteArray()); // commands on stdin
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    EXPECT_EQ(port.command("AT"), "AT\r" + kOk);
    port.close();
    ASSERT_TRUE(sim.waitLog("event", "host closed"));
    // Rings while nobody holds the port are lost, not queued for the next opener.
    sim.stdinLine("ring");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const QList<QJsonObject> log = sim.log();
            for (const QJsonObject &o : log)
                if (o.value("text").toString() == "RING" && o.value("dropped").toBool())
                    return true;
            return false;
        },
        kWaitMs));
    ASSERT_TRUE(port.open(sim.link()));
    EXPECT_EQ(port.command("AT"), "AT\r" + kOk);
    EXPECT_FALSE(port.received().contains("RING"));
    const qsizetype first = sim.find("event", "host opened");
    EXPECT_GE(sim.find("event", "host opened", first + 1), 0);
    // Still ringing: the reopened host can answer.
    EXPECT_EQ(port.command("AT+FCLASS=8"), "AT+FCLASS=8\r" + kOk);
    sim.stdinLine("ring");
    ASSERT_TRUE(port.waitFor("\r\nRING\r\n", kWaitMs));
    EXPECT_EQ(port.command("ATA"), "ATA\r\r\nVCON\r\n");
}

TEST(ModemSimPty, InteractiveDigitsAndFarEndHangup)
{
    Simulator sim;
    sim.start(QByteArray());
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    initModem(port, "AT+VCID=1");
    sim.stdinLine("ring");
    sim.stdinLine("cid P");
    ASSERT_TRUE(port.waitFor("NMBR = P\r\n", kWaitMs));
    EXPECT_EQ(port.command("ATA"), "\r\nVCON\r\n");
    sim.stdinLine("nonsense here");
    sim.stdinLine("dtmf 1#");
    ASSERT_TRUE(port.waitFor(QByteArray("\x10"
                                        "1\x10#"),
                             kWaitMs));
    sim.stdinLine("hangup");
    ASSERT_TRUE(port.waitFor(QByteArray("\x10"
                                        "b"),
                             kWaitMs));
    EXPECT_EQ(port.command("ATH"), kOk);
    EXPECT_GE(sim.find("event", "script error stdin line 3: unknown command 'nonsense'"), 0);
    EXPECT_TRUE(sim.waitLog("event", "call 1 end far end hangup"));
}

TEST(ModemSimPty, MutedModemNeverAnswers)
{
    Simulator sim;
    sim.start(QByteArray());
    sim.stdinLine("mute");
    ASSERT_TRUE(sim.waitLog("event", "muted"));
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    port.write("AT\r");
    EXPECT_EQ(port.drain(300), QByteArray());
    ASSERT_TRUE(sim.waitLog("event", "muted: ignored"));
    sim.stdinLine("unmute");
    ASSERT_TRUE(sim.waitLog("event", "unmuted"));
    EXPECT_EQ(port.command("AT"), "AT\r" + kOk);
}

TEST(ModemSimPty, OutgoingCall)
{
    Simulator sim;
    sim.start("expect ATD 10\nwait 0.1\nanswer\nwait 0.2\nhangup\n");
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    initModem(port, "AT+VCID=1");
    EXPECT_EQ(port.command("ATD5551234;"), kOk);
    ASSERT_TRUE(port.waitFor("\r\nVCON\r\n", kWaitMs));
    ASSERT_TRUE(port.waitFor(QByteArray("\x10"
                                        "b"),
                             kWaitMs));
    EXPECT_GE(sim.find("event", "call 1 start outgoing 5551234"), 0);
}

TEST(ModemSimPty, ExitMidCallIsAnUnpluggedModem)
{
    Simulator sim;
    sim.start("expect AT+VCID 10\nring\nexpect ATA 10\nexit\n");
    HostPort port;
    ASSERT_TRUE(port.open(sim.link()));
    initModem(port, "AT+VCID=1");
    ASSERT_TRUE(port.waitFor("RING", kWaitMs));
    EXPECT_EQ(port.command("ATA"), "\r\nVCON\r\n");
    EXPECT_TRUE(port.waitForVanish(kWaitMs));
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
    EXPECT_GE(sim.find("event", "call 1 end exit"), 0);
    EXPECT_TRUE(QFileInfo::exists(sim.capture(1)));
}

TEST(ModemSimPty, TerminationSignalEndsCleanly)
{
    Simulator sim;
    sim.start(QByteArray());
    sim.process().terminate();
    EXPECT_EQ(sim.waitExit(), 0);
    EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
    EXPECT_GE(sim.find("event", "signal 15"), 0);
}

TEST(ModemSimPty, UsageErrorsAndStaleLinks)
{
    {
        Simulator sim;
        test::writeFile(sim.path("script.txt"), "ring\nrang\n");
        QProcess p;
        p.start(test::binPath("quorvel-modemsim"),
                { "--link", sim.link(), "--script", sim.path("script.txt") });
        ASSERT_TRUE(p.waitForFinished(kWaitMs));
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_TRUE(p.readAllStandardError().contains("script.txt:line 2: unknown command 'rang'"));
        EXPECT_FALSE(QFileInfo(sim.link()).isSymLink());
    }
    {
        // Something that is not a link is never replaced.
        Simulator sim;
        test::writeFile(sim.link(), "keep me");
        QProcess p;
        p.start(test::binPath("quorvel-modemsim"), { "--link", sim.link() });
        ASSERT_TRUE(p.waitForFinished(kWaitMs));
        EXPECT_EQ(p.exitCode(), 2);
        EXPECT_EQ(test::readFile(sim.link()), QByteArray("keep me"));
    }
    {
        QProcess p;
        p.start(test::binPath("quorvel-modemsim"), { "--profile", "usr" });
        ASSERT_TRUE(p.waitForFinished(kWaitMs));
        EXPECT_EQ(p.exitCode(), 2);
    }
    {
        // A link left behind by a simulator that died is replaced.
        Simulator sim;
        ASSERT_TRUE(QFile::link(sim.path("gone"), sim.link()));
        sim.start(QByteArray());
        HostPort port;
        ASSERT_TRUE(port.open(sim.link()));
        EXPECT_EQ(port.command("AT"), "AT\r" + kOk);
    }
}
