#include "shared/common/DataHome.h"
#include "shared/common/TextCodec.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::readFile;
using quorvel::test::TempHome;
using quorvel::test::writeFile;

TEST(DataHome, ResolvesFromTheEnvironment)
{
    TempHome tmp;
    EXPECT_EQ(DataHome::fromEnvironment().root(), tmp.home());
    qunsetenv("QUORVEL_HOME");
    qputenv("XDG_DATA_HOME", "/tmp/xdg-data");
    EXPECT_EQ(DataHome::fromEnvironment().root(), "/tmp/xdg-data/quorvel");
}

TEST(DataHome, EnsureCreatesFoldersAndCopiesShippedFilesWithoutOverwriting)
{
    TempHome tmp;
    const QString shipped = tmp.path("../shipped");
    writeFile(shipped + "/Trans/eng.txt", "shipped");
    writeFile(shipped + "/Beep.wav", "beep");
    DataHome home(tmp.home());
    writeFile(home.path("Trans/eng.txt"), "user's own");

    ASSERT_TRUE(home.ensure(shipped));
    for (const char *folder : {"Data/Log", "Journal", "Trans", "Greets", "Sound", "Pics"})
        EXPECT_TRUE(QDir(home.path(folder)).exists()) << folder;
    EXPECT_EQ(readFile(home.path("Trans/eng.txt")), "user's own");
    EXPECT_EQ(readFile(home.beepFile()), "beep");
}

TEST(DataHome, ContainsRefusesPathsThatLeaveTheFolder)
{
    TempHome tmp;
    DataHome home(tmp.home());
    home.ensure(QString());
    QFile::link("/etc", home.path("Greets/escape"));
    struct Case {
        QString path;
        bool inside;
    } cases[] = {
        {home.path("Greets/tmpTTSGreet.wav"), true},
        {home.path("Greets/new/deeper.wav"), true},
        {home.path("Greets/../settings.ini"), false},
        {home.path("Greets/escape/passwd"), false},
        {"/etc/passwd", false},
        {home.path("Greets"), false},
        {QString(), false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(home.contains(c.path, "Greets"), c.inside) << c.path.toStdString();
}

TEST(TextCodec, DecodesUtf8OrWindows1252AndCutsAtCharacters)
{
    EXPECT_EQ(TextCodec::decode("caf\xc3\xa9"), QString::fromUtf8("café"));
    EXPECT_EQ(TextCodec::decode("caf\xe9 \x80"), QString::fromUtf8("café €"));
    EXPECT_FALSE(TextCodec::isValidUtf8("\xc0\xaf"));     // overlong
    EXPECT_FALSE(TextCodec::isValidUtf8("\xed\xa0\x80")); // surrogate
    EXPECT_FALSE(TextCodec::isValidUtf8("\xe2\x82"));     // cut short
    EXPECT_EQ(TextCodec::encodeCut(QString::fromUtf8("aé"), 2), QByteArray("a"));
    EXPECT_EQ(TextCodec::encodeCut(QString::fromUtf8("aé"), 3), QByteArray("a\xc3\xa9"));
    EXPECT_EQ(TextCodec::encodeCut(QString::fromUtf8("€"), 2), QByteArray());
    EXPECT_EQ(TextCodec::splitLines("a\r\nb\rc\n\r\n"), QStringList({"a", "b", "c", ""}));
}
