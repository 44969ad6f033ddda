#include "TelephonyEvents.h"
#include "controls/modem/RecordingTelephony.h"

#include <QTest>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::TelephonyEvents;

TEST(ModemRecordingTelephony, RecordsWhatItIsAskedAndAnswersAsConfigured)
{
    RecordingTelephony line;
    line.devices = { { { "Modem A (/dev/ttyACM0)", true, true, true }, "/dev/ttyACM0", 1000 },
                     { { "Modem B (/dev/ttyUSB0)", true, false, false }, "/dev/ttyUSB0", -1 } };
    line.lineOpenResult = 0;
    line.answerResult = 42;
    line.errorTexts[42] = "no call";

    EXPECT_EQ(line.initialize(), 0);
    EXPECT_EQ(line.deviceCount(), 2);
    line.setLineIndex(1);
    EXPECT_EQ(line.getDeviceCaps().name, "Modem B (/dev/ttyUSB0)");
    EXPECT_EQ(line.getDeviceID(Telephony::kDeviceClassComm), 2);
    EXPECT_EQ(line.commPortPath(2), "/dev/ttyUSB0");
    EXPECT_EQ(line.getDeviceID(Telephony::kDeviceClassWaveOut), -1);
    EXPECT_EQ(line.lineOpen(4, 8), 0);
    EXPECT_TRUE(line.isLineOpen());
    EXPECT_EQ(line.lineAnswer(), 42);
    EXPECT_EQ(line.errorText(42), "no call");
    EXPECT_EQ(line.errorText(0), "Success");
    line.lineMakeCall("5551234");
    EXPECT_EQ(line.lineMonitorDigits(true), 0);
    EXPECT_EQ(line.lineDrop(), 0);
    EXPECT_EQ(line.lineClose(), 0);
    EXPECT_FALSE(line.isLineOpen());

    EXPECT_EQ(line.operations,
              (QStringList { "initialize", "setLineIndex(1)", "lineOpen(4,8)", "lineAnswer",
                             "lineMakeCall(5551234)", "lineMonitorDigits(true)", "lineDrop",
                             "lineClose" }));
    ASSERT_EQ(line.opens.size(), 1);
    EXPECT_EQ(line.opens[0].lineIndex, 1);
    EXPECT_EQ(line.dialled, QStringList { "5551234" });
    EXPECT_TRUE(line.monitoringDigits);

    // A failing open leaves the line closed.
    line.lineOpenResult = 7;
    EXPECT_EQ(line.lineOpen(6, 6), 7);
    EXPECT_FALSE(line.isLineOpen());
}

TEST(ModemRecordingTelephony, RaisesEventsOnCommandAndAfterOperations)
{
    RecordingTelephony line;
    TelephonyEvents events(&line);
    line.offerCall();
    line.ringOnce(1);
    line.sendCallerId("JOHN SMITH", "5551234");
    line.sendDigit('5');
    EXPECT_EQ(
        events.log,
        (QStringList { "inComeCall", "ring(1)", "callerID(JOHN SMITH,5551234)", "digit(5)" }));

    // With autoEvents the line behaves like a modem line after each operation, later.
    events.log.clear();
    line.autoEvents = true;
    line.lineOpen(6, 6);
    EXPECT_EQ(line.lineAnswer(), 0);
    EXPECT_TRUE(events.log.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(events.log, QStringList { "connected" }, 2000);
    EXPECT_TRUE(line.isCallConnected());
    line.lineDrop();
    QTRY_COMPARE_WITH_TIMEOUT(events.log, (QStringList { "connected", "disconnected", "idle" }),
                              2000);
    EXPECT_FALSE(line.isCallConnected());
    line.lineMakeCall("0");
    QTRY_COMPARE_WITH_TIMEOUT(events.log.last(), QString("dialing"), 2000);
    line.loseDevice();
    EXPECT_FALSE(line.isLineOpen());
    line.returnDevice();
    EXPECT_EQ(events.log.mid(events.log.size() - 2),
              (QStringList { "deviceLost", "deviceReturned" }));
}
