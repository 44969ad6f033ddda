#include "SimModem.h"
#include "TelephonyEvents.h"
#include "controls/audio/LineAudio.h"
#include "controls/modem/VoiceModemTelephony.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::SimModem;
using quorvel::test::TelephonyEvents;

namespace {

// 16-bit samples of a WAV file (the simulator's capture: PCM mono 8 kHz).
QList<qint16> wavSamples(const QByteArray &wav, int *rate = nullptr)
{
    QList<qint16> out;
    if (wav.size() < 12 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return out;
    qsizetype pos = 12;
    while (pos + 8 <= wav.size()) {
        const QByteArray id = wav.mid(pos, 4);
        const quint32 size = qFromLittleEndian<quint32>(wav.constData() + pos + 4);
        const qsizetype body = pos + 8;
        if (id == "fmt " && rate)
            *rate = static_cast<int>(qFromLittleEndian<quint32>(wav.constData() + body + 4));
        if (id == "data") {
            const qsizetype n = qMin<qsizetype>(size, wav.size() - body) / 2;
            for (qsizetype i = 0; i < n; ++i)
                out.append(qFromLittleEndian<qint16>(wav.constData() + body + 2 * i));
            return out;
        }
        pos = body + size + (size & 1);
    }
    return out;
}

// The strongest frequency, in 50 Hz steps up to 3950 Hz.
int strongestFrequency(const QList<qint16> &samples, int rate)
{
    int best = 0;
    double bestPower = -1;
    for (int f = 50; f < rate / 2; f += 50) {
        double re = 0;
        double im = 0;
        for (qsizetype i = 0; i < samples.size(); ++i) {
            const double phase = 2 * M_PI * f * static_cast<double>(i) / rate;
            re += samples[i] * std::cos(phase);
            im += samples[i] * std::sin(phase);
        }
        const double power = re * re + im * im;
        if (power > bestPower) {
            bestPower = power;
            best = f;
        }
    }
    return best;
}

// One second of a 1 kHz tone, 8 kHz 16-bit, with a few samples whose bytes are DLE (0x10).
QByteArray toneWithDleBytes(QList<qint16> *samples)
{
    QByteArray pcm;
    for (int i = 0; i < 8000; ++i) {
        qint16 s = static_cast<qint16>(std::lround(12000 * std::sin(2 * M_PI * 1000 * i / 8000.0)));
        if (i == 100)
            s = 0x1010; // both bytes DLE
        if (i == 4001)
            s = 0x0010; // DLE then 0
        if (i == 4002)
            s = 0x1003; // ETX then DLE: would read as DLE ETX if not escaped
        samples->append(s);
        pcm.append(reinterpret_cast<const char *>(&s), 2);
    }
    return pcm;
}

struct ModemSim : ::testing::Test {
    QTemporaryDir dir;
    LineAudioRegistry registry;
    VoiceModemConfig config;
    QString link;
    std::unique_ptr<SimModem> sim;
    std::unique_ptr<VoiceModemTelephony> line;
    std::unique_ptr<TelephonyEvents> events;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        ASSERT_TRUE(QFileInfo::exists(test::binPath("quorvel-modemsim")))
            << "build the quorvel-modemsim target";
        QDir().mkpath(dir.filePath("lock"));
        QDir().mkpath(dir.filePath("capture"));
        link = dir.filePath("ttyACM-sim");
        config.ports = { link };
        config.lockDirectory = dir.filePath("lock");
        config.identityCacheFile = dir.filePath("ModemIdentities.txt");
        config.commandTimeoutMs = 2000;
        config.ringTimeoutMs = 1500;
        config.callerIdSettleMs = 200;
        config.devicePollMs = 200;
        config.audioRegistry = &registry;
    }
    void TearDown() override
    {
        events.reset();
        line.reset();
        sim.reset();
    }

    SimModem::Options simOptions(const QString &profile = "usr")
    {
        SimModem::Options o;
        o.profile = profile;
        o.ringPeriod = 0.4;
        o.captureDir = dir.filePath("capture");
        o.logFile = dir.filePath("sim.log");
        return o;
    }
    void startSim(const QString &profile = "usr")
    {
        sim = std::make_unique<SimModem>(link, simOptions(profile));
        ASSERT_TRUE(sim->start());
    }
    void openLine()
    {
        line = std::make_unique<VoiceModemTelephony>(config);
        events = std::make_unique<TelephonyEvents>(line.get());
        ASSERT_EQ(line->initialize(), 0);
        ASSERT_EQ(line->deviceCount(), 1);
        const int r = line->lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService);
        ASSERT_EQ(r, 0) << line->errorText(r).toStdString();
    }
    void connectIncomingCall()
    {
        sim->command("ring");
        QTRY_VERIFY_WITH_TIMEOUT(events->has("ring(1)"), 5000);
        ASSERT_EQ(line->lineAnswer(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(events->has("connected"), 5000);
        ASSERT_TRUE(line->isCallConnected());
    }
    LineAudioSink *sink() const
    {
        return registry.find(line->getDeviceID(Telephony::kDeviceClassWaveOut));
    }
    // Lines the simulator sent, as logged.
    QStringList simSent() const
    {
        QStringList out;
        for (const QByteArray &l : sim->log().split('\n'))
            if (l.contains("\"dir\":\"tx\""))
                out << QString::fromUtf8(l);
        return out;
    }

    void callerIdInProfile(const QString &profile, const QString &modemName,
                           const QString &spelledNumber)
    {
        startSim(profile);
        openLine();
        EXPECT_EQ(line->getDeviceCaps().name, modemName + " (" + link + ")");
        EXPECT_TRUE(line->getDeviceCaps().voice);

        sim->command("ring");
        sim->command("cid 5551234 JOHN SMITH");
        sim->command("ring");
        QTRY_COMPARE_WITH_TIMEOUT(events->log.size(), 4, 5000);
        EXPECT_EQ(
            events->log,
            (QStringList { "inComeCall", "ring(1)", "callerID(JOHN SMITH,5551234)", "ring(2)" }));
        EXPECT_TRUE(simSent().join('\n').contains(spelledNumber))
            << simSent().join('\n').toStdString();
        // The caller gives up; then a withheld number, and a caller with accents.
        QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
        events->log.clear();
        sim->command("ring");
        sim->command("send NMBR" + QString(profile == "usr" ? " = " : "=") + "P");
        sim->command("ring");
        QTRY_COMPARE_WITH_TIMEOUT(events->log.size(), 4, 5000);
        EXPECT_EQ(events->log[2], "callerID(PRIVATE,UNKNOWN)");
        QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
        events->log.clear();
        sim->command("ring");
        sim->command(QString::fromUtf8("cid 0612345678 JOS\xC3\x89 M\xC3\x9CLLER"));
        QTRY_COMPARE_WITH_TIMEOUT(events->log.size(), 3, 5000);
        EXPECT_EQ(events->log[2],
                  QString::fromUtf8("callerID(JOS\xC3\x89 M\xC3\x9CLLER,0612345678)"));
    }
};

} // namespace

TEST_F(ModemSim, SimCallerIdUsrSpelling)
{
    callerIdInProfile("usr", "U.S. Robotics USR5637", "NMBR = 5551234");
    // Caller ID switched on the V.253 way; 16-bit linear chosen.
    EXPECT_TRUE(sim->log().contains("AT+VCID=1"));
    ASSERT_TRUE(line->voiceCompression());
    EXPECT_EQ(line->voiceCompression()->format, VoiceFormat::Linear16);
}

TEST_F(ModemSim, SimCallerIdConexantSpelling)
{
    callerIdInProfile("conexant", "CONEXANT V.92 USB MODEM", "NMBR=5551234");
    // AT+VCID=1 refused, AT#CID=1 taken; mu-law chosen (no 16-bit linear on offer).
    EXPECT_TRUE(sim->log().contains("AT#CID=1"));
    ASSERT_TRUE(line->voiceCompression());
    EXPECT_EQ(line->voiceCompression()->format, VoiceFormat::MuLaw);
}

TEST_F(ModemSim, SimRingCountingUntilTheCallerGivesUp)
{
    startSim();
    openLine();
    sim->command("ringing 4");
    QTRY_VERIFY_WITH_TIMEOUT(events->has("ring(4)"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
    EXPECT_EQ(events->log,
              (QStringList { "inComeCall", "ring(1)", "callerID(UNKNOWN,UNKNOWN)", "ring(2)",
                             "ring(3)", "ring(4)", "idle" }));
    EXPECT_EQ(events->count("inComeCall"), 1);
}

TEST_F(ModemSim, SimGreetingPlayedIntoTheLineIsCaptured)
{
    startSim();
    openLine();
    connectIncomingCall();
    LineAudioSink *out = sink();
    ASSERT_NE(out, nullptr);
    QSignalSpy finished(out, &LineAudioSink::playbackFinished);

    QList<qint16> sent;
    const QByteArray pcm = toneWithDleBytes(&sent);
    ASSERT_TRUE(out->lineStartPlayback());
    // The wave layer hands audio over in chunks; the sink paces it out itself.
    for (qsizetype i = 0; i < pcm.size(); i += 1600)
        ASSERT_TRUE(out->lineWriteSamples(pcm.mid(i, 1600)));
    out->lineEndPlayback();
    EXPECT_TRUE(out->lineIsPlaying());
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 10000);
    EXPECT_FALSE(out->lineIsPlaying());
    EXPECT_EQ(out->linePlayedMs(), 1000);
    EXPECT_TRUE(line->isCallConnected());

    EXPECT_EQ(line->lineDrop(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
    EXPECT_EQ(events->only({ "disconnected", "idle" }), (QStringList { "disconnected", "idle" }));

    // The capture holds exactly what was played: same length, a 1 kHz tone, DLE bytes intact.
    QStringList wavs = QDir(dir.filePath("capture")).entryList({ "*.wav" }, QDir::Files);
    QTRY_VERIFY_WITH_TIMEOUT(
        !(wavs = QDir(dir.filePath("capture")).entryList({ "*.wav" }, QDir::Files)).isEmpty(),
        5000);
    int rate = 0;
    QList<qint16> captured;
    QTRY_VERIFY_WITH_TIMEOUT(
        (captured = wavSamples(test::readFile(dir.filePath("capture/") + wavs.first()), &rate))
                .size()
            == sent.size(),
        5000);
    EXPECT_EQ(rate, 8000);
    EXPECT_EQ(strongestFrequency(captured, rate), 1000);
    EXPECT_EQ(captured[100], 0x1010);
    EXPECT_EQ(captured[4001], 0x0010);
    EXPECT_EQ(captured[4002], 0x1003);
    EXPECT_EQ(captured, sent);
    // The modem was kept fed: the simulated line never ran dry.
    EXPECT_FALSE(sim->log().contains("underruns")) << sim->log().toStdString();
}

TEST_F(ModemSim, SimPlaybackStoppedAndCutByTheFarEnd)
{
    startSim("conexant");
    openLine();
    connectIncomingCall();
    LineAudioSink *out = sink();
    ASSERT_NE(out, nullptr);
    QSignalSpy finished(out, &LineAudioSink::playbackFinished);
    QList<qint16> sent;
    const QByteArray tone = toneWithDleBytes(&sent);

    // Stopped by hand: finished at once, the queue dropped, the line still up and usable.
    ASSERT_TRUE(out->lineStartPlayback());
    out->lineWriteSamples(tone + tone + tone);
    QTRY_VERIFY_WITH_TIMEOUT(out->linePlayedMs() > 200, 5000);
    out->lineStopPlayback();
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(out->lineIsPlaying());
    EXPECT_LT(out->linePlayedMs(), 2000);
    EXPECT_TRUE(line->isCallConnected());

    // A second greeting; the caller hangs up in the middle of it.
    ASSERT_TRUE(out->lineStartPlayback());
    out->lineWriteSamples(tone + tone + tone);
    out->lineEndPlayback();
    QTRY_VERIFY_WITH_TIMEOUT(out->linePlayedMs() > 200, 5000);
    sim->command("hangup");
    QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
    EXPECT_EQ(finished.count(), 2);
    EXPECT_EQ(events->only({ "disconnected", "idle" }), (QStringList { "disconnected", "idle" }));
    EXPECT_FALSE(line->isCallConnected());
    EXPECT_TRUE(sim->waitForHostCommand("ATH"));
    EXPECT_FALSE(out->lineStartPlayback()); // no call, no audio
}

TEST_F(ModemSim, SimFarEndHangupAndDtmfDigits)
{
    startSim();
    openLine();
    connectIncomingCall();
    // Digits are reported only while asked for.
    sim->command("dtmf 9");
    QTRY_VERIFY_WITH_TIMEOUT(sim->log().contains("\"DLE 9\""), 5000);
    QTest::qWait(200); // let the digit arrive while nobody listens for it
    EXPECT_EQ(line->lineMonitorDigits(true), 0);
    sim->command("dtmf 12#*");
    QTRY_COMPARE_WITH_TIMEOUT(events->only({ "digit" }).size(), 4, 5000);
    EXPECT_EQ(events->only({ "digit" }),
              (QStringList { "digit(1)", "digit(2)", "digit(#)", "digit(*)" }));

    sim->command("hangup");
    QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
    EXPECT_EQ(events->only({ "disconnected", "idle" }), (QStringList { "disconnected", "idle" }));
    EXPECT_TRUE(sim->waitForHostCommand("ATH"));
    // The service's own drop after the far end hung up changes nothing.
    EXPECT_EQ(line->lineDrop(), VoiceModemTelephony::kErrInvalidCallState);
    QTest::qWait(300);
    EXPECT_EQ(events->count("idle"), 1);
    EXPECT_EQ(events->count("disconnected"), 1);
}

TEST_F(ModemSim, SimDiallingAnOutgoingCall)
{
    startSim();
    openLine();
    line->lineMakeCall("555-1234");
    QTRY_VERIFY_WITH_TIMEOUT(events->has("dialing"), 5000);
    ASSERT_TRUE(sim->waitForHostCommand("ATD5551234"));
    EXPECT_FALSE(line->isCallConnected());
    sim->command("answer");
    QTRY_VERIFY_WITH_TIMEOUT(events->has("connected"), 5000);
    EXPECT_TRUE(line->isCallConnected());
    EXPECT_EQ(line->lineDrop(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(events->has("idle"), 5000);
    EXPECT_EQ(events->log, (QStringList { "dialing", "connected", "disconnected", "idle" }));

    // A number that cannot be dialled never reaches the modem.
    events->log.clear();
    line->lineMakeCall("call me");
    QTRY_VERIFY_WITH_TIMEOUT(!events->log.isEmpty(), 5000);
    EXPECT_EQ(events->log,
              (QStringList {
                  QStringLiteral("lineError(%1)").arg(VoiceModemTelephony::kErrInvalidNumber) }));
}

TEST_F(ModemSim, SimModemUnpluggedMidCallAndPluggedBackIn)
{
    startSim();
    openLine();
    connectIncomingCall();
    LineAudioSink *out = sink();
    QSignalSpy finished(out, &LineAudioSink::playbackFinished);
    QList<qint16> sent;
    ASSERT_TRUE(out->lineStartPlayback());
    out->lineWriteSamples(toneWithDleBytes(&sent));
    QTRY_VERIFY_WITH_TIMEOUT(out->linePlayedMs() > 100, 5000);

    events->log.clear();
    sim->kill();
    QTRY_VERIFY_WITH_TIMEOUT(events->has("deviceLost"), 5000);
    EXPECT_EQ(events->log, (QStringList { "disconnected", "idle", "deviceLost" }));
    EXPECT_EQ(finished.count(), 1);
    EXPECT_FALSE(line->isLineOpen());
    EXPECT_FALSE(line->isCallConnected());
    EXPECT_EQ(line->lineAnswer(), VoiceModemTelephony::kErrLineNotOpen);

    // Plugged back in (a new pty behind the same path): the line is set up again and works.
    startSim();
    QTRY_VERIFY_WITH_TIMEOUT(events->has("deviceReturned"), 10000);
    EXPECT_TRUE(line->isLineOpen());
    events->log.clear();
    sim->command("ring");
    sim->command("cid 5551234 JOHN SMITH");
    QTRY_COMPARE_WITH_TIMEOUT(events->log.size(), 3, 5000);
    EXPECT_EQ(events->log,
              (QStringList { "inComeCall", "ring(1)", "callerID(JOHN SMITH,5551234)" }));
}

TEST_F(ModemSim, SimLineCloseHandsThePortOver)
{
    startSim();
    openLine();
    EXPECT_EQ(line->lineClose(), 0);
    // The serial caller-ID reader opens the same port right away and hears the modem.
    SerialPort reader;
    SerialPort::Settings s;
    s.lockDirectory = config.lockDirectory;
    ASSERT_TRUE(reader.open(line->commPortPath(line->getDeviceID(Telephony::kDeviceClassComm)), s))
        << reader.errorString().toStdString();
    QByteArray heard;
    QObject::connect(&reader, &SerialPort::readyRead, [&] { heard += reader.readAll(); });
    sim->command("ring");
    QTRY_VERIFY_WITH_TIMEOUT(heard.contains("RING"), 5000);
    // While the reader holds it, the line cannot take the port.
    EXPECT_EQ(line->lineOpen(Telephony::kPrivilegeTakeOver, Telephony::kMediaTakeOver),
              VoiceModemTelephony::kErrPortAlreadyOpen);
    reader.close();
    // The takeover: the ringing call continues on the line.
    EXPECT_EQ(line->lineOpen(Telephony::kPrivilegeTakeOver, Telephony::kMediaTakeOver), 0);
    sim->command("ring");
    QTRY_VERIFY_WITH_TIMEOUT(events->has("ring(1)"), 5000);
    EXPECT_EQ(line->lineAnswer(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(events->has("connected"), 5000);
}
