#include "tools/quorvel-modemsim/ModemInterpreter.h"
#include "RecordingOutput.h"
#include "shared/common/Clock.h"
#include "shared/modem/VoiceCodec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace quorvel;
using namespace quorvel::modemsim;
using quorvel::modemsim::test::RecordingOutput;
using State = ModemInterpreter::LineState;
using Mode = ModemInterpreter::Mode;

namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kError = "\r\nERROR\r\n";

QByteArray info(const QByteArray &text)
{
    return "\r\n" + text + "\r\n";
}

QByteArray shield(const QByteArray &audio)
{
    QByteArray s = audio;
    s.replace("\x10", "\x10\x10");
    return s;
}

// 16-bit samples that hit every byte value in either position, DLE included.
QByteArray testPcm(int samples)
{
    QByteArray pcm(samples * 2, Qt::Uninitialized);
    auto *s = reinterpret_cast<int16_t *>(pcm.data());
    for (int i = 0; i < samples; ++i)
        s[i] = int16_t(i % 7 == 0 ? 0x1010 : int(8000 * std::sin(i * 0.3)) + i % 256);
    // Values whose 8-bit codings are DLE, for every 8-bit method.
    for (int i = 0; i + 4 < samples; i += 50) {
        s[i + 1] = int16_t(-28672); // unsigned 8-bit
        s[i + 2] = int16_t(0x1000); // signed 8-bit
        s[i + 3] = VoiceCodec::muLawToLinear(0x10);
        s[i + 4] = VoiceCodec::aLawToLinear(0x10);
    }
    return pcm;
}

struct Modem {
    explicit Modem(const char *profile = "usr", bool hold = true)
        : clock(QDateTime(QDate(2026, 3, 7), QTime(9, 5)))
    {
        ModemInterpreter::Options o;
        o.holdTransmitEnd = hold;
        modem = std::make_unique<ModemInterpreter>(
            *ModemProfile::byName(QString::fromLatin1(profile)), out, clock, o);
    }
    QByteArray at(const QByteArray &command)
    {
        out.take();
        modem->feed(command + '\r');
        return out.take();
    }
    // A modem in voice mode with caller ID on, echo off.
    void init()
    {
        at("ATE0");
        at("AT+FCLASS=8");
        at(modem->profile().callerIdCommand() == ModemProfile::CallerIdCommand::Vcid ? "AT+VCID=1"
                                                                                     : "AT#CID=1");
        out.take();
    }
    void answeredCall()
    {
        init();
        modem->ring();
        ASSERT_EQ(at("ATA"), info("VCON"));
    }

    ManualClock clock;
    RecordingOutput out;
    std::unique_ptr<ModemInterpreter> modem;
};

} // namespace

