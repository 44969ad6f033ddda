#include "service/host/RunMode.h"

#include <gtest/gtest.h>

using namespace quorvel;

TEST(RunMode, DecisionTable)
{
    const std::optional<QString> absent;
    struct Case {
        QString commandLine;
        std::optional<QString> chkRunAsProc;
        bool bySystemd;
        RunMode expected;
    } cases[] = {
        {"", QString("0"), false, RunMode::Exit},
        {"-gc", QString("0"), false, RunMode::Process},
        {"-gc ", QString("0"), false, RunMode::Exit}, // a trailing blank is another command line
        {"-GC", QString("0"), false, RunMode::Exit},
        {"-gc x", QString("0"), false, RunMode::Exit},
        {"", QString("1"), true, RunMode::Service},
        {"-gc", QString("1"), true, RunMode::Service},
        {"", QString("1"), false, RunMode::NotAService},
        {"-gc", QString("1"), false, RunMode::NotAService},
        {"", absent, false, RunMode::Process},
        {"", QString(""), false, RunMode::Process},
        {"", QString("2"), true, RunMode::Process},
    };
    for (const Case &c : cases)
        EXPECT_EQ(decideRunMode(c.commandLine, c.chkRunAsProc, c.bySystemd), c.expected)
            << '"' << c.commandLine.toStdString() << "\" " << c.chkRunAsProc.value_or("<absent>").toStdString();
}

TEST(RunMode, CommandLineIsTheArgumentsJoinedByBlanks)
{
    EXPECT_EQ(commandLineText({"quorline"}), "");
    EXPECT_EQ(commandLineText({"quorline", "-gc"}), "-gc");
    EXPECT_EQ(commandLineText({"quorline", "-gc", ""}), "-gc ");
    EXPECT_EQ(commandLineText({"quorline", "-gc "}), "-gc ");
}
