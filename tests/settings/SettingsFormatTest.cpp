#include "shared/settings/SettingsFormat.h"

#include "tests/settings/QtPrinters.h"

#include <gtest/gtest.h>

using namespace quorvel;

namespace {

QString show(const QString &s)
{
    return SettingsFormat::escapeValue(s);
}

// Texts that a line-oriented file could easily bend: each must read back exactly.
const QStringList &awkwardTexts()
{
    static const QStringList texts = [] {
        QStringList t;
        t << QStringLiteral("") << QStringLiteral(" ") << QStringLiteral("  two leading")
          << QStringLiteral("trailing  ") << QStringLiteral("\ttab\t") << QStringLiteral("a\\b")
          << QStringLiteral("\\") << QStringLiteral("ends in \\") << QStringLiteral("\\n is not LF")
          << QStringLiteral("\\s\\x41\\u0042") << QStringLiteral("line1\r\nline2")
          << QStringLiteral("\n") << QStringLiteral("\r") << QStringLiteral("=")
          << QStringLiteral("a=b=c") << QStringLiteral("[not a header]")
          << QStringLiteral("; not a comment") << QStringLiteral("# nor this")
          << QStringLiteral("caf\u00E9 \u20AC \u0644\u063A\u0629") << QStringLiteral("\u00FF\u0080")
          << QString::fromUtf16(u"emoji \U0001F4DE") << QStringLiteral("\x01\x1F\x7F")
          << (QStringLiteral("nul") + QChar(0) + QStringLiteral("after")) << QString(QChar(0xD800))
          << (QStringLiteral("x") + QChar(0xDC00)) << QStringLiteral("\uFEFFbom inside")
          << QString(10000, QChar(u'x'));
        return t;
    }();
    return texts;
}

TEST(SettingsFormat, AwkwardValuesAndNamesRoundTrip)
{
    SettingsTree tree;
    const QStringList &texts = awkwardTexts();
    for (int i = 0; i < texts.size(); ++i) {
        tree.setValue(QString(), QStringLiteral("root%1").arg(i), texts[i]);
        tree.setValue(QStringLiteral("Values"), QStringLiteral("v%1").arg(i), texts[i]);
        // As a value name too (the voices of "TTS51" are names chosen by someone else).
        tree.setValue(QStringLiteral("Names"), texts[i], QString::number(i));
    }
    const QByteArray bytes = SettingsFormat::serialize(tree);
    const SettingsFormat::ParseResult back = SettingsFormat::parse(bytes);
    EXPECT_TRUE(back.problems.isEmpty()) << back.problems.join(u'\n').toStdString();
    EXPECT_FALSE(back.damaged);
    for (int i = 0; i < texts.size(); ++i) {
        const auto v = back.tree.value(QStringLiteral("Values"), QStringLiteral("v%1").arg(i));
        ASSERT_TRUE(v.has_value()) << i;
        EXPECT_EQ(*v, texts[i]) << "value " << i << ": " << show(texts[i]).toStdString();
        EXPECT_FALSE(v->isNull());
        EXPECT_EQ(back.tree.value(QString(), QStringLiteral("root%1").arg(i)), texts[i]) << i;
    }
    // Names keep their order and spelling. Two of the texts differ only in case-folding terms
    // ("" vs nothing), so compare the whole list.
    const SettingsTree::Section *names = back.tree.findSection(QStringLiteral("Names"));
    ASSERT_NE(names, nullptr);
    const SettingsTree::Section *orig = tree.findSection(QStringLiteral("Names"));
    ASSERT_EQ(names->values.size(), orig->values.size());
    for (size_t k = 0; k < names->values.size(); ++k) {
        EXPECT_EQ(names->values[k].name, orig->values[k].name) << k;
        EXPECT_EQ(names->values[k].data, orig->values[k].data) << k;
    }
    EXPECT_TRUE(back.tree == tree);
}

TEST(SettingsFormat, FileIsReadableTextWithCrLf)
{
    SettingsTree tree;
    tree.setValue(QString(), QStringLiteral("bRun"), QStringLiteral("1"));
    tree.setValue(QStringLiteral("Properties\\TabGeneral"), QStringLiteral("ChkRunAsProc"),
                  QStringLiteral("0"));
    tree.setValue(QStringLiteral("Events\\TabInCommingCall"), QStringLiteral("IC_txtTTS"),
                  QStringLiteral(" Call from %NAME%"));
    tree.ensureSection(QStringLiteral("TTS51"));
    const QByteArray bytes = SettingsFormat::serialize(tree);
    const QByteArray body = bytes.mid(bytes.indexOf("\r\n\r\n") + 4);
    EXPECT_EQ(body,
              QByteArray("bRun=1\r\n"
                         "\r\n[Properties\\TabGeneral]\r\nChkRunAsProc=0\r\n"
                         "\r\n[Events\\TabInCommingCall]\r\nIC_txtTTS=\\sCall from %NAME%\r\n"
                         "\r\n[TTS51]\r\n"));
    EXPECT_FALSE(bytes.contains('\n' + QByteArray("\n")));
}

struct ParseCase {
    const char *what;
    QByteArray bytes;
    const char *section;
    const char *name;
    std::optional<QString> expected;
};

TEST(SettingsFormat, HandWrittenFilesReadAsMeant)
{
    const ParseCase cases[] = {
        { "blanks around = are padding", "[Language]\n  Select =  eng.txt  \n", "Language",
          "Select", QStringLiteral("eng.txt") },
        { "LF only", "[A]\nx=1\ny=2\n", "A", "y", QStringLiteral("2") },
        { "lone CR ends a line", "[A]\rx=1\ry=2\r", "A", "y", QStringLiteral("2") },
        { "mixed line ends", "[A]\r\nx=1\ny=2\rz=3\r\n", "A", "z", QStringLiteral("3") },
        { "BOM at the start",
          "\xEF\xBB\xBF"
          "bRun=1\r\n",
          "", "bRun", QStringLiteral("1") },
        { "root values before any header", "bRun=1\n[A]\nx=1\n", "", "bRun", QStringLiteral("1") },
        { "[] returns to the root", "[A]\nx=1\n[]\nbRun=0\n", "", "bRun", QStringLiteral("0") },
        { "comments are skipped", "; a=1\n# b=2\n[A]\n  ; c=3\nd=4\n", "A", "c", std::nullopt },
        { "empty value is not absent", "[A]\nx=\n", "A", "x", QStringLiteral("") },
        { "only the first = splits", "[P]\ncmbATCommands=AT+VCID=1\n", "P", "cmbATCommands",
          QStringLiteral("AT+VCID=1") },
        { "header parts normalized", "[\\Access\\\\Phone\\]\nx=1\n", "Access\\Phone", "x",
          QStringLiteral("1") },
        { "header keeps a ] inside", "[odd]name]\nx=1\n", "odd]name", "x", QStringLiteral("1") },
        { "same section twice merges", "[A]\nx=1\n[B]\n[a]\ny=2\n", "A", "y", QStringLiteral("2") },
        { "last line without end", "[A]\nx=1", "A", "x", QStringLiteral("1") },
        { "unnamed value", "[A]\n=dflt\n", "A", "", QStringLiteral("dflt") },
    };
    for (const ParseCase &c : cases) {
        const auto r = SettingsFormat::parse(c.bytes);
        EXPECT_EQ(r.tree.value(QString::fromUtf8(c.section), QString::fromUtf8(c.name)), c.expected)
            << c.what;
    }
}

struct ProblemCase {
    const char *what;
    QByteArray bytes;
    bool damaged;
    const char *problemContains;
};

TEST(SettingsFormat, ProblemsAreReportedWithTheirLine)
{
    const ProblemCase cases[] = {
        { "clean file", "[A]\r\nx=1\r\n", false, nullptr },
        { "duplicate value", "[A]\nx=1\nX=2\n", false, "line 3: value \"X\" appears twice" },
        { "unknown escape", "[P]\npath=C:\\Temp\n", false, "line 2: unknown escape \"\\T\"" },
        { "lone backslash at the end", "[A]\nx=abc\\\n", false,
          "line 2: ends in a lone backslash" },
        { "line without =", "[A]\nx=1\nhalf a lin\n", true, "line 3: \"half a lin\" is neither" },
        { "header cut short", "[A]\nx=1\n[Properties\\Tab\n", true, "line 3: section header" },
        { "last line without end", "[A]\nx=1", true, "line 2: the last line has no line end" },
        { "control bytes", "[A]\nx=1\x01\x02\n", true, "line 2: unreadable bytes" },
        { "NUL bytes", QByteArray("[A]\nx=\0\0\n", 9), true, "line 2: unreadable bytes" },
        { "Windows-1252 line", "[A]\nx=caf\xE9\n", false, "1 line(s) not in UTF-8" },
    };
    for (const ProblemCase &c : cases) {
        const auto r = SettingsFormat::parse(c.bytes);
        EXPECT_EQ(r.damaged, c.damaged) << c.what;
        if (!c.problemContains) {
            EXPECT_TRUE(r.problems.isEmpty()) << c.what;
            continue;
        }
        const QString joined = r.problems.join(u'\n');
        EXPECT_TRUE(joined.contains(QString::fromUtf8(c.problemContains)))
            << c.what << ": " << joined.toStdString();
    }
}

TEST(SettingsFormat, DamagedFileYieldsEverythingReadable)
{
    // A file overwritten in part by binary garbage, then cut off in the middle of a header.
    QByteArray bytes = "bRun=1\r\n[Properties\\TabGeneral]\r\nChkRunAsProc=0\r\n";
    for (int i = 0; i < 600; ++i)
        bytes.append(char((i * 7919 + 13) % 256));
    bytes += "\r\n[Language]\r\nSelect=eng.txt\r\n[Properties\\TabLog]\r\nchkLogSys=1\r\n"
             "[Answer\\TabAns";
    const auto r = SettingsFormat::parse(bytes);
    EXPECT_TRUE(r.damaged);
    EXPECT_FALSE(r.problems.isEmpty());
    EXPECT_EQ(r.tree.value(QString(), QStringLiteral("bRun")), QStringLiteral("1"));
    EXPECT_EQ(
        r.tree.value(QStringLiteral("Properties\\TabGeneral"), QStringLiteral("ChkRunAsProc")),
        QStringLiteral("0"));
    EXPECT_EQ(r.tree.value(QStringLiteral("Language"), QStringLiteral("Select")),
              QStringLiteral("eng.txt"));
    EXPECT_EQ(r.tree.value(QStringLiteral("Properties\\TabLog"), QStringLiteral("chkLogSys")),
              QStringLiteral("1"));
    EXPECT_LE(r.problems.size(), 21); // the journal gets a summary, not one line per byte
}

TEST(SettingsFormat, ValuesAfterABrokenHeaderAreNotFiledElsewhere)
{
    // Without its header the value would land in the section before and change its meaning.
    const auto r = SettingsFormat::parse("[A]\nx=1\n[Access\\Phone\\Dig\nx=9\n[B]\ny=2\n");
    EXPECT_EQ(r.tree.value(QStringLiteral("A"), QStringLiteral("x")), QStringLiteral("1"));
    EXPECT_EQ(r.tree.value(QStringLiteral("B"), QStringLiteral("y")), QStringLiteral("2"));
    EXPECT_TRUE(r.damaged);
}

TEST(SettingsFormat, OldWindows1252LinesAndUtf8LinesBothRead)
{
    // A file from an older installation, with one line since written in UTF-8.
    const auto r = SettingsFormat::parse("[A]\r\nold=Caf\xE9 \x80\r\nnew=Caf\xC3\xA9\r\n");
    EXPECT_EQ(r.tree.value(QStringLiteral("A"), QStringLiteral("old")),
              QStringLiteral("Caf\u00E9 \u20AC"));
    EXPECT_EQ(r.tree.value(QStringLiteral("A"), QStringLiteral("new")),
              QStringLiteral("Caf\u00E9"));
    EXPECT_FALSE(r.damaged);
}

} // namespace
