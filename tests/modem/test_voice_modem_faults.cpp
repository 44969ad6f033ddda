#include "PtyPair.h"
#include "TelephonyEvents.h"
#include "controls/audio/LineAudio.h"
#include "controls/modem/VoiceModemTelephony.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::PtyPair;
using quorvel::test::TelephonyEvents;

namespace {

// The driver against a scripted modem on a pty: for the faults a well-behaved simulator does
// not produce (silence, noise, a modem that hangs mid-call) and for timing-free call logic.
struct ModemDriver : ::testing::Test {
    QTemporaryDir dir;
    LineAudioRegistry registry;
    VoiceModemConfig config;
    std::unique_ptr<PtyPair> pty;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir().mkpath(dir.filePath("lock"));
        pty = std::make_unique<PtyPair>(dir.filePath("ttyModem"));
        ASSERT_TRUE(pty->isOpen());
        config.ports = { pty->link() };
        config.lockDirectory = dir.filePath("lock");
        config.identityCacheFile = dir.filePath("ModemIdentities.txt");
        config.commandTimeoutMs = 500;
        config.probeTimeoutMs = 300;
        config.ringTimeoutMs = 700;
        config.callerIdSettleMs = 100;
        config.devicePollMs = 100;
        config.audioRegistry = &registry;
    }
    std::unique_ptr<VoiceModemTelephony> openLine()
    {
        pty->setResponder(&PtyPair::plainModem);
        auto line = std::make_unique<VoiceModemTelephony>(config);
        EXPECT_EQ(line->initialize(), 0);
        EXPECT_EQ(line->lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService), 0)
            << line->errorText(VoiceModemTelephony::kErrNotResponding).toStdString();
        return line;
    }
    void modemSays(const QByteArray &text) { pty->write(text); }
};

} // namespace

TEST_F(ModemDriver, VoiceModemNeverAnsweringFailsWithinTheBound)
{
    // No responder: the other end of the pty says nothing at all.
    VoiceModemTelephony line(config);
    ASSERT_EQ(line.initialize(), 0);
    // A port the user named stays listed even though nothing answers on it.
    ASSERT_EQ(line.deviceCount(), 1);
    EXPECT_EQ(line.getDeviceCaps().name, "Voice modem (" + pty->link() + ")");

    QElapsedTimer t;
    t.start();
    const int r = line.lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService);
    EXPECT_EQ(r, VoiceModemTelephony::kErrNotResponding);
    EXPECT_EQ(line.errorText(r), "modem not responding on " + pty->link());
    // Two tries of "AT" (the second after a wake-up), each within the command bound.
    EXPECT_LT(t.elapsed(), 3 * config.commandTimeoutMs + 500);
    EXPECT_FALSE(line.isLineOpen());
    EXPECT_TRUE(pty->received().startsWith("AT\r"));

    // The tty was let go: another opener gets it.
    SerialPort other;
    SerialPort::Settings s;
    s.lockDirectory = config.lockDirectory;
    EXPECT_TRUE(other.open(pty->link(), s)) << other.errorString().toStdString();
}

TEST_F(ModemDriver, VoiceModemReportsAPortHeldByAnotherOpener)
{
    pty->setResponder(&PtyPair::plainModem);
    VoiceModemTelephony line(config);
    ASSERT_EQ(line.initialize(), 0);
    const int commandsAfterProbe = pty->commands().size();

    // Held in this program (the serial caller-ID reader has it).
    {
        SerialPort reader;
        SerialPort::Settings s;
        s.lockDirectory = config.lockDirectory;
        ASSERT_TRUE(reader.open(pty->link(), s));
        const int r = line.lineOpen(Telephony::kPrivilegeTakeOver, Telephony::kMediaTakeOver);
        EXPECT_EQ(r, VoiceModemTelephony::kErrPortAlreadyOpen);
        EXPECT_TRUE(line.errorText(r).contains("already open")) << line.errorText(r).toStdString();
    }
    // Held by another program: its lock file names a live process.
    QProcess holder;
    holder.start("sleep", { "30" });
    ASSERT_TRUE(holder.waitForStarted());
    {
        QFile lock(config.lockDirectory + "/LCK.." + QFileInfo(pty->slave()).fileName());
        ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(holder.processId()).rightJustified(10) + "\n");
    }
    const int r = line.lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService);
    EXPECT_EQ(r, VoiceModemTelephony::kErrPortBusy);
    EXPECT_TRUE(line.errorText(r).contains("in use by another program"))
        << line.errorText(r).toStdString();
    EXPECT_FALSE(line.isLineOpen());
    // Nothing was sent to a modem that is not ours.
    EXPECT_EQ(pty->commands().size(), commandsAfterProbe);
    holder.kill();
    holder.waitForFinished();

    // Once the other program is gone, the line opens.
    EXPECT_EQ(line.lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService), 0);
}

