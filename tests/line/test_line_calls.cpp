// The call state machine and the answering machine, driven through the recording telephony
// and wave doubles.
#include "tests/line/LineFixture.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

class LineCalls : public LineFixture {
protected:
    // Offer, one ring, caller ID: the first steps of every incoming call.
    void offerWithCallerId(const QString &name, const QString &number)
    {
        tapi.offerCall();
        tapi.ringOnce(1);
        tapi.sendCallerId(name, number);
    }
};

TEST_F(LineCalls, UnknownCallerIsAnsweredAtTheThresholdGreetedAndDropped)
{
    answeringDefaults("2");
    load();
    channels.clearSent();
    tapi.clearRecords();

    offerWithCallerId("", "5551234");
    EXPECT_EQ(tapi.answerCount, 0) << "one ring is below the threshold";
    tapi.ringOnce(2);
    EXPECT_EQ(tapi.operations, QStringList { "lineAnswer" });
    EXPECT_TRUE(line().machineAnswer());

    tapi.connectCall();
    ASSERT_EQ(lineWave.calls().size(), 1);
    const RecordingWave::Call play = lineWave.calls().first();
    EXPECT_EQ(play.operation, "startPlayACM");
    EXPECT_EQ(play.path, home.greetsDir() + "/Hello.wav");
    EXPECT_EQ(play.device, 1000);
    EXPECT_EQ(play.bufferSize, 800);
    EXPECT_EQ(play.format.samplesPerSec, 8000);
    EXPECT_EQ(play.format.bitsPerSample, 16);
    EXPECT_EQ(play.format.channels, 1);
    EXPECT_EQ(tapi.dropCount, 0);

    lineWave.finishPlayback();
    EXPECT_EQ(tapi.dropCount, 1) << "without beep-and-wait the call ends after the greeting";
    tapi.goIdle();

    EXPECT_EQ(sent(407),
              (QStringList {
                  msg({ "Tapi_Incomming", "0", "False" }), msg({ "Tapi_Ring", "0", "1", "False" }),
                  msg({ "Tapi_Ring", "0", "2", "False" }), msg({ "Tapi_Connected", "0" }),
                  msg({ "PlayGreet", "0" }), msg({ "Tapi_Idle", "0", "0" }) }));
    EXPECT_EQ(
        sent(409),
        QStringList { msg({ "Tapi_CID", "0", "", "5551234", "", "", "False", "0", "False" }) });
    EXPECT_EQ(sent(410), QStringList { msg({ "Tapi_Idle", "0", "0" }) });

    const QList<CallRecord> recs = records();
    ASSERT_EQ(recs.size(), 1);
    const CallRecord &r = recs.first();
    EXPECT_EQ(r.callerName(), "");
    EXPECT_EQ(r.callerNumber(), "5551234");
    EXPECT_EQ(r.result(), "Unknown Caller");
    EXPECT_EQ(r.duration(), "0:00:00");
    EXPECT_EQ(r.callKind(), "0");
    EXPECT_EQ(r.line(), "0");
    EXPECT_EQ(r.reserved(), "0");
    EXPECT_FALSE(r.isWritten(CallRecord::Field::MessageMark));
    EXPECT_FALSE(r.isWritten(CallRecord::Field::Notes));
    EXPECT_EQ(r.date(), LocaleText().shortDate(QDate(2026, 3, 14)));
    EXPECT_EQ(r.time(), LocaleText().longTime(QTime(12, 0)));

    EXPECT_EQ(journalCount("Tapi_InComeCall(0)->Success(0)"), 1);
    EXPECT_EQ(journalCount("->Tapi_CallerID:(Index:0)::5551234,Contact()(0)"), 1);
    EXPECT_EQ(journalCount("->Tapi.LineAnswer(0)->Success(0)"), 1);
    EXPECT_EQ(journalCount("PlayToLine:Wave1.StartPlayACM->no error(0)"), 1);
    EXPECT_EQ(journalCount("Tapi.LineDrop(0)->Success(0)"), 1);
    EXPECT_EQ(journalCount("Tapi_Idle(0)->Success(0)"), 1);
}

TEST_F(LineCalls, WithoutCallerIdTheRecordSaysUnknownAndEachCallGetsItsOwnRecord)
{
    answeringDefaults("3");
    load();
    for (int call = 0; call < 2; ++call) {
        tapi.offerCall();
        for (int ring = 1; ring <= 2; ++ring)
            tapi.ringOnce(ring);
        tapi.goIdle(); // the caller gave up before the third ring
    }
    EXPECT_EQ(tapi.answerCount, 0);
    const QList<CallRecord> recs = records();
    ASSERT_EQ(recs.size(), 2);
    EXPECT_EQ(recs[1].callerName(), "UNKNOWN");
    EXPECT_EQ(recs[1].callerNumber(), "UNKNOWN");
    EXPECT_EQ(recs[1].result(), "Unknown Caller");
    EXPECT_EQ(QFileInfo(CallRecordFile::forDay(home, clock.now().date()).path()).size(), 2 * 467);
}

