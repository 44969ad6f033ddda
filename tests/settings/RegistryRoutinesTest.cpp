#include "shared/settings/RegistryRoutines.h"
#include "shared/common/DataHome.h"
#include "shared/settings/SettingsStore.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/settings/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::readFile;
using quorvel::test::TempHome;
using quorvel::test::writeFile;

namespace {

class RegistryRoutinesTest : public ::testing::Test {
protected:
    RegistryRoutines reg(const QString &section = QString()) const
    {
        RegistryRoutines r(file);
        r.setSubkey(section);
        return r;
    }
    TempHome home;
    QString file = DataHome::fromEnvironment().settingsFile();
};

TEST_F(RegistryRoutinesTest, AbsentIsNotEmpty)
{
    auto r = reg(QStringLiteral("Properties\\TabDevices"));
    // No file at all: every read is absent, nothing is created by reading.
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("cmbSoundDev")), std::nullopt);
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("cmbSoundDev"), QStringLiteral("dflt")),
              QStringLiteral("dflt"));
    EXPECT_FALSE(r.keyExists());
    EXPECT_FALSE(QFile::exists(file));

    ASSERT_TRUE(r.setRegistryValue(QStringLiteral("cmbSoundDev"), QString()));
    ASSERT_TRUE(
        r.setRegistryValue(QStringLiteral("chkDisplayRecomendedDevices"), QStringLiteral("0")));
    const auto empty = reg(QStringLiteral("Properties\\TabDevices"))
                           .getRegistryValue(QStringLiteral("cmbSoundDev"));
    ASSERT_TRUE(empty.has_value());
    EXPECT_TRUE(empty->isEmpty());
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("cmbSoundDev"), QStringLiteral("dflt")), QString());
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("chkDisplayRecomendedDevices")),
              QStringLiteral("0"));

    // Absent converts to 0/false; "" is a conversion error; "0" is false; other numbers true.
    struct Conv {
        std::optional<QString> in;
        int number;
        bool boolean;
        bool ok;
    };
    const Conv conv[] = {
        { std::nullopt, 0, false, true },
        { QStringLiteral(""), 0, false, false },
        { QStringLiteral("0"), 0, false, true },
        { QStringLiteral("1"), 1, true, true },
        { QStringLiteral("-3"), -3, true, true },
        { QStringLiteral(" 12 "), 12, true, true },
        { QStringLiteral("2147483647"), 2147483647, true, true },
        { QStringLiteral("2147483648"), 0, false, false },
        { QStringLiteral("-2147483648"), -2147483647 - 1, true, true },
        { QStringLiteral("True"), 0, false, false },
        { QStringLiteral("1.5"), 0, false, false },
        { QStringLiteral("-"), 0, false, false },
        { QStringLiteral("12abc"), 0, false, false },
    };
    for (const Conv &c : conv) {
        const QString label = c.in ? *c.in : QStringLiteral("<absent>");
        bool ok = !c.ok;
        EXPECT_EQ(settingToInt(c.in, &ok), c.number) << label.toStdString();
        EXPECT_EQ(ok, c.ok) << label.toStdString();
        ok = !c.ok;
        EXPECT_EQ(settingToBool(c.in, &ok), c.boolean) << label.toStdString();
        EXPECT_EQ(ok, c.ok) << label.toStdString();
    }
}

TEST_F(RegistryRoutinesTest, NamesAreCaseInsensitiveAndKeepTheirFirstSpelling)
{
    auto r = reg(QStringLiteral("Properties\\TabLog"));
    ASSERT_TRUE(r.setRegistryValue(QStringLiteral("chkLogSys"), QStringLiteral("1")));
    auto other = reg(QStringLiteral("PROPERTIES\\tablog"));
    EXPECT_EQ(other.getRegistryValue(QStringLiteral("CHKLOGSYS")), QStringLiteral("1"));
    ASSERT_TRUE(other.setRegistryValue(QStringLiteral("CHKLOGSYS"), QStringLiteral("0")));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("chkLogSys")), QStringLiteral("0"));

    EXPECT_EQ(r.enumRegistryValues(QStringLiteral("properties\\tablog")),
              QStringList { QStringLiteral("chkLogSys") });
    EXPECT_EQ(r.enumRegistryKeys(QString()), QStringList { QStringLiteral("Properties") });
    EXPECT_EQ(r.enumRegistryKeys(QStringLiteral("PROPERTIES")),
              QStringList { QStringLiteral("TabLog") });
    const QByteArray bytes = readFile(file);
    EXPECT_TRUE(bytes.contains("[Properties\\TabLog]\r\nchkLogSys=0\r\n")) << bytes.constData();
    EXPECT_FALSE(bytes.contains("CHKLOGSYS"));
    EXPECT_FALSE(bytes.contains("PROPERTIES"));
}