TEST_F(ModemDriver, VoiceModemSetsUpTheModemAndNamesItsPorts)
{
    auto line = openLine();
    ASSERT_TRUE(line->isLineOpen());
    const LineDeviceCaps caps = line->getDeviceCaps();
    EXPECT_EQ(caps.name, "ACME VOICE 56K (" + pty->link() + ")");
    EXPECT_TRUE(caps.voice);
    EXPECT_TRUE(caps.digits);
    // Reset, then caller ID (falling back to the Rockwell command), voice mode, mu-law before
    // 8-bit linear, on hook.
    const QList<QByteArray> cmds = pty->commands();
    const qsizetype atz = cmds.lastIndexOf("ATZ");
    ASSERT_GE(atz, 0);
    const QList<QByteArray> setUp = cmds.mid(atz);
    for (const char *expected :
         { "AT+VCID=1", "AT#CID=1", "AT+FCLASS=8", "AT+VSM=130,8000", "AT+VLS=0" })
        EXPECT_TRUE(setUp.contains(expected)) << expected;
    EXPECT_LT(setUp.indexOf("AT+VCID=1"), setUp.indexOf("AT#CID=1"));
    ASSERT_TRUE(line->voiceCompression().has_value());
    EXPECT_EQ(line->voiceCompression()->format, VoiceFormat::MuLaw);

    EXPECT_EQ(line->getDeviceID(Telephony::kDeviceClassComm), 1);
    EXPECT_EQ(line->commPortPath(1), pty->link());
    EXPECT_EQ(line->commPortPath(2), QString());
    const int waveOut = line->getDeviceID(Telephony::kDeviceClassWaveOut);
    EXPECT_GE(waveOut, LineAudioRegistry::kFirstId);
    EXPECT_NE(registry.find(waveOut), nullptr);

    // The name is remembered: a second program that finds the port busy still lists it so.
    VoiceModemTelephony other(config);
    ASSERT_EQ(other.initialize(), 0);
    ASSERT_EQ(other.deviceCount(), 1);
    EXPECT_EQ(other.getDeviceCaps().name, caps.name);

    // Closing releases the tty at once.
    EXPECT_EQ(line->lineClose(), 0);
    EXPECT_FALSE(line->isLineOpen());
    SerialPort reader;
    SerialPort::Settings s;
    s.lockDirectory = config.lockDirectory;
    EXPECT_TRUE(reader.open(pty->link(), s)) << reader.errorString().toStdString();
    reader.close();
    // And a closed line refuses call operations.
    EXPECT_EQ(line->lineAnswer(), VoiceModemTelephony::kErrLineNotOpen);
    EXPECT_EQ(line->lineDrop(), VoiceModemTelephony::kErrLineNotOpen);
    EXPECT_EQ(line->lineShutdown(), 0);
    // lineShutdown keeps the device table: the takeover opens again without initialize.
    EXPECT_EQ(line->lineOpen(Telephony::kPrivilegeTakeOver, Telephony::kMediaTakeOver), 0);
}