TEST(ModemInterpreter, AnswersAsTheProfilesModem)
{
    struct Case {
        const char *profile;
        const char *setup; // sent first, answers ignored
        const char *command;
        QByteArray reply;
    };
    const QByteArray usrList = info("128,\"8-BIT LINEAR\",8,0,(8000),(0),(0)")
        + info("129,\"16-BIT LINEAR\",16,0,(8000),(0),(0)")
        + info("130,\"8-BIT ALAW\",8,0,(8000),(0),(0)")
        + info("131,\"8-BIT ULAW\",8,0,(8000),(0),(0)") + kOk;
    const QByteArray cnxList = info("0,\"SIGNED PCM\",8,0,(8000),(0),(0)")
        + info("1,\"UNSIGNED PCM\",8,0,(8000),(0),(0)") + info("4,\"ULAW\",8,0,(8000),(0),(0)")
        + info("5,\"ALAW\",8,0,(8000),(0),(0)") + kOk;
    const Case cases[] = {
        { "usr", "", "AT", kOk },
        { "usr", "", "ATZ", kOk },
        { "usr", "", "ATI3", info("U.S. Robotics 56K FAX USB V1.2.23") + kOk },
        { "usr", "", "ATI0", info("5601") + kOk },
        { "usr", "", "ATI9", kError },
        { "usr", "", "AT+FMI?", info("U.S. Robotics") + kOk },
        { "usr", "", "AT+GMM", info("USR5637") + kOk },
        { "usr", "", "AT+FCLASS=?", info("0,1,8") + kOk },
        { "usr", "", "AT+FCLASS=2", kError },
        { "usr", "", "AT+FCLASS?", info("0") + kOk },
        { "usr", "", "AT+VCID=1", kOk },
        { "usr", "", "AT+VCID=2", kError },
        { "usr", "", "AT#CID=1", kError },
        { "usr", "", "AT+VSM=?", kError }, // voice commands need class 8
        { "usr", "AT+FCLASS=8", "AT+VSM=?", usrList },
        { "usr", "AT+FCLASS=8", "AT+VSM=129,8000", kOk },
        { "usr", "AT+FCLASS=8", "AT+VSM=129", kOk },
        { "usr", "AT+FCLASS=8", "AT+VSM=129,11025", kError },
        { "usr", "AT+FCLASS=8", "AT+VSM=4,8000", kError },
        { "usr", "AT+FCLASS=8;+VSM=131", "AT+VSM?", info("131,8000,0,0") + kOk },
        { "usr", "AT+FCLASS=8", "AT+VLS=0", kOk },
        { "usr", "AT+FCLASS=8", "AT+VIT=10;+VSD=128,50;+VGT=128", kOk },
        { "usr", "AT+FCLASS=8;+VGT=140", "AT+VGT?", info("140") + kOk },
        { "usr", "AT+FCLASS=8", "AT+VTX", kError }, // on-hook: nothing to play into
        { "usr", "", "AT+VRX", kError },
        { "usr", "", "ATS0=2", kOk },
        { "usr", "ATS0=2", "ATS0?", info("002") + kOk },
        { "usr", "", "ATS300=1", kError },
        { "usr", "", "ATX9", kError },
        { "usr", "", "AT\\N0", kError },
        { "usr", "", "AT+FOO", kError },
        { "usr", "", "AT&F&D2&C1 E0 V1 Q0 X4 L1 M1", kOk },
        { "usr", "", "ATE0V1+VCID=1;+FCLASS=8", kOk },
        { "usr", "", "ATE0+NOPE;+FCLASS=8", kError },
        { "usr", "", "AT+VSM=?X", kError },
        { "usr", "", "ATA", info("NO CARRIER") },
        { "usr", "", "ATH", kOk },
        { "usr", "", "ATO", info("NO CARRIER") },
        { "conexant", "", "ATI3", info("CX93001-EIS_V0.2002-V92") + kOk },
        { "conexant", "", "AT+GMI", info("CONEXANT") + kOk },
        { "conexant", "", "AT+FCLASS=?", info("0,1,1.0,2,8") + kOk },
        { "conexant", "", "AT+FCLASS=1.0", kOk },
        { "conexant", "", "AT+VCID=1", kError },
        { "conexant", "", "AT#CID=1", kOk },
        { "conexant", "AT#CID=1", "AT#CID?", info("1") + kOk },
        { "conexant", "AT+FCLASS=8", "AT+VSM=?", cnxList },
        { "conexant", "AT+FCLASS=8", "AT+VSM=129,8000", kError },
        { "conexant", "AT+FCLASS=8", "AT+VSM=4,8000", kOk },
        { "conexant", "", "AT\\N0%C0", kOk },
    };
    for (const Case &c : cases) {
        Modem m(c.profile);
        m.at("ATE0");
        if (*c.setup)
            m.at(c.setup);
        EXPECT_EQ(m.at(c.command), c.reply) << c.profile << " " << c.setup << " " << c.command;
    }
}

TEST(ModemInterpreter, EchoesUntilE0AndAcrossSplitReads)
{
    Modem m;
    m.modem->feed("A");
    m.modem->feed("T");
    EXPECT_EQ(m.out.take(), QByteArray("AT"));
    m.modem->feed("\r");
    EXPECT_EQ(m.out.take(), "\r" + kOk);
    EXPECT_EQ(m.at("ATE0"), "ATE0\r" + kOk);
    EXPECT_EQ(m.at("AT"), kOk);
    EXPECT_EQ(m.at("ATE1"), kOk);
    EXPECT_EQ(m.at("AT"), "AT\r" + kOk);
    // ATZ brings echo back.
    m.at("ATE0");
    m.at("ATZ");
    EXPECT_EQ(m.at("AT"), "AT\r" + kOk);
}

TEST(ModemInterpreter, ResultCodeFormsFollowVAndQ)
{
    Modem m;
    m.at("ATE0");
    EXPECT_EQ(m.at("ATV0"), QByteArray("0\r"));
    EXPECT_EQ(m.at("ATX9"), QByteArray("4\r"));
    EXPECT_EQ(m.at("ATI0"), QByteArray("5601\r\n0\r"));
    EXPECT_EQ(m.at("ATQ1"), QByteArray());
    EXPECT_EQ(m.at("AT"), QByteArray());
    EXPECT_EQ(m.at("ATQ0V1"), kOk);
}

