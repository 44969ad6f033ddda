// The line service end to end: quorline against the simulated modem, with quorvel-chan in the
// desktop's place. Each scenario checks the channel messages in order, the records in the day
// folder, the journal lines that matter and the audio the modem was sent.
#include "tests/e2e/LineRig.h"

#include <QTest>
#include <QtEndian>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// The messages of one channel from position `from` on.
QStringList since(LineRig &rig, int channel, int from)
{
    return rig.texts(channel).mid(from);
}

// A ring the modem sent while the service's answer was on its way (a loaded machine) is no
// fault of the service: rings after `lastRing` are left out. The journal shows at which ring
// the answer was given.
QStringList withoutLateRings(QStringList messages, int lastRing)
{
    messages.removeIf([lastRing](const QString &m) {
        return m.startsWith("Tapi_Ring|") && m.section('|', 2, 2).toInt() > lastRing;
    });
    return messages;
}

bool answeredAtRing(const QString &journal, int ring)
{
    const QString ringLine = QStringLiteral(" : ->Tapi_Ring(0):%1(0)\r\n").arg(ring);
    const int at = int(journal.indexOf(ringLine));
    if (at < 0)
        return false;
    const QString next = journal.mid(at + ringLine.size()).section(QStringLiteral("\r\n"), 0, 0);
    return next.contains(QStringLiteral(" : ->Tapi.LineAnswer(0)->"));
}

int peak(const QByteArray &pcm)
{
    int p = 0;
    for (int i = 0; i + 1 < pcm.size(); i += 2)
        p = std::max(p, std::abs(int(qFromLittleEndian<qint16>(pcm.constData() + i))));
    return p;
}

int samples(const QByteArray &pcm)
{
    return int(pcm.size() / 2);
}

class E2eLine : public ::testing::Test {
protected:
    LineRig rig;
};

TEST_F(E2eLine, UnknownCallerIsAnsweredAtTheThresholdAndHearsTheGreeting)
{
    rig.answeringDefaults(2, "Short");
    rig.writeGreeting("Short", 600, 700);
    ASSERT_TRUE(rig.start());
    const int from407 = int(rig.texts(407).size());

    rig.script({ "ring", "cid 5551234", "ringing 6" });
    ASSERT_TRUE(rig.waitCalls(1));

    EXPECT_EQ(withoutLateRings(since(rig, 407, from407), 2),
              (QStringList { "Tapi_Incomming|0|False", "Tapi_Ring|0|1|False", "Tapi_Ring|0|2|False",
                             "Tapi_Connected|0", "PlayGreet|0", "Tapi_Idle|0|0" }));
    EXPECT_TRUE(answeredAtRing(rig.journal(), 2));
    ASSERT_EQ(rig.texts(409).size(), 1);
    EXPECT_TRUE(rig.texts(409)[0].startsWith("Tapi_CID|0|"));
    EXPECT_TRUE(rig.texts(409)[0].contains("|5551234|"));
    EXPECT_EQ(rig.texts(410), QStringList { "Tapi_Idle|0|0" });

    const CallRecord r = rig.records().first();
    EXPECT_EQ(r.callerNumber(), "5551234");
    EXPECT_EQ(r.result(), "Unknown Caller");
    EXPECT_EQ(r.duration(), "0:00:00");
    EXPECT_EQ(r.bytes().size(), 467);

    const QStringList modem = rig.modemCommands();
    EXPECT_EQ(modem.count("ATA"), 1);
    EXPECT_TRUE(modem.contains("AT+VTX"));
    EXPECT_GE(modem.filter(QRegularExpression("^ATH0?$")).size(), 1);

    QTRY_VERIFY_WITH_TIMEOUT(!rig.capture(1).isEmpty(), 10000);
    const QByteArray heard = rig.capture(1);
    EXPECT_NEAR(samples(heard), 4800, 800) << "the 0.6 s greeting, whole";
    EXPECT_GT(peak(heard), 3000);

    const QString journal = rig.journal();
    EXPECT_TRUE(journal.contains("Tapi_InComeCall(0)->"));
    EXPECT_TRUE(journal.contains("->Tapi.LineAnswer(0)->"));
    EXPECT_EQ(journal.count("PlayToLine:Wave1.StartPlayACM->"), 1);
    EXPECT_TRUE(journal.contains("Tapi.LineDrop(0)->"));
    EXPECT_TRUE(journal.contains("Tapi_Idle(0)->"));
}

