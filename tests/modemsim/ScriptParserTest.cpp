#include "tools/quorvel-modemsim/ScriptParser.h"

#include <gtest/gtest.h>

using namespace quorvel::modemsim;
using Kind = ScriptCommand::Kind;

namespace {

ScriptCommand parseOne(const QString &line)
{
    ScriptCommand c;
    ScriptError e;
    EXPECT_EQ(ScriptParser::parseLine(line, 7, &c, &e), ScriptParser::LineResult::Command)
        << line.toStdString() << ": " << e.message.toStdString();
    return c;
}

} // namespace

TEST(ScriptParser, LinesBecomeCommands)
{
    struct Case {
        const char *line;
        Kind kind;
        const char *text;
        const char *name;
        double seconds;
        int count;
    };
    const Case cases[] = {
        { "ring", Kind::Ring, "", "", 0, 0 },
        { "  RING  ", Kind::Ring, "", "", 0, 0 },
        { "ringing 4", Kind::Ringing, "", "", 0, 4 },
        { "send NMBR = 5551234", Kind::Send, "NMBR = 5551234", "", 0, 0 },
        { "send MESG = 0C0A3130", Kind::Send, "MESG = 0C0A3130", "", 0, 0 },
        { "send  two  blanks", Kind::Send, "two  blanks", "", 0, 0 },
        { "send", Kind::Send, "", "", 0, 0 },
        { "cid 5551234", Kind::CallerId, "5551234", "", 0, 0 },
        { "cid 5551234 JOHN  SMITH ", Kind::CallerId, "5551234", "JOHN  SMITH", 0, 0 },
        { "cid P", Kind::CallerId, "P", "", 0, 0 },
        { "wait 0.25", Kind::Wait, "", "", 0.25, 0 },
        { "wait 2", Kind::Wait, "", "", 2, 0 },
        { "wait .5", Kind::Wait, "", "", 0.5, 0 },
        { "wait 0", Kind::Wait, "", "", 0, 0 },
        { "hangup", Kind::Hangup, "", "", 0, 0 },
        { "dtmf 12#*ab", Kind::Dtmf, "12#*AB", "", 0, 0 },
        { "dle d", Kind::Dle, "d", "", 0, 0 },
        { "expect ata 5", Kind::Expect, "ATA", "", 5, 0 },
        { "expect AT+VTX 0.5", Kind::Expect, "AT+VTX", "", 0.5, 0 },
        { "answer", Kind::Answer, "", "", 0, 0 },
        { "exit", Kind::Exit, "", "", 0, 0 },
        { "exit 7", Kind::Exit, "", "", 0, 7 },
        { "ring\r", Kind::Ring, "", "", 0, 0 },
        { "mute", Kind::Mute, "", "", 0, 1 },
        { "unmute", Kind::Mute, "", "", 0, 0 },
    };
    for (const Case &c : cases) {
        const ScriptCommand got = parseOne(QString::fromUtf8(c.line));
        SCOPED_TRACE(c.line);
        EXPECT_EQ(got.kind, c.kind);
        EXPECT_EQ(got.text, QString::fromUtf8(c.text));
        EXPECT_EQ(got.name, QString::fromUtf8(c.name));
        EXPECT_DOUBLE_EQ(got.seconds, c.seconds);
        EXPECT_EQ(got.count, c.count);
        EXPECT_EQ(got.line, 7);
    }
}

TEST(ScriptParser, BlankAndCommentLinesAreEmpty)
{
    for (const char *line : { "", "   ", "# a comment", "   # indented comment", "\r" }) {
        ScriptCommand c;
        ScriptError e;
        EXPECT_EQ(ScriptParser::parseLine(QString::fromUtf8(line), 1, &c, &e),
                  ScriptParser::LineResult::Empty)
            << line;
    }
}

TEST(ScriptParser, BadLinesAreErrorsNamingTheProblem)
{
    struct Case {
        const char *line;
        const char *messagePart;
    };
    const Case cases[] = {
        { "rang", "unknown command 'rang'" },
        { "ring 2", "takes no arguments" },
        { "hangup now", "takes no arguments" },
        { "mute 5", "takes no arguments" },
        { "ringing", "ringing needs" },
        { "ringing 0", "ringing needs" },
        { "ringing two", "ringing needs" },
        { "cid", "cid needs a number" },
        { "wait", "wait needs" },
        { "wait -1", "wait needs" },
        { "wait 1s", "wait needs" },
        { "wait nan", "wait needs" },
        { "wait 1e9", "wait needs" },
        { "dtmf 12x", "'X' is not a DTMF digit" },
        { "dtmf", "dtmf needs" },
        { "dtmf 1 2", "dtmf needs" },
        { "dle bb", "dle needs" },
        { "expect ATA", "expect needs" },
        { "expect ATA 0", "not a number of seconds above 0" },
        { "expect ATA soon", "not a number of seconds above 0" },
        { "exit 256", "exit takes" },
        { "exit -1", "exit takes" },
    };
    for (const Case &c : cases) {
        ScriptCommand cmd;
        ScriptError e;
        ASSERT_EQ(ScriptParser::parseLine(QString::fromUtf8(c.line), 12, &cmd, &e),
                  ScriptParser::LineResult::Error)
            << c.line;
        EXPECT_EQ(e.line, 12);
        EXPECT_TRUE(e.message.contains(QString::fromUtf8(c.messagePart)))
            << c.line << " -> " << e.message.toStdString();
    }
}

TEST(ScriptParser, WholeScriptKeepsLineNumbersAndCollectsEveryError)
{
    const QByteArray script = "# incoming call\r\n"
                              "ring\r\n"
                              "\r\n"
                              "cid 5551234 JOHN SMITH\n"
                              "wiat 1\n"
                              "dtmf 1#\n"
                              "expect ATA\n";
    const ScriptParseResult r = ScriptParser::parse(script);
    ASSERT_EQ(r.commands.size(), 3);
    EXPECT_EQ(r.commands.at(0).line, 2);
    EXPECT_EQ(r.commands.at(1).line, 4);
    EXPECT_EQ(r.commands.at(1).name, QStringLiteral("JOHN SMITH"));
    EXPECT_EQ(r.commands.at(2).line, 6);
    EXPECT_EQ(r.commands.at(2).text, QStringLiteral("1#"));
    ASSERT_EQ(r.errors.size(), 2);
    EXPECT_EQ(r.errors.at(0).toString(), QStringLiteral("line 5: unknown command 'wiat'"));
    EXPECT_EQ(r.errors.at(1).line, 7);
}