TEST_F(LineCalls, HangUpContactIsAnsweredAtCallerIdAndDroppedOnConnectWithoutACallerIdMessage)
{
    answeringDefaults("4");
    setting("Answer\\TabAnsweringMachine", "chkRunAnsIfNotAnswered", "0");
    addContact("Pest", "800", "2");
    load();
    channels.clearSent();
    tapi.clearRecords();

    offerWithCallerId("ACME SALES", "18005550000");
    EXPECT_EQ(tapi.operations, QStringList { "lineAnswer" });
    EXPECT_TRUE(sent(409).isEmpty());
    EXPECT_TRUE(line().dropOnConnect());
    tapi.ringOnce(2);
    EXPECT_EQ(tapi.answerCount, 1) << "a ring after the answer does not answer again";

    tapi.connectCall();
    EXPECT_EQ(tapi.dropCount, 1);
    EXPECT_TRUE(lineWave.calls().isEmpty()) << "no greeting for a blocked caller";
    tapi.hangUpFarEnd();
    tapi.goIdle();

    const QList<CallRecord> recs = records();
    ASSERT_EQ(recs.size(), 1);
    EXPECT_EQ(recs[0].callerName(), "ACME SALES");
    EXPECT_EQ(recs[0].result(), "Pest (Hang Up)");
    EXPECT_EQ(journalText().count("Tapi_CallerID:"), 0);
}

TEST_F(LineCalls, DoNothingContactRingsOnUntilTheCallerGivesUp)
{
    answeringDefaults("2");
    addContact("Mum", "5550001", "3");
    load();
    offerWithCallerId("MUM", "5550001");
    for (int ring = 2; ring <= 8; ++ring)
        tapi.ringOnce(ring);
    EXPECT_EQ(tapi.answerCount, 0);
    EXPECT_TRUE(line().noAutoAnswer());
    ASSERT_EQ(sent(409).size(), 1);
    EXPECT_EQ(ChannelMessage::split(sent(409)[0]).value(4), "Mum");
    tapi.goIdle();
    ASSERT_EQ(records().size(), 1);
    // The default answer applies to the contact too, so its (empty) greeting name shows.
    EXPECT_EQ(records()[0].result(), "Mum () (Nothing)");
}

TEST_F(LineCalls, SpecificAnswerWithBeepHoldsTheLineUntilTheCallerHangsUp)
{
    answeringDefaults("5");
    using F = ContactRecord::Field;
    addContact("Friend", "5550002", "4",
               { { F::PickUp, "1" },
                 { F::Greeting, "Private" },
                 { F::Rings, "1" },
                 { F::BeepFlag, "1" } });
    writeFile(home.greetsDir() + "/Private.wav", QByteArray(64, '\0'));
    ASSERT_TRUE(QFileInfo::exists(home.beepFile()));
    load();

    offerWithCallerId("FRIEND", "5550002");
    EXPECT_EQ(tapi.answerCount, 0) << "the rings before caller ID count under the defaults (5)";
    tapi.ringOnce(2);
    EXPECT_EQ(tapi.answerCount, 1) << "the contact's own ring count (1) was reached";
    tapi.connectCall();
    EXPECT_EQ(lineWave.playedPaths(), QStringList { home.greetsDir() + "/Private.wav" });
    lineWave.finishPlayback();
    EXPECT_EQ(lineWave.playedPaths().value(1), home.beepFile());
    EXPECT_EQ(line().machine().nextStep(), "BEEP");
    lineWave.finishPlayback();
    EXPECT_EQ(tapi.dropCount, 0) << "the line stays open after the beep";
    EXPECT_TRUE(line().machine().isHolding());

    tapi.hangUpFarEnd();
    EXPECT_EQ(tapi.dropCount, 1);
    EXPECT_EQ(journalCount("StopRecMessage:Wave1.StopRecord->error 10(10)"), 1);
    tapi.goIdle();
    EXPECT_FALSE(line().machine().isHolding());
    // The greeting's name, not its blank-padded 64-byte field, follows the contact name.
    ASSERT_EQ(records().size(), 1);
    EXPECT_EQ(records()[0].result(), "Friend (Private)");
}