TEST_F(RegistryRoutinesTest, ValuesAndSectionsEnumerateInCreationOrder)
{
    auto voices = reg(QStringLiteral("TTS51"));
    const QStringList names = { QStringLiteral("Zira"), QStringLiteral("alpha"),
                                QStringLiteral("Mike"), QStringLiteral("bravo") };
    for (const QString &n : names)
        ASSERT_TRUE(voices.setRegistryValue(n, QString()));
    EXPECT_EQ(voices.enumRegistryValues(QStringLiteral("TTS51")), names);

    // Rewriting keeps the place; deleting and writing again moves the value to the end.
    ASSERT_TRUE(voices.setRegistryValue(QStringLiteral("ZIRA"), QStringLiteral("x")));
    EXPECT_EQ(voices.enumRegistryValues(QStringLiteral("TTS51")), names);
    EXPECT_EQ(voices.deleteValue(QStringLiteral("alpha")), RegistryRoutines::kSuccess);
    ASSERT_TRUE(voices.setRegistryValue(QStringLiteral("ALPHA"), QString()));
    EXPECT_EQ(voices.enumRegistryValues(QStringLiteral("TTS51")),
              (QStringList { QStringLiteral("Zira"), QStringLiteral("Mike"),
                             QStringLiteral("bravo"), QStringLiteral("ALPHA") }));
    EXPECT_EQ(voices.enumRegistryValues(QStringLiteral("NoSuchSection")), QStringList());

    // Sections: direct children only, in creation order; parents exist through their children.
    for (const char *s : { "Access\\Phone\\Messages", "RemoteAccess\\TabPhoneAccess",
                           "Access\\Phone\\Digits", "Access\\Other", "Language" })
        ASSERT_EQ(reg().createKey(QString::fromLatin1(s)), QStringLiteral("0")) << s;
    auto r = reg();
    EXPECT_EQ(r.enumRegistryKeys(QString()),
              (QStringList { QStringLiteral("TTS51"), QStringLiteral("Access"),
                             QStringLiteral("RemoteAccess"), QStringLiteral("Language") }));
    EXPECT_EQ(r.enumRegistryKeys(QStringLiteral("Access")),
              (QStringList { QStringLiteral("Phone"), QStringLiteral("Other") }));
    EXPECT_EQ(r.enumRegistryKeys(QStringLiteral("Access\\Phone")),
              (QStringList { QStringLiteral("Messages"), QStringLiteral("Digits") }));
    EXPECT_EQ(r.enumRegistryKeys(QStringLiteral("Language")), QStringList());
    EXPECT_EQ(r.enumRegistryKeys(QStringLiteral("Nothing")), QStringList());
    r.setSubkey(QStringLiteral("Access\\Phone"));
    EXPECT_TRUE(r.keyExists());
    r.setSubkey(QStringLiteral("Access\\Ph"));
    EXPECT_FALSE(r.keyExists());
}

