#include "tools/quorvel-modemsim/ScriptRunner.h"
#include "RecordingOutput.h"
#include "shared/common/Clock.h"
#include "tools/quorvel-modemsim/ModemInterpreter.h"

#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::modemsim;
using quorvel::modemsim::test::RecordingOutput;

namespace {

// The runner drives a real modem; host lines are fed to it and reported back to the runner,
// as the simulator does.
class Rig : public RecordingOutput {
public:
    Rig()
        : modem(*ModemProfile::byName(QStringLiteral("usr")), *this, clock, {})
        , runner(modem, 0.1)
    {
        QObject::connect(&runner, &ScriptRunner::logEvent,
                         [this](const QString &t) { events.append(t); });
    }
    void commandLine(const AtCommandLine &line) override
    {
        RecordingOutput::commandLine(line);
        runner.noteCommand(line);
    }
    void script(const QByteArray &text)
    {
        const ScriptParseResult r = ScriptParser::parse(text);
        ASSERT_TRUE(r.errors.isEmpty());
        for (const ScriptCommand &c : r.commands)
            runner.append(c);
        runner.setInputFinished();
    }
    int count(const QString &sentLine) const { return int(sent.count(sentLine)); }

    ManualClock clock;
    ModemInterpreter modem;
    ScriptRunner runner;
};

} // namespace

TEST(ScriptRunner, ExpectTakesCommandsThatCameBeforeIt)
{
    Rig rig;
    QSignalSpy done(&rig.runner, &ScriptRunner::done);
    QSignalSpy exits(&rig.runner, &ScriptRunner::exitRequested);
    // A fast host: everything is sent before the script looks.
    rig.modem.feed("ATE0\rAT+FCLASS=8\rAT+VCID=1\rATH\r");
    rig.script("expect AT+FCLASS 1\n"
               "expect at+vcid 1\n"
               "expect ATH 1\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 5000));
    EXPECT_EQ(exits.count(), 0);
    EXPECT_EQ(rig.runner.unconsumedCount(), 0);
    EXPECT_TRUE(rig.eventContains(QStringLiteral("expect AT+VCID matched AT+VCID=1")));
}

TEST(ScriptRunner, ExpectTakesEachCommandOnlyOnce)
{
    Rig rig;
    QSignalSpy exits(&rig.runner, &ScriptRunner::exitRequested);
    rig.modem.feed("ATE0\rATH\r");
    rig.script("expect ATH 1\nexpect ATH 0.2\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return exits.count() == 1; }, 5000));
    EXPECT_EQ(exits.at(0).at(0).toInt(), 3);
    EXPECT_TRUE(rig.eventContains(QStringLiteral("expect ATH timed out after 0.2 s")));
}

TEST(ScriptRunner, ExpectWaitsForALaterCommand)
{
    Rig rig;
    QSignalSpy done(&rig.runner, &ScriptRunner::done);
    rig.script("expect ATA 5\n");
    QTest::qWait(50);
    EXPECT_EQ(done.count(), 0);
    rig.modem.feed("ATE0\r");
    QTest::qWait(20);
    EXPECT_EQ(done.count(), 0);
    rig.modem.feed("ATA\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 5000));
}

TEST(ScriptRunner, RingingStopsWhenTheHostAnswers)
{
    Rig rig;
    QSignalSpy done(&rig.runner, &ScriptRunner::done);
    rig.modem.feed("ATE0\rAT+FCLASS=8\r");
    rig.script("ringing 100\n"
               "expect ATA 5\n"
               "dtmf 4#\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return rig.count("RING") >= 2; }, 5000));
    rig.modem.feed("ATA\r");
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 5000));
    const int rings = rig.count("RING");
    QTest::qWait(250);
    EXPECT_EQ(rig.count("RING"), rings);
    EXPECT_TRUE(rig.eventContains(QStringLiteral("ringing stopped: the line is connected")));
    // The digits went out after the answer, in order.
    EXPECT_TRUE(rig.host.endsWith(QByteArray("\x10"
                                             "4\x10#")));
}

TEST(ScriptRunner, CallerWhoGivesUpStopsTheRings)
{
    Rig rig;
    QSignalSpy done(&rig.runner, &ScriptRunner::done);
    rig.script("ringing 2\nhangup\nring\nexit 5\n");
    QSignalSpy exits(&rig.runner, &ScriptRunner::exitRequested);
    ASSERT_TRUE(QTest::qWaitFor([&] { return exits.count() == 1; }, 5000));
    EXPECT_EQ(exits.at(0).at(0).toInt(), 5);
    EXPECT_EQ(rig.count("RING"), 3);
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(rig.modem.lineState(), ModemInterpreter::LineState::Ringing);
}

TEST(ScriptRunner, DigitsNeedAConnectedLine)
{
    Rig rig;
    QSignalSpy done(&rig.runner, &ScriptRunner::done);
    rig.script("dtmf 123\n");
    ASSERT_TRUE(QTest::qWaitFor([&] { return done.count() == 1; }, 5000));
    EXPECT_TRUE(rig.host.isEmpty());
    EXPECT_TRUE(rig.eventContains(QStringLiteral("dtmf ignored: the line is on-hook")));
}