TEST_F(E2eLine, BlockedContactIsDroppedAtOnceAndADoNothingContactRingsOn)
{
    rig.addContact("Pest", "800", "2");
    rig.addContact("Mum", "5550001", "3");
    ASSERT_TRUE(rig.start());
    const int from407 = int(rig.texts(407).size());

    rig.script({ "ring", "cid 18005550000 ACME SALES", "ringing 6" });
    ASSERT_TRUE(rig.waitCalls(1));
    EXPECT_TRUE(rig.texts(409).isEmpty()) << "no caller ID message for a blocked caller";
    // A ring may cross the answer on its way; apart from rings the call is exactly this.
    QStringList call = since(rig, 407, from407);
    call.removeIf([](const QString &m) { return m.startsWith("Tapi_Ring|"); });
    EXPECT_EQ(call,
              (QStringList { "Tapi_Incomming|0|False", "Tapi_Connected|0", "Tapi_Idle|0|0" }));
    EXPECT_EQ(rig.records()[0].result(), "Pest (Hang Up)");
    EXPECT_EQ(rig.records()[0].callerName(), "ACME SALES");
    EXPECT_EQ(rig.modemCommands().count("ATA"), 1);
    EXPECT_TRUE(rig.modemCommands().filter("AT+VTX").isEmpty())
        << "no greeting for a blocked caller";

    rig.script({ "wait 0.5", "ring", "cid 5550001 MUM", "ringing 8", "hangup" });
    ASSERT_TRUE(rig.waitCalls(2, 20000));
    EXPECT_EQ(rig.records()[1].result(), "Mum (Nothing)");
    EXPECT_EQ(rig.modemCommands().count("ATA"), 1) << "the do-nothing call is never answered";
    ASSERT_EQ(rig.texts(409).size(), 1);
    EXPECT_EQ(rig.texts(409)[0], "Tapi_CID|0|MUM|5550001|Mum||False|0|False");
    EXPECT_GE(since(rig, 407, from407).count("Tapi_Ring|0|8|False"), 1);
}

TEST_F(E2eLine, SpecificAnswerPlaysGreetingAndBeepAndHoldsUntilTheCallerHangsUp)
{
    using F = ContactRecord::Field;
    rig.addContact("Friend", "5550002", "4",
                   { { F::PickUp, "1" },
                     { F::Greeting, "Private" },
                     { F::Rings, "1" },
                     { F::BeepFlag, "1" } });
    rig.writeGreeting("Private", 500, 600);
    ASSERT_TRUE(rig.start());
    const int from407 = int(rig.texts(407).size());

    rig.script({ "ring", "cid 5550002 FRIEND", "ringing 4" });
    ASSERT_TRUE(rig.waitFor(407, "PlayGreet|0"));
    // Greeting and beep take about 0.9 s; the line must still be up a while after that.
    rig.script({ "wait 2.5" });
    QTest::qWait(2500);
    EXPECT_TRUE(rig.records().isEmpty()) << "the line is held, not dropped, after the beep";
    EXPECT_TRUE(rig.modemCommands().filter(QRegularExpression("^ATH")).isEmpty());
    rig.script({ "hangup" });
    ASSERT_TRUE(rig.waitCalls(1));

    EXPECT_EQ(withoutLateRings(since(rig, 407, from407), 2),
              (QStringList { "Tapi_Incomming|0|False", "Tapi_Ring|0|1|False", "Tapi_Ring|0|2|False",
                             "Tapi_Connected|0", "PlayGreet|0", "Tapi_Idle|0|0" }));
    EXPECT_TRUE(answeredAtRing(rig.journal(), 2));
    EXPECT_EQ(rig.records()[0].result(), "Friend (Private)");
    EXPECT_TRUE(rig.journal().contains("StopRecMessage:Wave1.StopRecord->"));

    QTRY_VERIFY_WITH_TIMEOUT(!rig.capture(1).isEmpty(), 10000);
    // The greeting (4000 samples) then the shipped beep (3200).
    EXPECT_NEAR(samples(rig.capture(1)), 7200, 1200);
}

TEST_F(E2eLine, MissingGreetingDropsTheCallAndAHangUpDuringTheGreetingEndsIt)
{
    rig.answeringDefaults(1, "Nowhere");
    ASSERT_TRUE(rig.start());

    rig.script({ "ring", "cid 5550003", "ringing 4" });
    ASSERT_TRUE(rig.waitCalls(1));
    EXPECT_EQ(rig.journal().count("PlayToLine:Wave1.StartPlayACM->"), 2);
    EXPECT_FALSE(rig.texts(407).contains("PlayGreet|0"));
    EXPECT_TRUE(rig.modemCommands().filter("AT+VTX").isEmpty());

    // The next call has a three-second greeting; the caller hangs up one second in.
    rig.writeGreeting("Long", 3000, 500);
    rig.setting("Answer\\TabAnsweringMachine", "CmbGreetsMessages", "Long");
    rig.script({ "wait 0.5", "ring", "cid 5550004", "ringing 4" });
    ASSERT_TRUE(rig.waitFor(407, "PlayGreet|0"));
    rig.script({ "wait 1", "hangup" });
    ASSERT_TRUE(rig.waitCalls(2));
    EXPECT_EQ(rig.records()[1].callerNumber(), "5550004");
    EXPECT_TRUE(rig.journal().contains("Tapi_Disconnected(0)->"));
    QTRY_VERIFY_WITH_TIMEOUT(rig.capture(2).size() > 0, 10000);
    EXPECT_LT(samples(rig.capture(2)), 20000) << "the greeting was cut when the caller left";
}