TEST_F(RegistryRoutinesTest, RootSectionAndMissingSections)
{
    auto root = reg(QString());
    EXPECT_TRUE(root.keyExists());
    ASSERT_TRUE(root.setRegistryValue(QStringLiteral("bRun"), QStringLiteral("1")));
    ASSERT_TRUE(root.setRegistryValue(QStringLiteral("TreeWidth"), QStringLiteral("300")));
    EXPECT_EQ(reg(QStringLiteral("\\")).getRegistryValue(QStringLiteral("BRUN")),
              QStringLiteral("1"));
    EXPECT_EQ(root.enumRegistryValues(QString()),
              (QStringList { QStringLiteral("bRun"), QStringLiteral("TreeWidth") }));
    EXPECT_TRUE(readFile(file).contains("\r\nbRun=1\r\nTreeWidth=300\r\n"));

    // There is no installer to create sections: the first write does.
    auto answer = reg(QStringLiteral("Answer\\TabAnsweringMachine"));
    EXPECT_FALSE(answer.keyExists());
    EXPECT_EQ(answer.getRegistryValue(QStringLiteral("txtNumOfRing")), std::nullopt);
    ASSERT_TRUE(answer.setRegistryValue(QStringLiteral("txtNumOfRing"), QStringLiteral("4")));
    EXPECT_TRUE(answer.keyExists());

    // createKey with no name creates the current section; an existing one is left alone.
    auto tts = reg(QStringLiteral("TTS51"));
    EXPECT_FALSE(tts.keyExists());
    EXPECT_EQ(tts.createKey(), QStringLiteral("0"));
    EXPECT_TRUE(tts.keyExists());
    EXPECT_EQ(tts.enumRegistryValues(QStringLiteral("TTS51")), QStringList());
    EXPECT_EQ(tts.createKey(QStringLiteral("tts51")), QStringLiteral("0"));
    EXPECT_EQ(root.enumRegistryKeys(QString()).filter(QStringLiteral("TTS51"), Qt::CaseInsensitive),
              QStringList { QStringLiteral("TTS51") });

    // A name the file cannot keep on one line is refused, not mangled.
    EXPECT_EQ(reg().createKey(QStringLiteral("Bad\nName")), QString());
    auto bad = reg(QStringLiteral("Bad\rSection"));
    EXPECT_FALSE(bad.setRegistryValue(QStringLiteral("x"), QStringLiteral("1")));
    EXPECT_FALSE(readFile(file).contains("Bad"));
}

TEST_F(RegistryRoutinesTest, DeleteResultCodes)
{
    auto r = reg(QStringLiteral("CallController"));
    EXPECT_EQ(r.deleteValue(QStringLiteral("Left")), RegistryRoutines::kNotFound); // no file
    ASSERT_TRUE(r.setRegistryValue(QStringLiteral("Left"), QStringLiteral("10")));
    EXPECT_EQ(r.deleteValue(QStringLiteral("Top")), RegistryRoutines::kNotFound);
    EXPECT_EQ(r.deleteValue(QStringLiteral("LEFT")), RegistryRoutines::kSuccess);
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("Left")), std::nullopt);
    EXPECT_EQ(r.deleteValue(QStringLiteral("Left")), RegistryRoutines::kNotFound);
    EXPECT_TRUE(r.keyExists()); // the section stays when its last value goes

    ASSERT_TRUE(
        reg(QStringLiteral("A\\B")).setRegistryValue(QStringLiteral("x"), QStringLiteral("1")));
    EXPECT_EQ(r.deleteKey(QStringLiteral("A")), RegistryRoutines::kAccessDenied); // has "B"
    EXPECT_EQ(r.deleteKey(QStringLiteral("a\\b")), RegistryRoutines::kSuccess);
    EXPECT_EQ(reg(QStringLiteral("A\\B")).getRegistryValue(QStringLiteral("x")), std::nullopt);
    EXPECT_TRUE(reg(QStringLiteral("A")).keyExists()); // the parent stays
    EXPECT_EQ(r.deleteKey(QStringLiteral("A")), RegistryRoutines::kSuccess);
    EXPECT_EQ(r.deleteKey(QStringLiteral("A")), RegistryRoutines::kNotFound);
    EXPECT_EQ(r.deleteKey(QString()), RegistryRoutines::kAccessDenied);
}

