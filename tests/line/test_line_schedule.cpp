// Automatic mode: the window test on its own, then the schedule on a manual clock.
#include "service/line/AutoSchedule.h"
#include "tests/line/LineFixture.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

TEST(AutoScheduleWindow, Table)
{
    using V = AutoSchedule::Verdict;
    struct Case {
        const char *on;
        const char *off;
        QTime now;
        V expected;
    };
    const Case cases[] = {
        // Across midnight.
        { "22:00", "06:00", QTime(23, 0), V::Inside },
        { "22:00", "06:00", QTime(3, 0), V::Inside },
        { "22:00", "06:00", QTime(7, 0), V::Outside },
        { "22:00", "06:00", QTime(22, 0), V::Outside },
        { "22:00", "06:00", QTime(22, 0, 0, 900), V::Outside },
        { "22:00", "06:00", QTime(22, 0, 1), V::Inside },
        { "22:00", "06:00", QTime(6, 0), V::Outside },
        { "22:00", "06:00", QTime(5, 59, 59), V::Inside },
        // Within a day, with seconds.
        { "08:00:30", "16:00", QTime(8, 0, 30), V::Outside },
        { "08:00:30", "16:00", QTime(8, 0, 31), V::Inside },
        { "8:00", "16:00", QTime(15, 59, 59), V::Inside },
        { "8:00", "16:00", QTime(16, 0), V::Outside },
        // Equal times: never inside.
        { "12:00", "12:00", QTime(12, 0), V::Outside },
        { "12:00", "12:00", QTime(0, 0), V::Outside },
        { "12:00", "12:00", QTime(18, 0), V::Outside },
        // Not times of day.
        { "", "06:00", QTime(3, 0), V::Invalid },
        { "22:00", "", QTime(3, 0), V::Invalid },
        { "25:00", "06:00", QTime(3, 0), V::Invalid },
        { "evening", "morning", QTime(3, 0), V::Invalid },
        { "22:00\r\n", "06:61", QTime(3, 0), V::Invalid },
    };
    const LocaleText locale { QLocale(QLocale::English, QLocale::UnitedStates) };
    for (const Case &c : cases)
        EXPECT_EQ(AutoSchedule::windowTest(c.on, c.off, c.now, locale), c.expected)
            << c.on << "-" << c.off << " at " << c.now.toString("HH:mm:ss.zzz").toStdString();
}

class LineSchedule : public LineFixture {
protected:
    void at(int h, int m)
    {
        clock.set(QDateTime(clock.now().date(), QTime(h, m)));
        line().autoModeTick();
    }
};

TEST_F(LineSchedule, OpensInsideTheWindowAcrossMidnightAndWaitsForACall)
{
    setting("Properties\\TabLineStat", "txtTimeOn", "22:00");
    setting("Properties\\TabLineStat", "txtTimeOff", "06:00");
    load("1");
    command({ "AUTO", "22:00", "06:00" });
    EXPECT_EQ(line().lineStatus(), 1);

    at(12, 0);
    EXPECT_FALSE(tapi.isLineOpen());
    at(22, 0);
    EXPECT_FALSE(tapi.isLineOpen()) << "exactly at the start is still outside";
    at(23, 0);
    EXPECT_TRUE(tapi.isLineOpen());
    EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "0", "True" }));

    // A call in progress holds the schedule until the line is idle.
    tapi.offerCall();
    at(7, 0);
    EXPECT_TRUE(tapi.isLineOpen());
    tapi.goIdle();
    at(7, 0);
    EXPECT_FALSE(tapi.isLineOpen());
    EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "1", "True" }));
}

TEST_F(LineSchedule, EqualTimesCloseTheLineAndKeepItClosed)
{
    load("0");
    ASSERT_TRUE(tapi.isLineOpen());
    command({ "AUTO", "09:00", "09:00" });
    for (int h : { 9, 10, 0, 8 })
        at(h, 0);
    EXPECT_FALSE(tapi.isLineOpen());
    EXPECT_EQ(tapi.opens.size(), 1);
}

TEST_F(LineSchedule, InvalidTimesKeepTheLineAsItIsAndAreJournalledOnce)
{
    load("0");
    command({ "AUTO", "soon", "06:00" });
    for (int h : { 1, 2, 3, 12 })
        at(h, 0);
    EXPECT_TRUE(tapi.isLineOpen());
    EXPECT_EQ(journalText().count("is not a time window"), 1);
    // Valid times take over at once.
    command({ "AUTO", "22:00", "06:00" });
    at(12, 0);
    EXPECT_FALSE(tapi.isLineOpen());
}

TEST_F(LineSchedule, AFailingOpenIsRetriedOncePerMinuteNotEverySecond)
{
    tapi.lineOpenResult = 1007;
    load("1");
    command({ "AUTO", "00:00", "23:59" });
    for (int s = 0; s < 30; ++s) {
        clock.advanceMs(1000);
        line().autoModeTick();
    }
    EXPECT_EQ(tapi.opens.size(), 1);
    clock.advanceMs(31000);
    line().autoModeTick();
    EXPECT_EQ(tapi.opens.size(), 2);
}

TEST_F(LineSchedule, TheTimerRunsTheScheduleByItself)
{
    load("1");
    command({ "AUTO", "11:00", "13:00" }); // the clock says 12:00
    QTRY_VERIFY_WITH_TIMEOUT(tapi.isLineOpen(), 5000);
}

TEST_F(LineSchedule, StoredAutomaticModeStartsTheScheduleAtLoad)
{
    setting("Properties\\TabLineStat", "txtTimeOn", "14:00");
    setting("Properties\\TabLineStat", "txtTimeOff", "15:00");
    load("2");
    EXPECT_TRUE(line().autoTimerActive());
    at(12, 0);
    EXPECT_FALSE(tapi.isLineOpen()) << "the start opens the line; the first tick closes it";
}

} // namespace