TEST_F(E2eLine, CommandsFromTheDesktop)
{
    rig.answeringDefaults(9, "Short");
    rig.writeGreeting("Short", 300, 700);
    ASSERT_TRUE(rig.start());

    // Damaged and foreign commands change nothing; the service still answers.
    const int statusBefore = int(rig.texts(407).filter("LineStatus").size());
    for (const QStringList &c : { QStringList { "StopProc" }, QStringList { "RecCall", "True" },
                                  QStringList { "AUTO" }, QStringList { "CallOut" },
                                  QStringList { "CallOut", "12;ATZ" }, QStringList { "hello" } })
        EXPECT_TRUE(rig.command(c));
    ASSERT_TRUE(rig.command({ "HELLO" }));
    QTRY_COMPARE_WITH_TIMEOUT(int(rig.texts(407).filter("LineStatus").size()), statusBefore + 1,
                              10000);
    QTest::qWait(300);
    EXPECT_EQ(int(rig.texts(407).filter("LineStatus").size()), statusBefore + 1);
    EXPECT_TRUE(rig.modemCommands().filter("ATD").isEmpty());

    // "AnswerMachine" while ringing.
    rig.script({ "ring", "cid 5550010", "ringing 20" });
    ASSERT_TRUE(rig.waitFor(407, "Tapi_Ring|0|2|False"));
    ASSERT_TRUE(rig.command({ "AnswerMachine" }));
    ASSERT_TRUE(rig.waitCalls(1));
    EXPECT_EQ(rig.records()[0].result(), "Manual  (Short.wav)");
    EXPECT_TRUE(rig.texts(407).contains("PlayGreet|0"));

    // "DropTheCall" while ringing: answered and hung up at once.
    const int vtxBefore = int(rig.modemCommands().filter("AT+VTX").size());
    rig.script({ "wait 0.5", "ring", "cid 5550011", "ringing 20" });
    QTRY_COMPARE_WITH_TIMEOUT(int(rig.texts(407).filter("Tapi_Incomming").size()), 2, 10000);
    ASSERT_TRUE(rig.command({ "DropTheCall" }));
    ASSERT_TRUE(rig.waitCalls(2));
    EXPECT_EQ(rig.records()[1].result(), "Manual (Hang Up)");
    EXPECT_EQ(int(rig.modemCommands().filter("AT+VTX").size()), vtxBefore);

    // "CallOut": dialled, picked up, hung up by the far end.
    const int from407 = int(rig.texts(407).size());
    ASSERT_TRUE(rig.command({ "CallOut", "5551234" }));
    rig.script({ "expect ATD 10", "wait 0.3", "answer", "wait 1", "hangup" });
    ASSERT_TRUE(rig.waitCalls(3));
    EXPECT_TRUE(rig.modemCommands().contains("ATD5551234;"));
    EXPECT_EQ(since(rig, 407, from407),
              (QStringList { "Tapi_Dialing|0", "Tapi_Connected|0", "Tapi_Idle|0|1" }));
    const CallRecord out = rig.records()[2];
    EXPECT_EQ(out.callerNumber(), "5551234");
    EXPECT_EQ(out.result(), "Outgoing Call");
    EXPECT_EQ(int(rig.modemCommands().filter("AT+VTX").size()), vtxBefore)
        << "the outgoing call is not greeted";
}

TEST_F(E2eLine, ModemPulledOutMidCallIsReportedAndTheLineReopensWhenItReturns)
{
    rig.answeringDefaults(1, "Long");
    rig.writeGreeting("Long", 4000, 500);
    ASSERT_TRUE(rig.start());
    rig.script({ "ring", "cid 5550020", "ringing 4" });
    ASSERT_TRUE(rig.waitFor(407, "PlayGreet|0"));

    rig.killSimulator();
    ASSERT_TRUE(rig.waitFor(407, "LineStatus|0|1|False"));
    ASSERT_TRUE(rig.waitCalls(1)) << "the cut call keeps its record";
    EXPECT_TRUE(rig.journal().contains("LineOpen:DeviceLost->"));
    EXPECT_TRUE(rig.texts(410).contains("Tapi_Idle|0|0"));

    const int statusCount = int(rig.texts(407).filter("LineStatus|0|0|False").size());
    ASSERT_TRUE(rig.startSimulator());
    QTRY_COMPARE_WITH_TIMEOUT(int(rig.texts(407).filter("LineStatus|0|0|False").size()),
                              statusCount + 1, 20000);
    EXPECT_TRUE(rig.journal().contains("LineOpen:DeviceReturned->"));

    // And it screens again.
    rig.script({ "ring", "cid 5550021", "ringing 4" });
    QTRY_COMPARE_WITH_TIMEOUT(int(rig.texts(407).count("PlayGreet|0")), 2, 15000);
}

} // namespace