TEST_F(RegistryRoutinesTest, TrimNullAndValueTypes)
{
    struct Trim {
        QString in;
        QString out;
    };
    const Trim trims[] = {
        { QStringLiteral("abc") + QChar(0) + QStringLiteral("def"), QStringLiteral("abc") },
        { QStringLiteral("abc"), QStringLiteral("abc") },
        { QString(QChar(0)) + QStringLiteral("x"), QString() },
        { QString(), QString() },
    };
    for (const Trim &t : trims)
        EXPECT_EQ(RegistryRoutines::trimNull(t.in), t.out);

    auto r = reg(QStringLiteral("Types"));
    EXPECT_TRUE(r.setRegistryValue(QStringLiteral("n"), QStringLiteral(" 42"),
                                   RegistryRoutines::kRegDword));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("n")), QStringLiteral("42"));
    EXPECT_FALSE(r.setRegistryValue(QStringLiteral("bad"), QStringLiteral("x"),
                                    RegistryRoutines::kRegDword));
    EXPECT_FALSE(r.setRegistryValue(QStringLiteral("other"), QStringLiteral("x"), 11));
    EXPECT_TRUE(r.setRegistryValue(QStringLiteral("e"), QStringLiteral("%HOME%"),
                                   RegistryRoutines::kRegExpandSz));
    EXPECT_EQ(r.enumRegistryValues(QStringLiteral("Types")),
              (QStringList { QStringLiteral("n"), QStringLiteral("e") }));
}

TEST_F(RegistryRoutinesTest, EveryWriteOfAnotherObjectIsSeenAtTheNextRead)
{
    // Same size, same inode number possibly reused, same clock tick: the reader must still
    // notice each change.
    auto reader = reg(QStringLiteral("Properties\\TabGeneral"));
    auto writer = reg(QStringLiteral("Properties\\TabGeneral"));
    ASSERT_TRUE(writer.setRegistryValue(QStringLiteral("ChkRunAsProc"), QStringLiteral("0")));
    for (int i = 0; i < 200; ++i) {
        const QString v = QString::number(i % 2);
        ASSERT_TRUE(writer.setRegistryValue(QStringLiteral("ChkRunAsProc"), v));
        ASSERT_EQ(reader.getRegistryValue(QStringLiteral("ChkRunAsProc")), v) << i;
    }
    // A change made behind the store's back (an editor) is seen as well.
    const QByteArray edited = readFile(file).replace("ChkRunAsProc=1", "ChkRunAsProc=7");
    QFile::remove(file);
    writeFile(file, edited);
    EXPECT_EQ(reader.getRegistryValue(QStringLiteral("ChkRunAsProc")), QStringLiteral("7"));
}

TEST_F(RegistryRoutinesTest, DamagedFileIsReadNotRewrittenUntilAWriteAndThenKept)
{
    QByteArray damaged = "bRun=1\r\n[Language]\r\nSelect=eng.txt\r\n";
    for (int i = 0; i < 300; ++i)
        damaged.append(char(i * 31 % 256));
    damaged += "\r\n[Properties\\TabLog]\r\nchkLogSys=1\r\n[Properties\\TabGen";
    writeFile(file, damaged);

    auto r = reg(QStringLiteral("Language"));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("Select")), QStringLiteral("eng.txt"));
    r.setSubkey(QStringLiteral("Properties\\TabLog"));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("chkLogSys")), QStringLiteral("1"));
    EXPECT_FALSE(r.lastReadProblems().isEmpty());
    // Each damaged version is journaled once, however often it is read.
    EXPECT_FALSE(r.takeReadProblems().isEmpty());
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("chkLogSys")), QStringLiteral("1"));
    EXPECT_TRUE(r.takeReadProblems().isEmpty());
    EXPECT_FALSE(r.lastReadProblems().isEmpty());
    EXPECT_EQ(readFile(file), damaged); // reading wrote nothing

    ASSERT_TRUE(r.setRegistryValue(QStringLiteral("chkLogCalls"), QStringLiteral("0")));
    EXPECT_TRUE(r.lastWriteNote().contains(QStringLiteral(".damaged-")));
    const QStringList kept = QDir(QFileInfo(file).absolutePath())
                                 .entryList({ QStringLiteral("settings.ini.damaged-*") });
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readFile(QFileInfo(file).absolutePath() + u'/' + kept[0]), damaged);

    auto fresh = reg(QStringLiteral("Properties\\TabLog"));
    EXPECT_TRUE(fresh.lastReadProblems().isEmpty());
    EXPECT_EQ(fresh.getRegistryValue(QStringLiteral("chkLogSys")), QStringLiteral("1"));
    EXPECT_EQ(fresh.getRegistryValue(QStringLiteral("chkLogCalls")), QStringLiteral("0"));
    fresh.setSubkey(QString());
    EXPECT_EQ(fresh.getRegistryValue(QStringLiteral("bRun")), QStringLiteral("1"));
    // The next write of a clean file keeps nothing aside.
    ASSERT_TRUE(fresh.setRegistryValue(QStringLiteral("bRun"), QStringLiteral("0")));
    EXPECT_EQ(QDir(QFileInfo(file).absolutePath())
                  .entryList({ QStringLiteral("settings.ini.damaged-*") })
                  .size(),
              1);
}

