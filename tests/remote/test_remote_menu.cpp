#include "controls/speech/RecordingSpeech.h"
#include "service/remote/RemoteAccessMenu.h"
#include "shared/common/Clock.h"
#include "shared/records/CallRecordFile.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace quorvel;

namespace {

const QDate kToday(2026, 1, 5);
const QLocale kLocale(QLocale::English, QLocale::UnitedStates);

// A menu with its line recorded: what was played, how often the line was cut and dropped,
// and every 407 message.
class RemoteMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        options.allowRemoteAccess = true;
        options.digitsToEnter = QStringLiteral("4711");
        options.confirmDigit = QStringLiteral("#");
        options.welcomeText = QStringLiteral("Hello owner, press <FIRST> to begin.");
        options.beforeText = QStringLiteral("Next is a <CALL_TYPE>.");
        options.afterText = QStringLiteral("Press <NEXT> for more.");
        options.keys.first = QStringLiteral("1");
        options.keys.next = QStringLiteral("2");
        options.keys.prev = QStringLiteral("3");
        options.keys.exit = QStringLiteral("0");
    }

    RemoteAccessMenu &menu()
    {
        if (!m_menu) {
            RemoteAccessMenu::Hooks hooks;
            hooks.playToLine = [this](const QString &path) {
                played << path;
                return playResult;
            };
            hooks.stopLine = [this]() { ++stops; };
            hooks.drop = [this]() { ++drops; };
            hooks.sendEvent = [this](const QStringList &fields) { events << fields; };
            hooks.lineIndex = []() { return 2; };
            m_menu
                = std::make_unique<RemoteAccessMenu>(options, &speech, home, clock, hooks, kLocale);
        }
        return *m_menu;
    }

    void storeCall(const QString &name, const QString &number, const QString &time,
                   const QString &kind = QStringLiteral("0"))
    {
        CallRecord r;
        r.setCallKind(kind);
        r.setCallerName(name);
        r.setCallerNumber(number);
        r.setDate(QStringLiteral("1/5/26"));
        r.setTime(time);
        r.setDuration(QStringLiteral("0:00:00"));
        ASSERT_GT(CallRecordFile::forDay(home, clock.now().date()).append(r), 0);
    }

    void type(const QString &digits)
    {
        for (QChar c : digits)
            menu().onDigit(c);
    }

    // The texts rendered for the line, in order.
    QStringList spoken() const
    {
        QStringList texts;
        for (const auto &c : speech.calls())
            if (c.operation == QStringLiteral("speakToWave"))
                texts << c.text;
        return texts;
    }
    QString lastSpoken() const { return spoken().value(spoken().size() - 1); }

    test::TempHome temp;
    DataHome home { temp.home() };
    ManualClock clock { QDateTime(kToday, QTime(18, 0)) };
    RecordingSpeech speech;
    RemoteAccessOptions options;
    QStringList played;
    QList<QStringList> events;
    int stops = 0;
    int drops = 0;
    int playResult = 0;

private:
    std::unique_ptr<RemoteAccessMenu> m_menu;
};

TEST_F(RemoteMenuTest, CodeAndConfirmDuringGreetingCutItAndSpeakWelcome)
{
    storeCall(QStringLiteral("Ann Smith"), QStringLiteral("5551234"), QStringLiteral("9:15:00 AM"));
    menu().callStarted(false);
    type(QStringLiteral("4711"));
    EXPECT_TRUE(spoken().isEmpty()) << "no text before the confirm key";
    EXPECT_EQ(stops, 0) << "the greeting plays on while the code is typed";
    type(QStringLiteral("#"));

    EXPECT_TRUE(menu().isAuthenticated());
    EXPECT_TRUE(menu().isActive());
    EXPECT_EQ(stops, 1) << "the greeting is cut";
    EXPECT_EQ(
        spoken(),
        QStringList { QStringLiteral("Hello owner, press 1 to begin. You have one call today.") });
    ASSERT_EQ(played.size(), 1);
    EXPECT_EQ(played.at(0), home.greetsDir() + QStringLiteral("/tmpRemote.wav"));
    EXPECT_TRUE(QFile::exists(played.at(0)));

    // The cut greeting's end and the menu's own ends are the menu's, never the machine's.
    EXPECT_TRUE(menu().onPlayDone());
    EXPECT_TRUE(menu().onGreetingDone());
    EXPECT_EQ(drops, 0);
}

