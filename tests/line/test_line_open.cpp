// Opening and closing the line: device search, caller-ID source, serial hand-over, the bounded
// waits and the takeover loop.
#include "tests/line/LineFixture.h"

using namespace quorvel;
using namespace quorvel::test;

namespace {

class LineOpen : public LineFixture {
protected:
    void devices(const QStringList &names)
    {
        tapi.devices.clear();
        for (const QString &n : names) {
            RecordingTelephony::Device d;
            d.caps = { n, true, true, false };
            d.waveOutId = 1000 + int(tapi.devices.size());
            tapi.devices.append(d);
        }
    }
    QString storedModem() const
    {
        RegistryRoutines reg(home.settingsFile());
        reg.setSubkey("Properties\\TabDevices");
        return reg.getRegistryValue("cmbModemDev", "<absent>");
    }
};

TEST_F(LineOpen, DeviceSearchByStoredName)
{
    struct Case {
        const char *title;
        QStringList devices;
        QString stored; // null: not stored at all
        int openedIndex;
        int detailLines;
        QString storedAfter;
    };
    const Case cases[] = {
        { "empty name", { "A (/dev/ttyACM0)", "B (/dev/ttyACM1)" }, "", 0, 0, "A (/dev/ttyACM0)" },
        { "absent name",
          { "A (/dev/ttyACM0)", "B (/dev/ttyACM1)" },
          QString(),
          0,
          0,
          "A (/dev/ttyACM0)" },
        { "unknown name",
          { "A (/dev/ttyACM0)", "B (/dev/ttyACM1)" },
          "Gone",
          0,
          0,
          "A (/dev/ttyACM0)" },
        { "second device",
          { "A (/dev/ttyACM0)", "B (/dev/ttyACM1)" },
          "B (/dev/ttyACM1)",
          1,
          1,
          "B (/dev/ttyACM1)" },
        { "name differs in case",
          { "A (/dev/ttyACM0)", "B (/dev/ttyACM1)" },
          "b (/dev/ttyACM1)",
          0,
          0,
          "A (/dev/ttyACM0)" },
        { "two of one name", { "Twin", "Other", "Twin" }, "Twin", 2, 2, "Twin" },
        { "no modem plugged in", {}, "Mine", 0, 0, "Mine" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.title);
        devices(c.devices);
        tapi.clearRecords();
        tapi.lineOpenState = false;
        QFile::remove(home.settingsFile());
        setting("Properties\\TabLog", "chkLogSys", "1");
        if (!c.stored.isNull())
            setting("Properties\\TabDevices", "cmbModemDev", c.stored);
        const QString before = journalText();
        load();
        ASSERT_EQ(tapi.opens.size(), 1);
        EXPECT_EQ(tapi.opens[0].lineIndex, c.openedIndex);
        EXPECT_EQ(tapi.opens[0].privilege, 6);
        EXPECT_EQ(tapi.opens[0].mediaMode, 6);
        EXPECT_EQ(journalText().mid(before.size()).count("->Device Details -\r\n"), c.detailLines);
        EXPECT_EQ(storedModem(), c.storedAfter);
        main.reset();
    }
}

TEST_F(LineOpen, DeviceDetailsLineIsWrittenInFull)
{
    devices({ "Voice Modem (/dev/ttyACM0)" });
    setting("Properties\\TabDevices", "cmbModemDev", "Voice Modem (/dev/ttyACM0)");
    load();
    const QString pad(26, ' ');
    EXPECT_EQ(journalCount("->Device Details -\r\n" + pad + "Line Index: 0\r\n" + pad
                           + "Device Name: Voice Modem (/dev/ttyACM0)\r\n" + pad
                           + "Tapi Capability: Yes\r\n" + pad + "Voice Capability: Yes\r\n" + pad
                           + "Monitor Digits: No(0)"),
              1);
    EXPECT_EQ(journalCount("OpenLine:Tapi1.LineOpen(0)->Success(0)"), 1);
}

TEST_F(LineOpen, StatusFollowsTheOpenAndASecondOpenOnlyReports)
{
    tapi.lineOpenResult = 1007;
    tapi.errorTexts[1007] = "no such device";
    load();
    EXPECT_EQ(line().lineStatus(), 1);
    EXPECT_EQ(sent(407), QStringList { msg({ "LineStatus", "0", "1", "False" }) });
    EXPECT_EQ(journalCount("OpenLine:Tapi1.LineOpen(0)->no such device(1007)"), 1);

    tapi.lineOpenResult = 0;
    command({ "ON" });
    command({ "ON" });
    EXPECT_EQ(tapi.opens.size(), 2) << "the open line is not opened again";
    EXPECT_EQ(sent(407).mid(1),
              (QStringList { msg({ "LineStatus", "0", "0", "False" }),
                             msg({ "LineStatus", "0", "0", "False" }) }));

    command({ "OFF" });
    EXPECT_EQ(tapi.closeCount, 1);
    EXPECT_EQ(tapi.shutdownCount, 1);
    EXPECT_EQ(journalCount("CloseLine->Success(0)"), 1);
    EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "1", "False" }));
}

