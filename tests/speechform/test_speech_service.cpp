// The service's speech requests end to end: quorline in process mode, channel 406 driven by
// quorvel-chan as the desktop would, speech heard on the file sound device.
#include "controls/audio/AudioFile.h"
#include "shared/common/DataHome.h"
#include "shared/settings/RegistryRoutines.h"
#include "tests/support/QtPrinters.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>
#include <gtest/gtest.h>

using namespace quorvel;
using quorvel::test::binPath;
using quorvel::test::TempHome;

namespace {

class SpeechServiceTest : public ::testing::Test
{
protected:
    SpeechServiceTest()
        : home(tmp.home())
        , audioDir(tmp.path("../audio"))
    {
        QDir().mkpath(audioDir);
        qputenv("QUORVEL_AUDIO_DIR", QFile::encodeName(audioDir));
        RegistryRoutines reg(home.settingsFile());
        reg.setSubkey("Properties\\TabLog");
        reg.setRegistryValue("chkLogSys", "1");
        service.setProgram(binPath("quorline"));
        service.setArguments({"-gc"});
        service.start();
    }

    ~SpeechServiceTest() override
    {
        QProcess::execute(binPath("quorvel-chan"), {"send", "405", "UNLOAD"});
        if (!service.waitForFinished(10000))
            service.kill();
        qunsetenv("QUORVEL_AUDIO_DIR");
    }

    bool send(const QStringList &fields)
    {
        return QTest::qWaitFor(
            [&] { return QProcess::execute(binPath("quorvel-chan"), QStringList{"send", "406"} + fields) == 0; },
            10000);
    }

    QStringList played() const
    {
        return QDir(audioDir).entryList({"*.wav"}, QDir::Files, QDir::Name);
    }

    qint64 durationMs(const QString &path) const
    {
        AudioBuffer buffer;
        if (AudioFile::read(path, &buffer).code != AudioStatus::Ok)
            return -1;
        return buffer.durationMs();
    }

    TempHome tmp;
    DataHome home;
    QString audioDir;
    QProcess service;
};

TEST_F(SpeechServiceTest, SayTwiceTheSecondCutsTheFirst)
{
    const QString longText = "This is a long announcement that keeps going for many words so that "
                             "the second request arrives while it is still being spoken aloud.";
    ASSERT_TRUE(send({"Say", longText}));
    // Let the first text start playing before the second arrives.
    ASSERT_TRUE(QTest::qWaitFor([&] { return played().size() == 1; }, 15000));
    QTest::qWait(300);
    ASSERT_TRUE(send({"Say", "Short."}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return played().size() == 2; }, 15000));
    // The file device writes each playback as it ends; wait for the second to finish.
    ASSERT_TRUE(QTest::qWaitFor([&] { return durationMs(audioDir + '/' + played()[1]) > 200; }, 15000));
    QTest::qWait(1500);

    const qint64 first = durationMs(audioDir + '/' + played()[0]);
    const qint64 second = durationMs(audioDir + '/' + played()[1]);
    // The long text alone lasts several seconds; cut after about a third of a second.
    EXPECT_GT(first, 0);
    EXPECT_LT(first, 2500) << "the first text was not cut";
    EXPECT_GT(second, 200);
    EXPECT_LT(second, 2500);
}

TEST_F(SpeechServiceTest, MakeWaveWritesLineFormatGreetingsOnlyInsideGreets)
{
    const QString greeting = home.greetsDir() + "/tmpTTSGreet.wav";
    const QString outside = tmp.path("../outside.wav");
    ASSERT_TRUE(send({"MakeWave", "", greeting}));
    ASSERT_TRUE(send({"MakeWave", "Hello, you have reached the answering machine.", outside}));
    ASSERT_TRUE(send({"MakeWave", "Hello, you have reached the answering machine.", greeting}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return durationMs(greeting) > 500; }, 20000));

    AudioBuffer buffer;
    ASSERT_EQ(AudioFile::read(greeting, &buffer).code, AudioStatus::Ok);
    EXPECT_EQ(buffer.sampleRate, 8000);
    EXPECT_EQ(buffer.channels, 1);
    const QByteArray header = quorvel::test::readFile(greeting).left(36);
    EXPECT_EQ(header.mid(20, 2), QByteArray("\x01\x00", 2)); // PCM
    EXPECT_EQ(header.mid(34, 2), QByteArray("\x10\x00", 2)); // 16 bits
    EXPECT_FALSE(QFile::exists(outside));

    // The voices the engine has are published for the desktop.
    EXPECT_FALSE(RegistryRoutines(home.settingsFile()).enumRegistryValues("TTS51").isEmpty());
}

} // namespace