TEST_F(RemoteMenuTest, StepsThroughTodaysCallsWithTemplatesAndRecordFields)
{
    storeCall(QStringLiteral("Ann Smith"), QStringLiteral("5551234"), QStringLiteral("9:15:00 AM"));
    storeCall(QStringLiteral("UNKNOWN"), QStringLiteral("5559876"), QStringLiteral("11:40:05 AM"));
    storeCall(QString(), QStringLiteral("UNKNOWN"), QStringLiteral("2:05:00 PM"));
    // Yesterday's call is not today's.
    clock.set(QDateTime(kToday.addDays(-1), QTime(10, 0)));
    storeCall(QStringLiteral("Old Call"), QStringLiteral("111"), QStringLiteral("10:00:00 AM"));
    clock.set(QDateTime(kToday, QTime(18, 0)));

    menu().callStarted(false);
    type(QStringLiteral("4711#"));
    EXPECT_TRUE(lastSpoken().endsWith(QStringLiteral("You have 3 calls today.")));

    const QString first = QStringLiteral(
        "Next is a In Coming Call. Call 1 of 3, from Ann Smith, at 9:15 AM. Press 2 for more.");
    const QString second = QStringLiteral("Next is a In Coming Call. Call 2 of 3, from number "
                                          "5 5 5 9 8 7 6, at 11:40 AM. Press 2 for more.");
    const QString third = QStringLiteral("Next is a In Coming Call. Call 3 of 3, from an unknown "
                                         "caller, at 2:05 PM. Press 2 for more.");
    struct Step {
        QChar key;
        QString text;
        int index;
    };
    const Step steps[] = {
        { '1', first, 0 },
        { '2', second, 1 },
        { '2', third, 2 },
        { '2', RemoteAccessMenu::kNoMoreText, 2 },
        { '3', second, 1 },
        { '3', first, 0 },
        { '3', RemoteAccessMenu::kNoEarlierText, 0 },
    };
    for (const Step &s : steps) {
        const int stopsBefore = stops;
        menu().onDigit(s.key); // each key comes while the previous text still plays
        EXPECT_EQ(lastSpoken(), s.text) << "key " << s.key.toLatin1();
        EXPECT_EQ(menu().currentIndex(), s.index);
        EXPECT_EQ(stops, stopsBefore + 1) << "a key cuts the text that plays";
    }
    EXPECT_EQ(drops, 0);
}

TEST_F(RemoteMenuTest, WrongCodeThreeTimesHangsUp)
{
    menu().callStarted(false);
    type(QStringLiteral("1234#"));
    type(QStringLiteral("#")); // an empty code is wrong too
    EXPECT_EQ(menu().wrongAttempts(), 2);
    EXPECT_EQ(drops, 0);
    EXPECT_TRUE(spoken().isEmpty()) << "the greeting goes on after a wrong code";
    type(QStringLiteral("4712#"));
    EXPECT_EQ(drops, 1);
    // Keys after the hang-up change nothing, and the right code comes too late.
    type(QStringLiteral("4711#1"));
    EXPECT_EQ(drops, 1);
    EXPECT_FALSE(menu().isAuthenticated());
    EXPECT_TRUE(menu().onGreetingDone()) << "the machine must not drop a second time";
}

TEST_F(RemoteMenuTest, OverlongEntryCountsAsWrongCodeAndConfirmMayBeACodeDigit)
{
    menu().callStarted(false);
    type(QString(40, QChar('7')));
    EXPECT_EQ(menu().wrongAttempts(), 1);

    options.digitsToEnter = QStringLiteral("1919");
    options.confirmDigit = QStringLiteral("9");
    RemoteAccessMenu::Hooks hooks;
    hooks.playToLine = [](const QString &) { return 0; };
    RemoteAccessMenu other(options, &speech, home, clock, hooks, kLocale);
    other.callStarted(false);
    for (QChar c : QStringLiteral("19199"))
        other.onDigit(c);
    EXPECT_TRUE(other.isAuthenticated());
}

TEST_F(RemoteMenuTest, CloseKeyDrops)
{
    menu().callStarted(false);
    type(QStringLiteral("4711#"));
    type(QStringLiteral("0"));
    EXPECT_EQ(drops, 1);
    EXPECT_TRUE(menu().onPlayDone());
}

