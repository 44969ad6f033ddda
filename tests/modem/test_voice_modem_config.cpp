#include "PtyPair.h"
#include "controls/modem/VoiceModemTelephony.h"
#include "shared/settings/RegistryRoutines.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::PtyPair;

TEST(ModemConfig, ReadsPortsAndRingTimeoutFromTheSettings)
{
    QTemporaryDir dir;
    const QString file = dir.filePath("settings.ini");
    RegistryRoutines settings(file);
    // Nothing stored: probe, the usual cadence.
    VoiceModemConfig config = VoiceModemConfig::fromSettings(settings);
    EXPECT_TRUE(config.ports.isEmpty());
    EXPECT_EQ(config.ringTimeoutMs, 8000);
    EXPECT_EQ(config.identityCacheFile, dir.filePath("ModemIdentities.txt"));

    settings.setSubkey("Properties\\TabDevices");
    ASSERT_TRUE(
        settings.setRegistryValue("ModemPorts", " /dev/ttyACM0 ;/dev/ttyUSB1;;/dev/ttyACM0"));
    ASSERT_TRUE(settings.setRegistryValue("ModemRingTimeout", "10"));
    config = VoiceModemConfig::fromSettings(settings);
    EXPECT_EQ(config.ports, (QStringList { "/dev/ttyACM0", "/dev/ttyUSB1" }));
    EXPECT_EQ(config.ringTimeoutMs, 10000);

    // A cadence that no line has is a typing error: the default stays.
    for (const char *bad : { "1", "abc", "", "600" }) {
        ASSERT_TRUE(settings.setRegistryValue("ModemRingTimeout", bad));
        EXPECT_EQ(VoiceModemConfig::fromSettings(settings).ringTimeoutMs, 8000) << bad;
    }
}

TEST(ModemConfig, ProbesPortsThatAnswerAt)
{
    QTemporaryDir dir;
    PtyPair modem(dir.filePath("ttyACM0"));
    modem.setResponder(&PtyPair::plainModem);
    PtyPair silent(dir.filePath("ttyACM1")); // a serial device that is no modem
    PtyPair other(dir.filePath("ttyS0")); // not a pattern we look at
    other.setResponder(&PtyPair::plainModem);

    VoiceModemConfig config;
    config.probePatterns = { dir.filePath("ttyACM*"), dir.filePath("ttyUSB*") };
    config.lockDirectory = dir.filePath("lock");
    config.probeTimeoutMs = 300;
    config.commandTimeoutMs = 500;
    VoiceModemTelephony line(config);
    QElapsedTimer t;
    t.start();
    ASSERT_EQ(line.initialize(), 0);
    // The silent port costs its probe bound twice (a plain AT, then AT after a wake-up).
    EXPECT_LT(t.elapsed(), 3000);
    ASSERT_EQ(line.deviceCount(), 1);
    EXPECT_EQ(line.devicePath(0), modem.link());
    EXPECT_EQ(line.getDeviceCaps().name, "ACME VOICE 56K (" + modem.link() + ")");
    EXPECT_TRUE(other.commands().isEmpty());
    EXPECT_FALSE(silent.received().isEmpty());
    EXPECT_EQ(line.lineOpen(Telephony::kPrivilegeOwner, Telephony::kMediaService), 0);
}