TEST(ModemInterpreter, ToleratesGarbageLineEndsAndStrayBytes)
{
    Modem m;
    m.at("ATE0");
    // CR LF line ends, a line without AT, a backspace, a DLE pair in command mode.
    m.modem->feed("AT\r\nAT\r\n");
    EXPECT_EQ(m.out.take(), kOk + kOk);
    EXPECT_EQ(m.at("hello"), QByteArray());
    EXPECT_TRUE(m.out.eventContains(QStringLiteral("ignored line without AT: hello")));
    EXPECT_EQ(m.at("ATI9\b0"), info("5601") + kOk);
    m.modem->feed(QByteArray("\x10\x03"
                             "AT\r"));
    EXPECT_EQ(m.out.take(), kOk);
    // An overlong line is refused as a whole, and the next one works.
    EXPECT_EQ(m.at("AT" + QByteArray(300, 'E')), kError);
    EXPECT_EQ(m.at("AT"), kOk);
    EXPECT_EQ(m.out.received.last(), QStringLiteral("AT"));
}

TEST(ModemInterpreter, IncomingCallWithCallerIdInEachProfilesSpelling)
{
    struct Case {
        const char *profile;
        QByteArray cid;
    };
    const Case cases[] = {
        { "usr",
          info("DATE = 0307") + info("TIME = 0905") + info("NMBR = 5551234")
              + info("NAME = JOHN SMITH") },
        { "conexant",
          info("DATE=0307") + info("TIME=0905") + info("NMBR=5551234") + info("NAME=JOHN SMITH") },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.profile);
        Modem m(c.profile);
        m.at("ATE0");
        m.at("AT+FCLASS=8");
        // Reporting off: the modem keeps caller ID to itself.
        EXPECT_TRUE(m.modem->ring());
        EXPECT_EQ(m.out.take(), info("RING"));
        EXPECT_FALSE(m.modem->callerId("5551234", "JOHN SMITH"));
        EXPECT_EQ(m.out.take(), QByteArray());
        EXPECT_TRUE(m.out.eventContains(QStringLiteral("caller ID not sent")));

        m.init();
        EXPECT_TRUE(m.modem->callerId("5551234", "JOHN SMITH"));
        EXPECT_EQ(m.out.take(), c.cid);
        EXPECT_TRUE(m.modem->callerId("P", ""));
        EXPECT_TRUE(m.out.take().contains("NMBR"));
        EXPECT_EQ(m.modem->lineState(), State::Ringing);
        EXPECT_EQ(m.at("ATA"), info("VCON"));
        EXPECT_EQ(m.modem->lineState(), State::Connected);
        EXPECT_EQ(m.out.calls, QStringList { "start 1" });
        // A ring while connected is not passed on.
        EXPECT_FALSE(m.modem->ring());
        EXPECT_EQ(m.out.take(), QByteArray());

        EXPECT_TRUE(m.modem->sendEvent('5'));
        EXPECT_EQ(m.out.take(),
                  QByteArray("\x10"
                             "5"));
        EXPECT_TRUE(m.modem->farEndHangup());
        EXPECT_EQ(m.out.take(),
                  QByteArray("\x10"
                             "b"));
        EXPECT_EQ(m.out.calls, (QStringList { "start 1", "end 1 far end hangup" }));
        EXPECT_EQ(m.modem->lineState(), State::OffHook);
        EXPECT_EQ(m.at("ATH"), kOk);
        EXPECT_EQ(m.modem->lineState(), State::OnHook);
        EXPECT_EQ(m.out.calls.size(), 2);
    }
}

TEST(ModemInterpreter, AnsweringPaths)
{
    {
        Modem m;
        m.init();
        m.modem->ring();
        m.out.take();
        EXPECT_EQ(m.at("AT+VLS=1"), info("VCON"));
        EXPECT_EQ(m.modem->lineState(), State::Connected);
    }
    {
        // Answered as a data modem: the caller is dropped.
        Modem m;
        m.at("ATE0");
        m.modem->ring();
        EXPECT_EQ(m.at("ATA"), info("NO CARRIER"));
        EXPECT_EQ(m.modem->lineState(), State::OnHook);
        EXPECT_TRUE(m.out.calls.isEmpty());
    }
    {
        // ATH while it rings does not stop the caller; the caller giving up does, silently.
        Modem m;
        m.init();
        m.modem->ring();
        m.out.take();
        EXPECT_EQ(m.at("ATH"), kOk);
        EXPECT_EQ(m.modem->lineState(), State::Ringing);
        EXPECT_TRUE(m.modem->farEndHangup());
        EXPECT_EQ(m.out.take(), QByteArray());
        EXPECT_EQ(m.at("ATA"), info("NO CARRIER"));
    }
}

