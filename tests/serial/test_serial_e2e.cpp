// Serial caller-ID mode end to end: quorline holds the simulated modem's port while the line is
// idle, reads the caller ID there, hands the call to the modem driver and takes the port back
// afterwards. quorvel-chan stands in for the desktop.
#include "tests/e2e/LineRig.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

struct Profile {
    const char *id;
    const char *profile;
    const char *command; // the caller-ID switch this modem family understands
};

void PrintTo(const Profile &p, std::ostream *os)
{
    *os << p.profile;
}

class SerialE2e : public ::testing::TestWithParam<Profile> {
protected:
    void serialMode()
    {
        rig.setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
        rig.setting("Properties\\TabDevices\\CallerID", "cmbATCommands", GetParam().command);
    }
    // Times the caller-ID form opened the port (the driver sends the same switch when it opens
    // the line, so the modem's log alone does not tell).
    int portOpens() { return int(rig.journal().count("CommConnect->Success open comm port")); }
    // The port is back with the caller-ID form: opened again, and the switch was the last thing
    // the modem heard.
    bool listeningAgain()
    {
        const QStringList modem = rig.modemCommands();
        return portOpens() == 2 && !modem.isEmpty() && modem.last() == GetParam().command;
    }

    LineRig rig;
};

// An unknown caller who is not answered: reported from the serial port at the first ring,
// named at the second (the number as the modem wrote it, without "= "), taken over by the
// modem driver, stored, and the port listens again afterwards.
TEST_P(SerialE2e, UnansweredCallerIsNamedFromThePortAndThePortListensAgain)
{
    serialMode();
    ASSERT_TRUE(rig.start(GetParam().profile))
        << rig.journal().toStdString() << rig.texts(407).join('\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portOpens() == 1; }, 10000))
        << rig.journal().toStdString();
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return rig.modemCommands().last() == QLatin1String(GetParam().command); }, 5000))
        << rig.modemCommands().join('\n').toStdString();
    const int from407 = int(rig.texts(407).size());

    rig.script({ "ring", "cid 5551234 JOHN SMITH", "ringing 4", "hangup" });
    ASSERT_TRUE(rig.waitRecords(1, 30000)) << rig.journal().toStdString();
    // The record is written before the idle is reported.
    ASSERT_TRUE(rig.waitFor(407, "Tapi_Idle|0|0")) << rig.texts(407).join('\n').toStdString();

    const QStringList events = rig.texts(407).mid(from407);
    ASSERT_GE(events.size(), 2) << events.join('\n').toStdString();
    EXPECT_EQ(events[0], "Comm_Incomming|0|False");
    EXPECT_EQ(events[1], "Comm_CID|0|JOHN SMITH|5551234|||False|0|False")
        << events.join('\n').toStdString();

    const CallRecord r = rig.records().first();
    EXPECT_EQ(r.callerNumber(), "5551234");
    EXPECT_EQ(r.callerName(), "JOHN SMITH");
    EXPECT_EQ(rig.modemCommands().count("ATA"), 0);

    // The telephony line let the modem go and the caller-ID form has it again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return listeningAgain(); }, 15000))
        << rig.modemCommands().join('\n').toStdString();
    EXPECT_TRUE(rig.journal().contains("Comm_CallerID:(Port:"));
}

// A blocked caller in serial mode: the telephony line takes the call over before answering
// it, so the caller is really dropped.
TEST_P(SerialE2e, BlockedCallerIsTakenOverAndDropped)
{
    serialMode();
    rig.addContact("Pest", "800", "2");
    ASSERT_TRUE(rig.start(GetParam().profile))
        << rig.journal().toStdString() << rig.texts(407).join('\n').toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return portOpens() == 1; }, 10000));

    rig.script({ "ring", "cid 18005550000 ACME SALES", "ringing 8" });
    ASSERT_TRUE(rig.waitRecords(1, 30000)) << rig.journal().toStdString();

    const QStringList modem = rig.modemCommands();
    EXPECT_EQ(modem.count("ATA"), 1) << rig.journal().toStdString();
    EXPECT_GE(modem.filter(QRegularExpression("^ATH0?$")).size(), 1);
    EXPECT_TRUE(modem.filter("AT+VTX").isEmpty()) << "no greeting for a blocked caller";
    EXPECT_TRUE(rig.texts(407).filter("Comm_CID").isEmpty());

    const CallRecord r = rig.records().first();
    EXPECT_EQ(r.callerNumber(), "18005550000");
    EXPECT_EQ(r.callerName(), "ACME SALES");
    EXPECT_TRUE(r.result().startsWith("Pest")) << r.result().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return listeningAgain(); }, 15000))
        << rig.modemCommands().join('\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Modems, SerialE2e,
                         ::testing::Values(Profile { "BlankEqualsBlank", "usr", "AT+VCID=1" },
                                           Profile { "Tight", "conexant", "AT#CID=1" }),
                         [](const ::testing::TestParamInfo<Profile> &info) {
                             return std::string(info.param.id);
                         });

} // namespace
