#include "tools/quorvel-modemsim/AtCommandParser.h"

#include <gtest/gtest.h>

using namespace quorvel::modemsim;

namespace {
QStringList texts(const AtCommandLine &line)
{
    QStringList out;
    for (const AtCommand &c : line.commands)
        out.append(c.text());
    return out;
}
} // namespace

TEST(AtCommandParser, SplitsLinesIntoCommands)
{
    struct Case {
        const char *line;
        QStringList commands;
    };
    const Case cases[] = {
        { "AT", {} },
        { "at", {} },
        { "ATZ", { "Z" } },
        { "ATE0V1", { "E0", "V1" } },
        { "AT E0 Q0 V1", { "E0", "Q0", "V1" } },
        { "AT&F&D2&C1", { "&F", "&D2", "&C1" } },
        { "ATS0=0S7?", { "S0=0", "S7?" } },
        { "ATS0=", { "S0=0" } },
        { "AT+VSM=129,8000", { "+VSM=129,8000" } },
        { "at+vsm = 129 , 8000", { "+VSM=129,8000" } },
        { "AT+FCLASS=?", { "+FCLASS=?" } },
        { "AT+FCLASS?", { "+FCLASS?" } },
        { "AT+FCLASS=8;+VLS=1", { "+FCLASS=8", "+VLS=1" } },
        { "ATE0+VCID=1", { "E0", "+VCID=1" } },
        { "AT#CID=1", { "#CID=1" } },
        { "AT+VTX", { "+VTX" } },
        { "ATH0", { "H0" } },
        { "ATD5551234;", { "D5551234;" } },
        { "ATDT 555 1234;", { "DT5551234;" } },
        { "ATA", { "A" } },
        { "ATI3", { "I3" } },
        { "AT\\N0%C0", { "\\N0", "%C0" } },
        { "AT+VTS=\"a b\"", { "+VTS=\"a b\"" } },
        { "junk AT+GMM", { "+GMM" } },
    };
    for (const Case &c : cases) {
        const AtCommandLine line = AtCommandParser::parse(QByteArray(c.line));
        EXPECT_TRUE(line.valid) << c.line << ": " << line.error.toStdString();
        EXPECT_EQ(texts(line), c.commands) << c.line;
    }
}

TEST(AtCommandParser, CommandFormsAndValues)
{
    const AtCommandLine line = AtCommandParser::parse("AT+VSM=129,8000;+VCID?;+VSM=?;S12=50;E1");
    ASSERT_EQ(line.commands.size(), 5);
    EXPECT_EQ(line.commands[0].name, QStringLiteral("+VSM"));
    EXPECT_EQ(line.commands[0].form, AtCommand::Form::Set);
    EXPECT_EQ(line.commands[0].value, QStringLiteral("129,8000"));
    EXPECT_EQ(line.commands[1].form, AtCommand::Form::Query);
    EXPECT_EQ(line.commands[2].form, AtCommand::Form::Test);
    EXPECT_EQ(line.commands[3].reg, 12);
    EXPECT_EQ(line.commands[3].value, QStringLiteral("50"));
    EXPECT_EQ(line.commands[4].name, QStringLiteral("E"));
    EXPECT_EQ(line.commands[4].form, AtCommand::Form::Action);
    EXPECT_EQ(line.commands[4].value, QStringLiteral("1"));
}

TEST(AtCommandParser, MalformedLinesAreInvalid)
{
    for (const char *bad : { "AT+", "ATS=1", "ATS7", "AT&", "AT&1", "AT!", "AT+VSM?X", "NOPE" }) {
        const AtCommandLine line = AtCommandParser::parse(QByteArray(bad));
        EXPECT_FALSE(line.valid) << bad;
        EXPECT_FALSE(line.error.isEmpty()) << bad;
    }
}

TEST(AtCommandParser, MatchFormsNameEachCommandAsItsOwnLine)
{
    const AtCommandLine line = AtCommandParser::parse("atz e0;+vcid=1");
    EXPECT_EQ(line.text, QStringLiteral("atz e0;+vcid=1"));
    EXPECT_EQ(line.matchForms(), (QStringList { "ATZ E0;+VCID=1", "ATZ", "ATE0", "AT+VCID=1" }));
}