TEST_F(RemoteMenuTest, EveryDigitIsReportedOnTheEventsChannel)
{
    menu().callStarted(false);
    type(QStringLiteral("47x11#*1"));
    ASSERT_EQ(events.size(), 8);
    const QString typed = QStringLiteral("47x11#*1");
    for (int i = 0; i < events.size(); ++i)
        EXPECT_EQ(events.at(i),
                  (QStringList { QStringLiteral("Tapi_MonitorDigit"), QStringLiteral("2"),
                                 QString(typed.at(i)) }));
}

TEST_F(RemoteMenuTest, NoCallsTodayIsSaidForEveryStepKey)
{
    menu().callStarted(false);
    type(QStringLiteral("4711#"));
    EXPECT_TRUE(lastSpoken().endsWith(RemoteAccessMenu::kNoCallsText));
    for (QChar key : QStringLiteral("1235")) {
        speech.clearCalls();
        menu().onDigit(key);
        EXPECT_EQ(spoken(), QStringList { RemoteAccessMenu::kNoCallsText });
    }
    // Keys that are no command change nothing.
    speech.clearCalls();
    type(QStringLiteral("78*#"));
    EXPECT_TRUE(spoken().isEmpty());
    EXPECT_EQ(drops, 0);
}

TEST_F(RemoteMenuTest, EmptySettingsDisableKeypadAccess)
{
    options = RemoteAccessOptions();
    menu().callStarted(false);
    type(QStringLiteral("0123456789*#"));
    EXPECT_FALSE(menu().isAuthenticated());
    EXPECT_FALSE(menu().onGreetingDone()) << "the machine handles the greeting's end";
    EXPECT_FALSE(menu().onPlayDone());
    EXPECT_EQ(drops, 0);
    EXPECT_TRUE(spoken().isEmpty());
    EXPECT_EQ(events.size(), 12);

    // A code without the allow flag is no access either.
    RemoteAccessOptions codeOnly;
    codeOnly.digitsToEnter = QStringLiteral("1");
    RemoteAccessMenu other(codeOnly, &speech, home, clock, {}, kLocale);
    EXPECT_FALSE(other.codeAccessEnabled());
}

TEST_F(RemoteMenuTest, OwnerKnownByCallerIdGetsTheMenuAfterTheGreetingWithDefaultKeys)
{
    options = RemoteAccessOptions(); // no keys, no texts: defaults
    storeCall(QStringLiteral("Ann Smith"), QStringLiteral("5551234"), QStringLiteral("9:15:00 AM"),
              QStringLiteral("1"));
    menu().callStarted(true);
    EXPECT_TRUE(menu().onGreetingDone());
    EXPECT_TRUE(lastSpoken().startsWith(QStringLiteral("Welcome. Press 1 for the first call")));
    EXPECT_TRUE(menu().onPlayDone());
    menu().onDigit('1');
    EXPECT_EQ(lastSpoken(), QStringLiteral("Call 1 of 1, to Ann Smith, at 9:15 AM."));
    menu().onDigit('9');
    EXPECT_EQ(drops, 1);
}

TEST_F(RemoteMenuTest, CodeStillBeingTypedWhenGreetingEndsKeepsTheLineThenTimesOut)
{
    menu().callStarted(false);
    menu().setCodeWaitMs(200);
    type(QStringLiteral("47"));
    EXPECT_TRUE(menu().onGreetingDone());
    type(QStringLiteral("11#"));
    EXPECT_TRUE(menu().isAuthenticated());

    // A second call where the caller stops typing: the line is dropped, not held for ever.
    menu().callStarted(false);
    menu().setCodeWaitMs(200);
    type(QStringLiteral("4"));
    EXPECT_TRUE(menu().onGreetingDone());
    EXPECT_TRUE(QTest::qWaitFor([this]() { return drops == 1; }, 5000));
}

TEST_F(RemoteMenuTest, FailingSpeechOrPlaybackLeavesTheMenuUsable)
{
    storeCall(QStringLiteral("Ann Smith"), QStringLiteral("5551234"), QStringLiteral("9:15:00 AM"));
    playResult = 7;
    menu().callStarted(false);
    type(QStringLiteral("4711#"));
    EXPECT_TRUE(menu().isAuthenticated());
    playResult = 0;
    menu().onDigit('1');
    EXPECT_EQ(menu().currentIndex(), 0);
    EXPECT_EQ(played.size(), 2);

    // Reset at idle forgets the call entirely.
    menu().reset();
    EXPECT_FALSE(menu().isActive());
    EXPECT_FALSE(menu().onPlayDone());
    menu().onDigit('1');
    EXPECT_EQ(played.size(), 2);
}

} // namespace