TEST_F(LineCalls, HeldLineIsDroppedWhenTheHangUpNeverComes)
{
    answeringDefaults("1");
    setting("Answer\\TabAnsweringMachine", FrmLine::kMaxHoldSetting, "1");
    using F = ContactRecord::Field;
    addContact(
        "Friend", "5550002", "4",
        { { F::PickUp, "1" }, { F::Greeting, "Hello" }, { F::Rings, "1" }, { F::BeepFlag, "1" } });
    QFile::remove(home.beepFile()); // beep flag without a beep file: silence, line held
    load();

    offerWithCallerId("FRIEND", "5550002");
    tapi.connectCall();
    lineWave.finishPlayback();
    EXPECT_EQ(lineWave.playedPaths().size(), 1);
    EXPECT_EQ(tapi.dropCount, 0);
    QTRY_COMPARE_WITH_TIMEOUT(tapi.dropCount, 1, 5000);
    EXPECT_EQ(journalCount("AnsweringMachine:MaxHold->Line held 1 seconds without a hang-up; "
                           "dropping the call(0)"),
              1);
}

TEST_F(LineCalls, MissingGreetingWritesTwoLinesAndDropsTheCall)
{
    answeringDefaults("1");
    load();
    offerWithCallerId("X", "123");
    lineWave.failNext(2, "file not found");
    tapi.connectCall();
    EXPECT_EQ(journalCount("PlayToLine:Wave1.StartPlayACM->file not found(2)"), 2);
    EXPECT_EQ(tapi.dropCount, 1);
    EXPECT_TRUE(sent(407).filter("PlayGreet").isEmpty());
}

TEST_F(LineCalls, GreetingNameThatLeadsOutOfGreetsIsNotPlayed)
{
    answeringDefaults("1");
    setting("Answer\\TabAnsweringMachine", "CmbGreetsMessages", "../../etc/passwd");
    load();
    offerWithCallerId("X", "123");
    tapi.connectCall();
    EXPECT_TRUE(lineWave.playedPaths().isEmpty());
    EXPECT_EQ(tapi.dropCount, 1);
}

TEST_F(LineCalls, CallerHangingUpDuringTheGreetingEndsTheCallOnceWithoutBeep)
{
    answeringDefaults("1");
    using F = ContactRecord::Field;
    addContact(
        "Friend", "5550002", "4",
        { { F::PickUp, "1" }, { F::Greeting, "Hello" }, { F::Rings, "1" }, { F::BeepFlag, "1" } });
    load();
    offerWithCallerId("FRIEND", "5550002");
    tapi.connectCall();
    ASSERT_TRUE(lineWave.isPlaying());

    tapi.hangUpFarEnd();
    EXPECT_FALSE(lineWave.isPlaying());
    EXPECT_EQ(lineWave.playedPaths().size(), 1) << "cutting the greeting must not start the beep";
    EXPECT_EQ(tapi.dropCount, 1);
    tapi.goIdle();
    EXPECT_EQ(records().size(), 1);
}

TEST_F(LineCalls, SoundThenSpeechAndTheLineOpenBeepSwallowsOnlyItsOwnEnd)
{
    answeringDefaults("9");
    setting("Properties\\TabGeneral", "chkModemSoundControl", "1");
    setting("Events\\TabInCommingCall", "chkPlayInCall", "1");
    setting("Events\\TabInCommingCall", "CmbPlayWhenCall", "Ring.wav");
    setting("Events\\TabInCommingCall", "chkSayInCommingCall", "1");
    setting("Events\\TabInCommingCall", "IC_txtTTS", "Call from <CALLER_NUMBER>");
    setting("Events\\TabInCommingCall", "chkWhenCallerID", "1");

    for (bool beepStarts : { true, false }) {
        SCOPED_TRACE(beepStarts ? "beep played" : "beep failed");
        speech.clearCalls();
        if (!beepStarts)
            localWave.failNext(5, "no sound device");
        load();
        ASSERT_EQ(localWave.playedPaths().value(0), home.beepFile());
        if (beepStarts)
            localWave.finishPlayback(); // the beep's end: swallowed

        offerWithCallerId("X", "42");
        EXPECT_EQ(localWave.playedPaths().last(), home.soundDir() + "/Ring.wav");
        EXPECT_TRUE(speech.spokenTexts().isEmpty()) << "the sound plays first";
        localWave.finishPlayback();
        EXPECT_EQ(speech.spokenTexts(), QStringList { "Call from 4 2 " });
        tapi.goIdle();
        main.reset();
        localWave.clearCalls();
    }
}

TEST_F(LineCalls, AnnouncementsWaitForTheDesktopWhenAskedTo)
{
    setting("Properties\\TabGeneral", "chkDoEventsWhenGUI", "1");
    setting("Events\\TabInCommingCall", "chkSayInCommingCall", "1");
    setting("Events\\TabInCommingCall", "IC_txtTTS", "Ring ring");
    for (const char *running : { "0", "1" }) {
        setting("", "bRun", running);
        speech.clearCalls();
        load();
        tapi.offerCall();
        EXPECT_EQ(speech.spokenTexts().size(), QString(running) == "1" ? 1 : 0) << running;
        tapi.goIdle();
        main.reset();
    }
}

