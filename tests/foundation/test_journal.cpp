#include "shared/journal/Journal.h"
#include "shared/settings/RegistryRoutines.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::TempHome;
using quorvel::test::readFile;

namespace {

// A fixed locale so the expected bytes do not depend on the machine: en_US writes
// "12/11/26" and "9:05:03 PM".
class JournalTest : public ::testing::Test
{
protected:
    JournalTest()
        : home(tmp.home())
        , clock(QDateTime(QDate(2026, 12, 11), QTime(21, 5, 3)))
        , journal(home, clock, LocaleText(QLocale(QLocale::English, QLocale::UnitedStates)))
    {
        home.ensure(QString());
        journal.setSystemSwitch(true);
    }

    TempHome tmp;
    DataHome home;
    ManualClock clock;
    Journal journal;
};

TEST_F(JournalTest, ServiceLineHasExactBytes)
{
    journal.journalWrite("Opening Quorvel 1.1 Process");
    journal.journalWrite("file not found", 53, "ErrTapi1_Idle");
    journal.journalWrite("Ring", 0, "Tapi_Ring(0)");
    EXPECT_EQ(readFile(home.journalDir() + "/12-11-26_Sys.txt"),
              QByteArray("9:05:03 PM : ->Opening Quorvel 1.1 Process(0)\r\n"
                         "9:05:03 PM : ErrTapi1_Idle->file not found(53)\r\n"
                         "9:05:03 PM : Tapi_Ring(0)->Ring(0)\r\n"));
}

TEST_F(JournalTest, LineAfterMidnightStartsTheNextDaysFile)
{
    clock.set(QDateTime(QDate(2026, 12, 11), QTime(23, 59, 59)));
    journal.journalWrite("before");
    clock.advanceMs(2000);
    journal.journalWrite("after");
    EXPECT_EQ(readFile(home.journalDir() + "/12-11-26_Sys.txt"),
              QByteArray("11:59:59 PM : ->before(0)\r\n"));
    EXPECT_EQ(readFile(home.journalDir() + "/12-12-26_Sys.txt"),
              QByteArray("12:00:01 AM : ->after(0)\r\n"));
}

TEST_F(JournalTest, SwitchOffWritesNoFileAndSwitchesComeFromSettings)
{
    RegistryRoutines reg(home.settingsFile());
    reg.setSubkey("Properties\\TabLog");
    journal.loadSwitches(reg); // absent: off
    journal.journalWrite("nothing");
    EXPECT_TRUE(QDir(home.journalDir()).entryList(QDir::Files).isEmpty());

    reg.setRegistryValue("chkLogSys", "1");
    reg.setRegistryValue("chkLogCalls", "0");
    journal.loadSwitches(reg);
    EXPECT_TRUE(journal.systemSwitch());
    EXPECT_FALSE(journal.callsSwitch());
    journal.journalCall("a call"); // calls switch off
    EXPECT_FALSE(QFile::exists(home.journalDir() + "/12-11-26_Calls.txt"));
}

TEST_F(JournalTest, DottedDateFormatKeepsItsDots)
{
    Journal german(home, clock, LocaleText(QLocale(QLocale::German, QLocale::Germany)));
    german.setSystemSwitch(true);
    german.journalWrite("x");
    EXPECT_TRUE(QFile::exists(home.journalDir() + "/11.12.26_Sys.txt"));
}

TEST_F(JournalTest, MissingJournalFolderLosesTheLineQuietly)
{
    QDir(home.journalDir()).removeRecursively();
    journal.journalWrite("lost");
    EXPECT_FALSE(QFile::exists(home.journalDir()));
}

TEST_F(JournalTest, RetentionDeletesOnlyFilesOlderThanTheLimit)
{
    auto make = [&](const QString &name, const QDateTime &modified) {
        const QString path = home.journalDir() + '/' + name;
        quorvel::test::writeFile(path, "x\r\n");
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadWrite));
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    };
    const QDateTime now = clock.now();
    make("old_Sys.txt", now.addMonths(-1).addSecs(-60));
    make("recent_Calls.txt", now.addMonths(-1).addSecs(60));
    make("LogDir", now.addYears(-3));
    make("older_WWW.txt", now.addMonths(-2).addDays(-1));

    RegistryRoutines reg(home.settingsFile());
    reg.setSubkey("Properties\\TabLog");
    struct Case {
        const char *stored; // nullptr = absent
        int months;
    };
    for (const Case &c : {Case{nullptr, 0}, Case{"3", 0}, Case{"x", 0}, Case{"2", 3},
                          Case{"1", 2}, Case{"0", 1}}) {
        if (c.stored)
            reg.setRegistryValue("cmbLogFor", c.stored);
        EXPECT_EQ(Journal::monthsToKeep(reg), c.months) << (c.stored ? c.stored : "absent");
    }

    EXPECT_EQ(journal.purgeJournal(0), 0);
    EXPECT_EQ(journal.purgeJournal(2), 1); // older_WWW.txt only
    EXPECT_EQ(journal.purgeJournal(1), 1); // then old_Sys.txt
    QStringList left = QDir(home.journalDir()).entryList(QDir::Files);
    left.sort();
    EXPECT_EQ(left, QStringList({"LogDir", "recent_Calls.txt"}));
}

} // namespace
