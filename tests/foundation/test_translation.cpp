#include "shared/translation/TranslationTable.h"
#include "tests/support/TempHome.h"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::TempHome;
using quorvel::test::writeFile;

namespace {

QByteArray languageFile(int lines, const QByteArray &line10, const QByteArray &line1 = "Basic")
{
    QByteArray out;
    for (int i = 1; i <= lines; ++i) {
        if (i == 1)
            out += line1;
        else if (i == 10)
            out += line10;
        else
            out += "Text " + QByteArray::number(i);
        out += "\r\n";
    }
    return out;
}

TEST(TranslationTable, DesktopDirectionNeedsAllLinesAndExactlyRTL)
{
    TempHome tmp;
    struct Case {
        int lines;
        QByteArray line10;
        bool rtl;
        int result;
    } cases[] = {
        {1000, "RTL", true, 0},
        {1000, "RightToLeft", false, 0}, // the editor's spelling does not switch the desktop
        {1000, "rtl", false, 0},
        {1000, "LTR", false, 0},
        {999, "RTL", false, TranslationTable::kErrorEndOfFile},
    };
    for (const Case &c : cases) {
        const QString path = tmp.path("lang.txt");
        writeFile(path, languageFile(c.lines, c.line10));
        TranslationTable table;
        EXPECT_EQ(table.loadLanguageFile(path), c.result) << c.lines << c.line10.constData();
        EXPECT_EQ(table.rightToLeft(), c.rtl) << c.lines << c.line10.constData();
        EXPECT_EQ(table.size(), TranslationTable::kDesktopEntries);
        EXPECT_EQ(table.entry(c.lines), "Text " + QString::number(c.lines));
        EXPECT_EQ(table.entry(1000 + 1), QString());
    }
}

TEST(TranslationTable, ShortFileKeepsWhatWasReadAndLoneCrEndsALine)
{
    TempHome tmp;
    const QString path = tmp.path("short.txt");
    writeFile(path, "Unknown\rsecond\r\nthird\nfourth");
    TranslationTable table;
    EXPECT_EQ(table.loadLanguageFile(path), TranslationTable::kErrorEndOfFile);
    EXPECT_EQ(table.entry(1), "Unknown");
    EXPECT_EQ(table.entry(2), "second");
    EXPECT_EQ(table.entry(3), "third");
    EXPECT_EQ(table.entry(4), "fourth");
    EXPECT_EQ(table.entry(5), QString());
}

TEST(TranslationTable, ServiceReadsTwentyLines)
{
    TempHome tmp;
    const QString path = tmp.path("user.txt");
    writeFile(path, languageFile(1000, "LTR", "1"));
    TranslationTable table;
    EXPECT_EQ(table.loadServiceTexts(path), 0);
    EXPECT_EQ(table.size(), TranslationTable::kServiceEntries);
    EXPECT_EQ(table.entry(1), "1"); // a user-made translation's marker is the display name
    EXPECT_EQ(table.entry(20), "Text 20");
    EXPECT_EQ(table.entry(21), QString());
}

TEST(TranslationTable, MissingFileOrFolderFailsAndLeavesEntriesEmpty)
{
    TempHome tmp;
    TranslationTable table;
    EXPECT_NE(table.loadServiceTexts(tmp.path("none.txt")), 0);
    EXPECT_NE(table.loadLanguageFile(tmp.home()), 0);
    EXPECT_EQ(table.entry(1), QString());
    EXPECT_FALSE(table.rightToLeft());
}

TEST(TranslationTable, Windows1252FileReadsWithItsAccents)
{
    TempHome tmp;
    const QString path = tmp.path("fra.txt");
    writeFile(path, "Appel inconnu \xe9t\xe9\r\n");
    TranslationTable table;
    table.loadServiceTexts(path);
    EXPECT_EQ(table.entry(1), QString::fromUtf8("Appel inconnu été"));
}

TEST(TranslationTable, ShippedEnglishFileHasTheRolesTheProgramsNeed)
{
    TranslationTable desktop;
    const QString path = QStringLiteral(QUORVEL_TEST_SOURCE_DIR "/../data/Trans/eng.txt");
    ASSERT_EQ(desktop.loadLanguageFile(path), 0);
    EXPECT_NE(desktop.entry(1), "1"); // a basic translation
    EXPECT_FALSE(desktop.entry(1).isEmpty());
    EXPECT_EQ(desktop.entry(10), "LTR");
    EXPECT_FALSE(desktop.entry(13).isEmpty());
}

} // namespace