TEST_F(LineCalls, SerialCallerIdCountsTheSerialRingsAndRecognisesTheOwner)
{
    answeringDefaults("4");
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    setting("Properties\\TabDevices\\CallerID", "cmbATCommands", "AT+VCID=1");
    setting("RemoteAccess\\TabPhoneAccess", "chkAllowCallerNameNumAccess", "1");
    setting("RemoteAccess\\TabPhoneAccess", "txtAccessCallerName", "OWNER");
    setting("RemoteAccess\\TabPhoneAccess", "txtAccessCallerNumber", "5559999");
    withSerialForm = true;
    load();
    ASSERT_NE(comm, nullptr);
    EXPECT_EQ(line().lineStatus(), 0);
    tapi.clearRecords();
    channels.clearSent();

    // First call: the owner. No "Comm_CID", no takeover at caller ID.
    line().comm_InComeCall();
    line().comm_CallerID("OWNER", "5559999");
    EXPECT_TRUE(line().remoteCaller());
    EXPECT_TRUE(tapi.opens.isEmpty());
    EXPECT_EQ(sent(407), QStringList { msg({ "Comm_Incomming", "0", "False" }) });

    // The serial form hands the call over from the fourth ring; the telephony control's first
    // ring is then the third of the call, its second the fourth: the threshold.
    line().getTapiFromComm();
    ASSERT_EQ(tapi.opens.size(), 1);
    EXPECT_EQ(tapi.opens[0].privilege, 4);
    EXPECT_EQ(tapi.opens[0].mediaMode, 8);
    tapi.offerCall();
    EXPECT_TRUE(comm->operations.contains("stopIdleWatch"));
    tapi.ringOnce(1);
    EXPECT_EQ(tapi.answerCount, 0);
    tapi.ringOnce(2);
    EXPECT_EQ(tapi.answerCount, 1);
    tapi.connectCall();
    lineWave.finishPlayback();
    EXPECT_EQ(tapi.dropCount, 0) << "the owner is not hung up on after the greeting";
    tapi.hangUpFarEnd();
    tapi.goIdle();
    EXPECT_TRUE(comm->operations.contains("commCloseTapi"));
    ASSERT_EQ(records().size(), 1);
    EXPECT_EQ(records()[0].callerName(), "OWNER");
}

TEST_F(LineCalls, SerialHangUpContactIsTakenOverBeforeTheAnswer)
{
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    addContact("Pest", "800", "2");
    withSerialForm = true;
    load();
    tapi.clearRecords();
    line().comm_InComeCall();
    // The modem driver has not seen a ring of this call yet and refuses the answer ...
    tapi.answerResult = 1009;
    line().comm_CallerID("ACME", "18005550000");
    EXPECT_EQ(tapi.operations, (QStringList { "lineOpen(4,8)", "lineAnswer" }));
    EXPECT_TRUE(sent(407).filter("Comm_CID").isEmpty());
    // ... so the first ring the telephony line reports is answered, once.
    tapi.answerResult = 0;
    tapi.offerCall();
    tapi.ringOnce(1);
    tapi.ringOnce(2);
    EXPECT_EQ(tapi.answerCount, 2);
    tapi.connectCall();
    EXPECT_EQ(tapi.dropCount, 1);
}

TEST_F(LineCalls, SerialCallEndingBeforeTheTakeoverIsRecorded)
{
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    withSerialForm = true;
    load();
    channels.clearSent();
    line().comm_InComeCall();
    line().comm_CallerID("A", "1");
    line().comm_Idle();
    EXPECT_EQ(sent(407).last(), msg({ "Comm_Idle", "0" }));
    EXPECT_EQ(journalCount("->Comm_Idle(0)(0)"), 1);
    ASSERT_EQ(records().size(), 1);
    EXPECT_EQ(records()[0].callerNumber(), "1");
}

TEST_F(LineCalls, UnpluggedModemEndsTheCallReportsTheLineClosedAndReopensOnReturn)
{
    answeringDefaults("9");
    load();
    channels.clearSent();
    tapi.offerCall();
    tapi.loseDevice();
    EXPECT_EQ(records().size(), 1) << "the cut call keeps its record";
    EXPECT_EQ(sent(410).size(), 1);
    EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "1", "False" }));
    EXPECT_EQ(journalCount(
                  "LineOpen:DeviceLost->The modem is gone; the line is closed until it returns(0)"),
              1);

    tapi.returnDevice();
    EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "0", "False" }));
    EXPECT_EQ(line().lineStatus(), 0);
}

} // namespace
