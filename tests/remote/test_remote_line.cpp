// The menu inside the line form: digits from the modem line, the greeting's end and the
// menu's playback go through the form as on a real call.
#include "service/remote/RemoteAccessMenu.h"
#include "tests/line/LineFixture.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

class RemoteLine : public LineFixture {
protected:
    void remoteDefaults()
    {
        answeringDefaults("1");
        setting("RemoteAccess\\TabPhoneAccess", "chkAllowRemoteAccess", "1");
        setting("RemoteAccess\\TabPhoneAccess", "txtDigitsToEnter", "4711");
        setting("RemoteAccess\\TabPhoneAccess", "cmbConfirmDigit", "#");
        setting("Access\\Phone\\Messages", "txtRCTTSWllcome", "Welcome back.");
        setting("Access\\Phone\\Digits", "cmbFirstMessageDigit", "1");
        setting("Access\\Phone\\Digits", "cmbNextMessageDigit", "2");
        setting("Access\\Phone\\Digits", "cmbPrevMessageDigit", "3");
        setting("Access\\Phone\\Digits", "cmbCloseRCDigit", "0");
        for (const char *number : { "5550001", "5550002", "5550003" }) {
            CallRecord r;
            r.setCallKind("0");
            r.setCallerNumber(number);
            r.setTime("10:00:00 AM");
            CallRecordFile::forDay(home, clock.now().date()).append(r);
        }
    }
    void answer()
    {
        tapi.offerCall();
        tapi.ringOnce(1);
        tapi.connectCall();
    }
    void type(const QString &digits)
    {
        for (QChar c : digits)
            tapi.sendDigit(c);
    }
    QString lastSpoken() const
    {
        QString last;
        for (const auto &c : speech.calls())
            if (c.operation == "speakToWave")
                last = c.text;
        return last;
    }
};

TEST_F(RemoteLine, OwnerTypesCodeDuringGreetingAndStepsThroughTodaysCalls)
{
    remoteDefaults();
    load();
    channels.clearSent();
    answer();
    EXPECT_EQ(tapi.monitorRequests, QList<bool> { true });
    ASSERT_EQ(lineWave.playedPaths(), QStringList { home.greetsDir() + "/Hello.wav" });

    type("4711#");
    const QString work = home.greetsDir() + "/tmpRemote.wav";
    EXPECT_EQ(lineWave.playedPaths().size(), 2);
    EXPECT_EQ(lineWave.playedPaths().last(), work);
    EXPECT_EQ(lastSpoken(), "Welcome back. You have 3 calls today.");
    lineWave.finishPlayback();
    EXPECT_EQ(tapi.dropCount, 0) << "the end of the menu's text is not the greeting's";

    type("122");
    // The time is read in the machine's own locale.
    EXPECT_TRUE(lastSpoken().startsWith("Call 3 of 3, from number 5 5 5 0 0 0 3, at 10:00"))
        << lastSpoken().toStdString();
    lineWave.finishPlayback();
    type("3");
    EXPECT_TRUE(lastSpoken().startsWith("Call 2 of 3, from number 5 5 5 0 0 0 2, at 10:00"))
        << lastSpoken().toStdString();
    EXPECT_EQ(tapi.dropCount, 0);

    type("0");
    EXPECT_EQ(tapi.dropCount, 1);
    tapi.goIdle();
    EXPECT_FALSE(line().remoteMenu()->isActive());

    QStringList digits;
    for (const QString &m : sent(407))
        if (m.startsWith("Tapi_MonitorDigit"))
            digits << m;
    QStringList expected;
    for (QChar c : QStringLiteral("4711#12230"))
        expected << msg({ "Tapi_MonitorDigit", "0", QString(c) });
    EXPECT_EQ(digits, expected);
}

TEST_F(RemoteLine, CallerWithoutTheCodeIsGreetedAndDroppedAsBefore)
{
    remoteDefaults();
    load();
    answer();
    type("99#");
    lineWave.finishPlayback();
    EXPECT_EQ(tapi.dropCount, 1);
    EXPECT_EQ(lineWave.playedPaths().size(), 1) << "no menu text for a stranger";
}

} // namespace