TEST_F(LineOpen, UnloadClosesTheLine)
{
    load();
    ASSERT_TRUE(tapi.isLineOpen());
    main->unload();
    EXPECT_FALSE(tapi.isLineOpen());
    EXPECT_EQ(lineWave.shutdownCount(), 1);
}

TEST_F(LineOpen, SerialModeHandsThePortToTheSerialFormAndReportsWhatReallyListens)
{
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    setting("Properties\\TabDevices\\CallerID", "cmbATCommands", "AT#CID=1");
    withSerialForm = true;

    for (bool portOpens : { true, false }) {
        SCOPED_TRACE(portOpens ? "port opens" : "port busy");
        tapi.clearRecords();
        serialPortOpens = portOpens;
        load();
        ASSERT_NE(comm, nullptr);
        EXPECT_EQ(tapi.operations.mid(tapi.operations.size() - 3),
                  (QStringList { "lineOpen(6,6)", "lineClose", "lineShutdown" }));
        EXPECT_EQ(comm->operations, QStringList { "commConnect(1,AT#CID=1)" });
        EXPECT_FALSE(tapi.isLineOpen());
        EXPECT_EQ(line().lineStatus(), portOpens ? 0 : 1);
        EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", portOpens ? "0" : "1", "False" }));

        if (portOpens) {
            command({ "OFF" });
            EXPECT_EQ(comm->operations.last(), "commDisconnect");
            EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "1", "False" }));
        }
        main.reset();
    }
}

TEST_F(LineOpen, SerialModeWithoutASerialFormKeepsTheLineClosed)
{
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    load();
    EXPECT_EQ(line().lineStatus(), 1);
    EXPECT_FALSE(tapi.isLineOpen());
    EXPECT_EQ(
        journalCount(
            "LineOpen:CommConnect->Serial caller ID is not available; the line stays closed(0)"),
        1);
    EXPECT_EQ(sent(407).last(), msg({ "LineStatus", "0", "1", "False" }));
}

TEST_F(LineOpen, StuckModemLineIsWaitedForBoundedly)
{
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    withSerialForm = true;
    tapi.lineCloseResult = 1003;
    tapi.lineShutdownResult = 1003;
    load();
    EXPECT_EQ(journalCount("LineOpen:errOpenTheLine->The modem line still reports open after 5 "
                           "seconds; going on(0)"),
              1);
    ASSERT_NE(comm, nullptr);
    EXPECT_EQ(comm->operations.last(), "commConnect(1,)");
}

TEST_F(LineOpen, TakeoverGivesUpAfterTenRetriesAndListensAgain)
{
    setting("Properties\\TabDevices\\CallerID", "Tapi", "0");
    withSerialForm = true;
    load();
    tapi.clearRecords();
    comm->operations.clear();
    tapi.lineOpenResult = 1004;
    line().comm_InComeCall();
    line().getTapiFromComm();
    EXPECT_EQ(tapi.opens.size(), FrmLine::kTakeoverAttempts);
    EXPECT_EQ(journalCount("GetTapiFromComm:Tapi1.LineOpen->error 1004(1004)"),
              FrmLine::kTakeoverAttempts + 1);
    EXPECT_EQ(comm->operations.last(), "commConnect(1,)");
    EXPECT_TRUE(comm->isPortOpen());

    // Once the telephony line holds the call, further rings ask for nothing.
    tapi.lineOpenResult = 0;
    line().getTapiFromComm();
    line().getTapiFromComm();
    EXPECT_EQ(tapi.opens.size(), FrmLine::kTakeoverAttempts + 1);
}

} // namespace
