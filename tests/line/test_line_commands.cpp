// The desktop's commands on channel 408.
#include "tests/line/LineFixture.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

using LineCommands = LineFixture;

TEST_F(LineCommands, DamagedOrForeignMessagesChangeNothing)
{
    answeringDefaults("2");
    load();
    tapi.offerCall();
    tapi.clearRecords();
    channels.clearSent();
    lineWave.clearCalls();

    const QStringList messages = {
        "",
        "\r\n",
        "StopProc",
        "RecCall\r\nTrue",
        "CallOutRec\r\n5551234",
        "on",
        "HELLO ",
        "AUTO",
        "AUTO\r\n22:00",
        "CallOut",
        "CallOut\r\n",
        "CallOut\r\nabc",
        "CallOut\r\n555;ATZ",
        "CallOut\r\n555\rATH",
        "CallOut\r\n" + QString(60, '5'),
        QString(70000, 'x'),
    };
    for (const QString &m : messages)
        command({ m });

    EXPECT_TRUE(tapi.operations.isEmpty()) << tapi.operations.join(", ").toStdString();
    EXPECT_TRUE(lineWave.calls().isEmpty());
    EXPECT_TRUE(sent(407).isEmpty());
    EXPECT_FALSE(line().noAutoAnswer());
    EXPECT_FALSE(main->automaticMode);
    // Known commands that were refused say so; foreign ones pass without a word.
    EXPECT_EQ(journalText().count("udiIn_TextArrived->"), 8);
    EXPECT_EQ(journalText().count("StopProc"), 0);

    // The call goes on as if nothing had come.
    tapi.ringOnce(2);
    EXPECT_EQ(tapi.answerCount, 1);
}

TEST_F(LineCommands, LineStateCommandsReportTheLine)
{
    load("1");
    channels.clearSent();
    command({ "HELLO" });
    command({ "ON" });
    command({ "OFF" });
    command({ "AUTO", "22:00", "06:00" });
    EXPECT_EQ(sent(407),
              (QStringList { msg({ "LineStatus", "0", "1", "False" }),
                             msg({ "LineStatus", "0", "0", "False" }),
                             msg({ "LineStatus", "0", "1", "False" }),
                             msg({ "LineStatus", "0", "1", "True" }) }));
    EXPECT_EQ(main->timeOn, "22:00");
    EXPECT_EQ(main->timeOff, "06:00");
    EXPECT_TRUE(line().autoTimerActive());
    command({ "ON" });
    EXPECT_FALSE(line().autoTimerActive());
    EXPECT_FALSE(main->automaticMode);
}

TEST_F(LineCommands, CallControllerChoicesWhileRinging)
{
    answeringDefaults("5");
    struct Case {
        const char *command;
        int answers;
        int dropsOnConnect;
        bool greeted;
        const char *result;
    };
    const Case cases[] = {
        { "AnswerMachine", 1, 0, true, "Manual  (Hello.wav)" },
        { "DropTheCall", 1, 1, false, "Manual (Hang Up)" },
        { "DoNothing", 0, 0, false, "Manual (Nothing)" },
    };
    load();
    for (const Case &c : cases) {
        SCOPED_TRACE(c.command);
        tapi.clearRecords();
        lineWave.clearCalls();
        tapi.offerCall();
        tapi.ringOnce(1);
        command({ c.command });
        for (int ring = 2; ring <= 6; ++ring)
            if (tapi.answerCount == 0)
                tapi.ringOnce(ring);
        EXPECT_EQ(tapi.answerCount, c.answers);
        if (c.answers) {
            tapi.connectCall();
            EXPECT_EQ(tapi.dropCount, c.dropsOnConnect);
            EXPECT_EQ(!lineWave.calls().isEmpty(), c.greeted);
        }
        tapi.goIdle();
        EXPECT_EQ(records().last().result(), c.result);
    }
}

TEST_F(LineCommands, CallOutStartsCleanAfterABlockedCallAndIsRecordedAsOutgoing)
{
    addContact("Pest", "800", "2");
    load();
    // A blocked call leaves drop-on-connect behind.
    tapi.offerCall();
    tapi.sendCallerId("A", "8001");
    tapi.connectCall();
    tapi.goIdle();
    tapi.clearRecords();
    channels.clearSent();

    command({ "CallOut", " 555-1234 " });
    EXPECT_EQ(tapi.dialled, QStringList { "555-1234" });
    EXPECT_TRUE(line().inCall()) << "the schedule waits for the outgoing call";
    tapi.startDialing();
    tapi.connectCall();
    EXPECT_EQ(tapi.dropCount, 0) << "the blocked caller's rule must not hang up the outgoing call";
    EXPECT_TRUE(lineWave.calls().isEmpty());

    command({ "CallOut", "5550000" });
    EXPECT_EQ(tapi.dialled.size(), 1) << "no second call over the one in progress";

    command({ "DropCall" });
    EXPECT_EQ(tapi.dropCount, 1);
    tapi.hangUpFarEnd();
    tapi.goIdle();
    EXPECT_EQ(sent(407),
              (QStringList { msg({ "Tapi_Dialing", "0" }), msg({ "Tapi_Connected", "0" }),
                             msg({ "Tapi_Idle", "0", "1" }) }));
    const CallRecord r = records().last();
    EXPECT_EQ(r.callerNumber(), "555-1234");
    EXPECT_EQ(r.callerName(), "UNKNOWN");
    EXPECT_EQ(r.result(), "Manual (Hang Up)");
}

TEST_F(LineCommands, CallOutTheModemRefusesEndsAtOnce)
{
    load();
    channels.clearSent();
    command({ "CallOut", "5551234" });
    emit tapi.lineError(1002);
    EXPECT_FALSE(line().inCall());
    EXPECT_EQ(sent(410), QStringList { msg({ "Tapi_Idle", "0", "1" }) });
    EXPECT_EQ(journalCount("Tapi1_LineError->error 1002(1002)"), 1);
    command({ "CallOut", "5551234" });
    EXPECT_EQ(tapi.dialled.size(), 2);
}

TEST_F(LineCommands, GetTTSPropLoadsVoiceAndRate)
{
    speech.setVoices({ "en", "de", "fr" });
    load();
    setting("Properties\\TabTTS", "TTSVoices", "2");
    setting("Properties\\TabTTS", "sldrTTS", "-3");
    speech.clearCalls();
    command({ "GetTTSProp" });
    EXPECT_EQ(speech.rate(), -3);
    bool voiceSet = false;
    for (const RecordingSpeech::Call &c : speech.calls())
        voiceSet |= c.operation == "setVoice";
    EXPECT_TRUE(voiceSet);
}

} // namespace