TEST_F(ModemDriver, VoiceModemSkipsNoiseAndReportsCallerIdOnce)
{
    auto line = openLine();
    TelephonyEvents events(line.get());
    modemSays("\x01\x02\xff\xfe\r\n" + QByteArray(600, 'R') + "\r\nRI\x05NG\r\n");
    modemSays("\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log, (QStringList { "inComeCall", "ring(1)" }), 5000);
    modemSays(
        "\r\nDATE = 1211\r\n\x03\x7f\r\nTIME = 0930\r\nNMBR = 5551234\r\nNAME = JOHN SMITH\r\n"
        "MESG = 080150\r\n");
    modemSays("\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 4, 5000);
    EXPECT_EQ(events.log,
              (QStringList { "inComeCall", "ring(1)", "callerID(JOHN SMITH,5551234)", "ring(2)" }));
    // The caller gives up: the rings stop, and past the cadence the call is over.
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 5, 5000);
    EXPECT_EQ(events.log.last(), "idle");
    EXPECT_FALSE(line->isCallConnected());
    EXPECT_TRUE(line->isLineOpen());
}

TEST_F(ModemDriver, VoiceModemCallsWithoutOrWithEarlyCallerId)
{
    auto line = openLine();
    TelephonyEvents events(line.get());
    // No caller-ID service: by the second ring the caller is reported unknown, once.
    modemSays("\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 2, 5000);
    modemSays("\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 4, 5000);
    modemSays("\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 5, 5000);
    EXPECT_EQ(events.log,
              (QStringList { "inComeCall", "ring(1)", "callerID(UNKNOWN,UNKNOWN)", "ring(2)",
                             "ring(3)" }));

    // Dropped while ringing: the call is over for the service; the rest of its rings pass.
    EXPECT_EQ(line->lineDrop(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 7, 5000);
    EXPECT_EQ(events.log.mid(5), (QStringList { "disconnected", "idle" }));
    modemSays("\r\nRING\r\n");
    QTest::qWait(config.ringTimeoutMs / 2);
    modemSays("\r\nRING\r\n");
    EXPECT_EQ(line->lineDrop(), VoiceModemTelephony::kErrInvalidCallState);
    // Quiet past the cadence: the next ring is a new call; caller ID sent before its first
    // ring (as some exchanges do) belongs to it.
    events.log.clear();
    QTest::qWait(config.ringTimeoutMs + 300);
    EXPECT_TRUE(events.log.isEmpty()) << events.text().toStdString();
    modemSays("\r\nNMBR=4165551234\r\nNAME=ACME\r\n\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log.size(), 3, 5000);
    EXPECT_EQ(events.log, (QStringList { "inComeCall", "callerID(ACME,4165551234)", "ring(1)" }));
}

TEST_F(ModemDriver, VoiceModemThatHangsMidCallIsDroppedAndFoundAgain)
{
    auto line = openLine();
    TelephonyEvents events(line.get());
    modemSays("\r\nRING\r\n");
    QTRY_VERIFY_WITH_TIMEOUT(events.has("ring(1)"), 5000);
    EXPECT_EQ(line->lineAnswer(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(events.has("connected"), 5000);
    EXPECT_TRUE(line->isCallConnected());
    EXPECT_EQ(line->lineMonitorDigits(true), 0);
    modemSays("\x10"
              "4\x10"
              "2");
    QTRY_VERIFY_WITH_TIMEOUT(events.has("digit(2)"), 5000);

    // The modem freezes: ATH gets no answer.
    pty->setResponder([](const QByteArray &) { return QByteArray(); });
    events.log.clear();
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(line->lineDrop(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(events.has("deviceLost"), 5000);
    EXPECT_LT(t.elapsed(), config.commandTimeoutMs + 2000);
    EXPECT_EQ(
        events.log,
        (QStringList { QStringLiteral("lineError(%1)").arg(VoiceModemTelephony::kErrNotResponding),
                       "disconnected", "idle", "deviceLost" }));
    EXPECT_EQ(line->errorText(VoiceModemTelephony::kErrNotResponding),
              "modem not responding on " + pty->link());
    EXPECT_FALSE(line->isLineOpen());
    EXPECT_FALSE(line->isCallConnected());

    // It comes back to its senses: the line is set up again and works.
    pty->setResponder(&PtyPair::plainModem);
    QTRY_VERIFY_WITH_TIMEOUT(events.has("deviceReturned"), 10000);
    EXPECT_TRUE(line->isLineOpen());
    events.log.clear();
    modemSays("\r\nRING\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(events.log, (QStringList { "inComeCall", "ring(1)" }), 5000);
}