TEST(ModemInterpreter, OutgoingCall)
{
    Modem m;
    m.init();
    EXPECT_FALSE(m.modem->farEndAnswer());
    EXPECT_EQ(m.at("ATD5551234;"), kOk);
    EXPECT_EQ(m.modem->lineState(), State::Dialing);
    EXPECT_TRUE(m.out.eventContains(QStringLiteral("call 1 start outgoing 5551234")));
    EXPECT_EQ(m.at("ATD5551234;"), kError);
    EXPECT_TRUE(m.modem->farEndAnswer());
    EXPECT_EQ(m.out.take(), info("VCON"));
    EXPECT_TRUE(m.modem->farEndHangup());
    EXPECT_EQ(m.out.take(),
              QByteArray("\x10"
                         "b"));

    Modem data;
    data.at("ATE0");
    EXPECT_EQ(data.at("ATD5551234"), info("NO CARRIER"));
    EXPECT_EQ(data.modem->lineState(), State::OnHook);
}

TEST(ModemInterpreter, TransmittedAudioIsDecodedInEveryOfferedFormat)
{
    const QByteArray pcm = testPcm(400);
    for (const char *profileName : { "usr", "conexant" }) {
        const ModemProfile profile = *ModemProfile::byName(QString::fromLatin1(profileName));
        for (const VoiceMethod &method : profile.voiceMethods()) {
            SCOPED_TRACE(std::string(profileName) + " " + method.name.toStdString());
            QByteArray wire;
            QByteArray expected;
            switch (method.coding) {
            case SampleCoding::Linear16:
                wire = VoiceCodec::encode(pcm, VoiceFormat::Linear16);
                expected = pcm;
                break;
            case SampleCoding::Unsigned8:
            case SampleCoding::Signed8:
                wire = VoiceCodec::encode(pcm, VoiceFormat::Linear8);
                expected = VoiceCodec::decode(wire, VoiceFormat::Linear8);
                if (method.coding == SampleCoding::Signed8)
                    for (char &b : wire)
                        b = char(uint8_t(b) ^ 0x80);
                break;
            case SampleCoding::MuLaw:
                wire = VoiceCodec::encode(pcm, VoiceFormat::MuLaw);
                expected = VoiceCodec::decode(wire, VoiceFormat::MuLaw);
                break;
            case SampleCoding::ALaw:
                wire = VoiceCodec::encode(pcm, VoiceFormat::ALaw);
                expected = VoiceCodec::decode(wire, VoiceFormat::ALaw);
                break;
            }
            ASSERT_TRUE(wire.contains('\x10'));
            Modem m(profileName, false);
            m.answeredCall();
            EXPECT_EQ(m.at("AT+VSM=" + QByteArray::number(method.id) + ",8000"), kOk);
            EXPECT_EQ(m.at("AT+VTX"), info("CONNECT"));
            EXPECT_EQ(m.modem->mode(), Mode::Transmit);
            m.modem->feed(shield(wire) + "\x10\x03");
            EXPECT_EQ(m.out.take(), kOk);
            EXPECT_EQ(m.modem->mode(), Mode::Command);
            EXPECT_EQ(m.out.audio, expected);
            EXPECT_EQ(m.out.progressBytes, wire.size());
            EXPECT_EQ(m.out.transmit,
                      (QStringList { QStringLiteral("start %1").arg(8000 * method.bytesPerSample()),
                                     "end" }));
        }
    }
}

TEST(ModemInterpreter, HeldOkWaitsForTheLineAndKeepsWhatFollowed)
{
    Modem m("usr", true);
    m.answeredCall();
    m.at("AT+VSM=129");
    m.out.take();
    // The host does not wait for CONNECT: audio follows in the same write.
    const QByteArray wire = VoiceCodec::encode(testPcm(100), VoiceFormat::Linear16);
    m.modem->feed("AT+VTX\r" + shield(wire) + "\x10\x03" + "ATH\r");
    EXPECT_EQ(m.out.take(), info("CONNECT"));
    EXPECT_EQ(m.modem->mode(), Mode::Draining);
    EXPECT_EQ(m.out.transmit.last(), QStringLiteral("end drain"));
    EXPECT_EQ(m.modem->lineState(), State::Connected);
    // More from the host while the line plays waits too.
    m.modem->feed("AT\r");
    EXPECT_EQ(m.out.take(), QByteArray());
    m.modem->finishTransmit();
    EXPECT_EQ(m.out.take(), kOk + kOk + kOk);
    EXPECT_EQ(m.modem->lineState(), State::OnHook);
    EXPECT_EQ(m.out.audio, testPcm(100));
    EXPECT_EQ(m.out.calls, (QStringList { "start 1", "end 1 host hangup" }));
}