TEST_F(RegistryRoutinesTest, OldWindows1252FileIsReadAndRewrittenAsUtf8)
{
    writeFile(file, "[Answer\\TabAnsweringMachine]\r\nCmbGreetsMessages=Bienvenue \xE0 tous\r\n");
    auto r = reg(QStringLiteral("Answer\\TabAnsweringMachine"));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("CmbGreetsMessages")),
              QStringLiteral("Bienvenue \u00E0 tous"));
    EXPECT_EQ(r.lastReadProblems().size(), 1);
    ASSERT_TRUE(r.setRegistryValue(QStringLiteral("txtNumOfRing"), QStringLiteral("3")));
    EXPECT_TRUE(readFile(file).contains("CmbGreetsMessages=Bienvenue \xC3\xA0 tous\r\n"));
    EXPECT_TRUE(r.lastReadProblems().isEmpty());
}

TEST_F(RegistryRoutinesTest, UnreadableFileIsNeverReplaced)
{
    // Something that cannot be read as the settings file: a folder in its place.
    ASSERT_TRUE(QDir().mkpath(file));
    auto r = reg(QStringLiteral("Language"));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("Select")), std::nullopt);
    EXPECT_FALSE(r.lastReadProblems().isEmpty());
    EXPECT_FALSE(r.setRegistryValue(QStringLiteral("Select"), QStringLiteral("eng.txt")));
    EXPECT_FALSE(r.lastWriteNote().isEmpty());
    EXPECT_EQ(r.deleteValue(QStringLiteral("Select")), RegistryRoutines::kAccessDenied);
    EXPECT_EQ(r.createKey(QStringLiteral("New")), QString());
    EXPECT_TRUE(QFileInfo(file).isDir());
}

TEST_F(RegistryRoutinesTest, LinkedFileIsReplacedBehindItsLink)
{
    const QString real = home.path(QStringLiteral("elsewhere/real.ini"));
    writeFile(real, "[Language]\r\nSelect=deu.txt\r\n");
    ASSERT_TRUE(QFile::link(real, file));
    auto r = reg(QStringLiteral("Language"));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("Select")), QStringLiteral("deu.txt"));
    ASSERT_TRUE(r.setRegistryValue(QStringLiteral("Select"), QStringLiteral("eng.txt")));
    EXPECT_TRUE(QFileInfo(file).isSymLink());
    EXPECT_TRUE(readFile(real).contains("Select=eng.txt"));
    EXPECT_EQ(r.getRegistryValue(QStringLiteral("Select")), QStringLiteral("eng.txt"));
}

TEST_F(RegistryRoutinesTest, ObjectsSharingAStoreShareItsCopy)
{
    auto store = std::make_shared<SettingsStore>(file);
    RegistryRoutines a(store);
    RegistryRoutines b(store);
    a.setSubkey(QStringLiteral("Dater"));
    b.setSubkey(QStringLiteral("dater"));
    ASSERT_TRUE(a.setRegistryValue(QStringLiteral("Left"), QStringLiteral("5")));
    EXPECT_EQ(b.getRegistryValue(QStringLiteral("left")), QStringLiteral("5"));
    EXPECT_EQ(b.filePath(), file);
}

} // namespace