TEST(ModemInterpreter, FarEndHangupDuringPlaybackKeepsTheAudioSoFar)
{
    Modem m("usr", false);
    m.answeredCall();
    m.at("AT+VSM=129");
    m.at("AT+VTX");
    const QByteArray wire = VoiceCodec::encode(testPcm(100), VoiceFormat::Linear16);
    m.modem->feed(shield(wire.left(101)));
    EXPECT_TRUE(m.modem->farEndHangup());
    EXPECT_EQ(m.out.take(),
              QByteArray("\x10"
                         "b"));
    // 50 whole samples belong to the call; the host still plays to the dead line until DLE ETX.
    EXPECT_EQ(m.out.audio, testPcm(100).left(100));
    EXPECT_EQ(m.modem->mode(), Mode::Transmit);
    m.modem->feed(shield(wire.mid(101)) + "\x10\x03");
    EXPECT_EQ(m.out.take(), kOk);
    EXPECT_EQ(m.out.audio.size(), 100);
    EXPECT_TRUE(m.out.eventContains(QStringLiteral("played to an empty line")));
}

TEST(ModemInterpreter, HostClosingThePortHangsUp)
{
    Modem m("usr", true);
    m.answeredCall();
    m.at("AT+VSM=131");
    m.at("AT+VTX");
    m.modem->feed("abcd");
    m.modem->hostClosed();
    EXPECT_EQ(m.modem->mode(), Mode::Command);
    EXPECT_EQ(m.modem->lineState(), State::OnHook);
    EXPECT_EQ(m.out.calls, (QStringList { "start 1", "end 1 host closed port" }));
    EXPECT_EQ(m.out.audio, VoiceCodec::decode("abcd", VoiceFormat::MuLaw));
    EXPECT_EQ(m.out.transmit.last(), QStringLiteral("end"));

    // Ringing goes on while nobody holds the port; the RING is lost, not queued.
    m.out.hostOpen = false;
    EXPECT_TRUE(m.modem->ring());
    EXPECT_EQ(m.out.sent.last(), QStringLiteral("RING (dropped)"));
    m.out.hostOpen = true;
    m.modem->hostOpened();
    // Settings outlive the host's close, as in a modem.
    EXPECT_EQ(m.at("ATA"), info("VCON"));
}

TEST(ModemInterpreter, ResetHangsUpAndForgetsSettings)
{
    Modem m;
    m.answeredCall();
    EXPECT_TRUE(m.modem->callerIdEnabled());
    EXPECT_EQ(m.at("ATZ"), kOk);
    EXPECT_EQ(m.modem->lineState(), State::OnHook);
    EXPECT_FALSE(m.modem->callerIdEnabled());
    EXPECT_TRUE(m.modem->echo());
    EXPECT_EQ(m.modem->voiceClass(), QStringLiteral("0"));
    EXPECT_EQ(m.out.calls.last(), QStringLiteral("end 1 reset"));
}

TEST(ModemInterpreter, ClearAndControlCodesDuringPlayback)
{
    Modem m("usr", false);
    m.answeredCall();
    m.at("AT+VTX");
    m.modem->feed(QByteArray("ab\x10\x18"
                             "cd\x10u\x10\x14"
                             "AT\r"));
    EXPECT_EQ(m.out.take(), kOk + kOk);
    EXPECT_EQ(m.out.transmit, (QStringList { "start 8000", "clear", "end" }));
    EXPECT_TRUE(m.out.eventContains(QStringLiteral("vtx control DLE u")));
    EXPECT_EQ(m.out.progressBytes, 4);
}

TEST(ModemInterpreter, LogsEachCommandLineAndReportsItForExpect)
{
    Modem m;
    m.at("ate0");
    m.at("AT+FCLASS=8;+VLS=1");
    ASSERT_EQ(m.out.lines.size(), 2);
    EXPECT_EQ(m.out.received, (QStringList { "ate0", "AT+FCLASS=8;+VLS=1" }));
    EXPECT_TRUE(m.out.lines.at(1).matchForms().contains(QStringLiteral("AT+VLS=1")));
    EXPECT_EQ(m.modem->lineState(), State::OffHook);
    EXPECT_EQ(m.out.sent, (QStringList { "OK", "OK" }));
}
