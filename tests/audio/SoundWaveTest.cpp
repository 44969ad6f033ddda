#include "controls/audio/SoundWave.h"
#include "controls/audio/AudioFile.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

// A headless machine with virtual sound: the file device is output 0.
class SoundWaveTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(writeTone(tone(), SF_FORMAT_PCM_16, 22050, 2, 1000, 0.5));
        ASSERT_TRUE(writeTone(longTone(), SF_FORMAT_PCM_16, 22050, 1, 1000, 4.0));
        wave = std::make_unique<SoundWave>(&lines);
        wave->initialize();
    }
    void TearDown() override { wave.reset(); }

    QString tone() const { return m_inputs.filePath("tone.wav"); }
    QString longTone() const { return m_inputs.filePath("long.wav"); }
    QString input(const QString &name) const { return m_inputs.filePath(name); }
    int deviceIndex(const QString &name) const
    {
        for (int i = 0; i < wave->outputDeviceCount(); ++i) {
            if (wave->outputDeviceName(i) == name)
                return i;
        }
        return -1;
    }

    TempHome home;
    VirtualSoundFolder sound;
    QTemporaryDir m_inputs;
    LineAudioRegistry lines;
    std::unique_ptr<SoundWave> wave;
};

} // namespace

TEST_F(SoundWaveTest, DeviceListIsStableWithFileFirstAndNullOnce)
{
    ASSERT_GE(wave->outputDeviceCount(), 2);
    EXPECT_EQ(wave->outputDeviceName(0), "file");
    QStringList names;
    for (int i = 0; i < wave->outputDeviceCount(); ++i)
        names << wave->outputDeviceName(i);
    EXPECT_EQ(names.count("null"), 1);
    EXPECT_EQ(names.count("file"), 1);
    EXPECT_EQ(wave->outputDeviceName(wave->outputDeviceCount()), QString());
    EXPECT_EQ(wave->inputDeviceName(0), "null");

    SoundWave again(&lines);
    QStringList second;
    for (int i = 0; i < again.outputDeviceCount(); ++i)
        second << again.outputDeviceName(i);
    EXPECT_EQ(names, second);
}

TEST_F(SoundWaveTest, FileDeviceKeepsWhatWasPlayedInNumberedFiles)
{
    QSignalSpy done(wave.get(), &Wave::playDone);
    QThread *doneThread = nullptr;
    QObject::connect(wave.get(), &Wave::playDone, [&] { doneThread = QThread::currentThread(); });

    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(wave->playFile(tone(), 0), 0);
    EXPECT_TRUE(wave->isPlaying());
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    // Played in real time: the end cannot come before the half second of audio.
    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_EQ(doneThread, QCoreApplication::instance()->thread());
    EXPECT_FALSE(wave->isPlaying());

    // Played at the rate the caller asks for, the same length.
    ASSERT_EQ(wave->playFile(tone(), 0, 8000), 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 10000);

    const QStringList files = sound.files();
    ASSERT_EQ(files.size(), 2);
    EXPECT_TRUE(files[0].endsWith("/0001.wav"));
    EXPECT_TRUE(files[1].endsWith("/0002.wav"));
    EXPECT_EQ(wave->lastDeviceFile(), files[1]);

    const SoundFileInfo first = soundFileInfo(files[0]);
    EXPECT_EQ(first.rate, 22050);
    EXPECT_EQ(first.channels, 2);
    EXPECT_NEAR(double(first.durationMs()), 500.0, 5.0);
    const SoundFileInfo second = soundFileInfo(files[1]);
    EXPECT_EQ(second.rate, 8000);
    EXPECT_NEAR(double(second.durationMs()), 500.0, 5.0);

    for (const QString &file : files) {
        AudioBuffer heard;
        ASSERT_TRUE(AudioFile::read(file, &heard).ok());
        const AudioBuffer mono = AudioFile::mixToMono(heard);
        EXPECT_EQ(strongestFrequency(mono.samples, mono.sampleRate), 1000.0);
        EXPECT_NEAR(rms(mono.samples), 0.354, 0.03);
    }
}

TEST_F(SoundWaveTest, StopPlayCutsAndSignalsOnce)
{
    QSignalSpy done(wave.get(), &Wave::playDone);
    ASSERT_EQ(wave->playFile(longTone(), 0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(wave->playPosition() >= 200, 10000);
    wave->stopPlay();
    // The stop is the end: playDone before stopPlay returns, and never again.
    EXPECT_EQ(done.count(), 1);
    EXPECT_FALSE(wave->isPlaying());
    EXPECT_EQ(wave->playPosition(), 0);
    wave->stopPlay();
    QTest::qWait(200);
    EXPECT_EQ(done.count(), 1);

    const SoundFileInfo cut = soundFileInfo(wave->lastDeviceFile());
    ASSERT_TRUE(cut.ok);
    EXPECT_GE(cut.durationMs(), 150);
    EXPECT_LT(cut.durationMs(), 3000);
}

TEST_F(SoundWaveTest, NewPlaybackReplacesTheOldWithoutItsPlayDone)
{
    QSignalSpy done(wave.get(), &Wave::playDone);
    ASSERT_EQ(wave->playFile(longTone(), 0), 0);
    QTRY_VERIFY_WITH_TIMEOUT(wave->playPosition() >= 100, 10000);
    ASSERT_EQ(wave->playFile(tone(), 0), 0);
    EXPECT_EQ(done.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 1);

    const QStringList files = sound.files();
    ASSERT_EQ(files.size(), 2);
    EXPECT_LT(soundFileInfo(files[0]).durationMs(), 3000);
    EXPECT_NEAR(double(soundFileInfo(files[1]).durationMs()), 500.0, 5.0);
}

TEST_F(SoundWaveTest, NullDevicePlaysSilentlyInRealTime)
{
    const int null = deviceIndex("null");
    ASSERT_GE(null, 0);
    QSignalSpy done(wave.get(), &Wave::playDone);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(wave->playFile(tone(), null), 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    EXPECT_GE(clock.elapsed(), 450);
    EXPECT_TRUE(sound.files().isEmpty());
}

TEST_F(SoundWaveTest, ErrorsNameTheProblemAndLeaveThePlaybackAlone)
{
    const QString missing = input("missing.wav");
    const QString words = input("words.wav");
    writeFile(words, "RIFF? no, just words\n");

    QSignalSpy done(wave.get(), &Wave::playDone);
    ASSERT_EQ(wave->playFile(longTone(), 0), 0);

    struct Case {
        const char *name;
        std::function<int()> call;
        int code;
        QString text;
    };
    const WaveFormat line = WaveFormat::line();
    WaveFormat stereo = line;
    stereo.channels = 2;
    WaveFormat alaw = line;
    alaw.formatTag = 6;
    const Case cases[] = {
        { "missing file", [&] { return wave->playFile(missing, 0); }, SoundWave::FileNotFound,
          "file not found: " + missing },
        { "not audio", [&] { return wave->playFile(words, 0); }, SoundWave::NotSoundFile,
          "not a sound file: " + words },
        { "bad device", [&] { return wave->playFile(tone(), 7 + wave->outputDeviceCount()); },
          SoundWave::NoSuchOutputDevice,
          QString("no such output device %1").arg(7 + wave->outputDeviceCount()) },
        { "negative device", [&] { return wave->playFile(tone(), -1); },
          SoundWave::NoSuchOutputDevice, "no such output device -1" },
        { "no line sink", [&] { return wave->startPlayACM(tone(), line, 1005, 800); },
          SoundWave::NoSuchOutputDevice, "no such output device 1005" },
        { "missing file to the line", [&] { return wave->startPlayACM(missing, line, 1005, 800); },
          SoundWave::NoSuchOutputDevice, "no such output device 1005" },
        { "stereo to the line", [&] { return wave->startPlayACM(tone(), stereo, 1005, 800); },
          SoundWave::UnsupportedFormat, "the line takes 8 kHz 16-bit mono PCM only" },
        { "format tag", [&] { return wave->startPlayACM(tone(), alaw, 0, 800); },
          SoundWave::UnsupportedFormat,
          "unsupported wave format (tag 6, 1 channel(s), 8000 Hz, 16 bit)" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int code = c.call();
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(wave->playErrorText(code), c.text);
        EXPECT_TRUE(wave->isPlaying());
    }
    EXPECT_EQ(done.count(), 0);
    EXPECT_EQ(wave->playErrorText(0), "no error");
    EXPECT_EQ(sound.files().size(), 1);
    wave->stopPlay();
}

TEST_F(SoundWaveTest, UnopenableAlsaDeviceIsReported)
{
    SoundWave alsaOnly(&lines, { SoundDevice::alsa("quorvel_no_such_pcm") }, {});
    const int code = alsaOnly.playFile(tone(), 0);
    EXPECT_EQ(code, SoundWave::DeviceFailed);
    EXPECT_TRUE(
        alsaOnly.playErrorText(code).startsWith("cannot open sound device quorvel_no_such_pcm: "))
        << alsaOnly.playErrorText(code).toStdString();
    EXPECT_FALSE(alsaOnly.isPlaying());
}

TEST_F(SoundWaveTest, LocalDeviceHonoursTheAskedFormat)
{
    QSignalSpy done(wave.get(), &Wave::playDone);
    ASSERT_EQ(wave->startPlayACM(tone(), WaveFormat::line(), 0, 800), 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    const SoundFileInfo info = soundFileInfo(wave->lastDeviceFile());
    EXPECT_EQ(info.rate, 8000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_NEAR(double(info.durationMs()), 500.0, 5.0);
}

TEST_F(SoundWaveTest, LinePlaybackStreamsIntoTheSinkAndEndsWithIt)
{
    RecordingLineSink sink;
    const int id = lines.add(&sink);
    QSignalSpy done(wave.get(), &Wave::playDone);

    ASSERT_EQ(wave->startPlayACM(tone(), WaveFormat::line(), id, 800), 0);
    EXPECT_EQ(sink.starts, 1);
    EXPECT_EQ(sink.ends, 1);
    ASSERT_FALSE(sink.chunks.isEmpty());
    for (qsizetype i = 0; i + 1 < sink.chunks.size(); ++i)
        EXPECT_EQ(sink.chunks[i].size(), 800);
    const std::vector<float> heard = AudioFile::fromPcm16(sink.audio());
    EXPECT_NEAR(double(heard.size()), 4000.0, 20.0);
    EXPECT_EQ(strongestFrequency(heard, 8000), 1000.0);

    // The wave is playing until the modem has sent it all.
    EXPECT_TRUE(wave->isPlaying());
    QTest::qWait(50);
    EXPECT_EQ(done.count(), 0);
    sink.finish();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    EXPECT_FALSE(wave->isPlaying());
    EXPECT_TRUE(sound.files().isEmpty());
}

TEST_F(SoundWaveTest, LineStopAndRefusals)
{
    RecordingLineSink sink;
    const int id = lines.add(&sink);
    QSignalSpy done(wave.get(), &Wave::playDone);

    // Stopped by the caller: the sink is told, playDone once, a late finish is ignored.
    ASSERT_EQ(wave->startPlayACM(tone(), WaveFormat::line(), id, 800), 0);
    wave->stopPlay();
    EXPECT_EQ(sink.stops, 1);
    EXPECT_EQ(done.count(), 1);
    sink.finish();
    QTest::qWait(50);
    EXPECT_EQ(done.count(), 1);

    // No call on the line: refused up front, no playDone.
    sink.acceptStart = false;
    int code = wave->startPlayACM(tone(), WaveFormat::line(), id, 800);
    EXPECT_EQ(code, SoundWave::LineNotReady);
    EXPECT_EQ(wave->playErrorText(code),
              QString("the line is not ready for audio (device %1)").arg(id));
    EXPECT_FALSE(wave->isPlaying());

    // The line drops mid-stream: the transmission is stopped and the caller told.
    sink.acceptStart = true;
    sink.refuseAfterChunks = 2;
    sink.chunks.clear();
    const int stopsBefore = sink.stops;
    code = wave->startPlayACM(tone(), WaveFormat::line(), id, 800);
    EXPECT_EQ(code, SoundWave::LineNotReady);
    EXPECT_EQ(wave->playErrorText(code),
              QString("the line stopped taking audio (device %1)").arg(id));
    EXPECT_EQ(sink.stops, stopsBefore + 1);
    EXPECT_FALSE(wave->isPlaying());

    // The line wants its own format only.
    WaveFormat wide = WaveFormat::line();
    wide.samplesPerSec = 16000;
    wide.avgBytesPerSec = 32000;
    code = wave->startPlayACM(tone(), wide, id, 800);
    EXPECT_EQ(code, SoundWave::UnsupportedFormat);
    QTest::qWait(50);
    EXPECT_EQ(done.count(), 1);
}

TEST_F(SoundWaveTest, LineSinkFinishingAtOnceStillSignalsAfterTheCall)
{
    RecordingLineSink sink;
    sink.finishOnEnd = true;
    const int id = lines.add(&sink);
    QSignalSpy done(wave.get(), &Wave::playDone);
    ASSERT_EQ(wave->startPlayACM(tone(), WaveFormat::line(), id, 800), 0);
    EXPECT_EQ(done.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    EXPECT_FALSE(wave->isPlaying());
}

TEST_F(SoundWaveTest, UnpluggedModemEndsTheLinePlayback)
{
    auto sink = std::make_unique<RecordingLineSink>();
    const int id = lines.add(sink.get());
    QSignalSpy done(wave.get(), &Wave::playDone);
    ASSERT_EQ(wave->startPlayACM(tone(), WaveFormat::line(), id, 800), 0);
    lines.remove(id);
    sink.reset();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 5000);
    EXPECT_FALSE(wave->isPlaying());
    EXPECT_EQ(wave->playPosition(), 0);
}

TEST_F(SoundWaveTest, RecordingFromTheNullInputWritesLineFormatSilence)
{
    const QString path = input("greeting.wav");
    ASSERT_EQ(wave->startRecord(0, path, WaveFormat::line()), 0);
    EXPECT_TRUE(wave->isRecording());
    EXPECT_EQ(wave->startRecord(0, input("other.wav"), WaveFormat::line()),
              SoundWave::AlreadyRecording);
    QTest::qWait(300);
    EXPECT_EQ(wave->stopRecord(), 0);
    EXPECT_FALSE(wave->isRecording());

    const SoundFileInfo info = soundFileInfo(path);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.rate, 8000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_GE(info.durationMs(), 200);
    EXPECT_LT(info.durationMs(), 5000);
    AudioBuffer taken;
    ASSERT_TRUE(AudioFile::read(path, &taken).ok());
    EXPECT_EQ(rms(taken.samples), 0.0);
    EXPECT_FALSE(QFile::exists(path + ".part"));

    EXPECT_EQ(wave->stopRecord(), SoundWave::NotRecording);
}

TEST_F(SoundWaveTest, FailedRecordingKeepsTheEarlierFile)
{
    const QString path = input("greeting.wav");
    writeFile(path, "the user's earlier greeting");

    int code = wave->startRecord(wave->inputDeviceCount() + 3, path, WaveFormat::line());
    EXPECT_EQ(code, SoundWave::NoSuchInputDevice);
    EXPECT_EQ(wave->recordErrorText(code),
              QString("no such input device %1").arg(wave->inputDeviceCount() + 3));

    const QString nowhere = input("no/such/folder/greeting.wav");
    code = wave->startRecord(0, nowhere, WaveFormat::line());
    EXPECT_EQ(code, SoundWave::CannotWriteFile);
    EXPECT_EQ(wave->recordErrorText(code), "cannot write file: " + nowhere);

    SoundWave alsaOnly(&lines, {}, { SoundDevice::alsa("quorvel_no_such_pcm") });
    code = alsaOnly.startRecord(0, path, WaveFormat::line());
    EXPECT_EQ(code, SoundWave::DeviceFailed);
    EXPECT_FALSE(alsaOnly.isRecording());

    EXPECT_FALSE(wave->isRecording());
    EXPECT_EQ(readFile(path), "the user's earlier greeting");
}

TEST_F(SoundWaveTest, AlsaPathPlaysAndRecordsThroughAlsasNullPcm)
{
    // No sound card here, but ALSA's own "null" PCM runs the same open, write, drain and
    // capture calls a card would.
    SoundWave alsa(&lines, { SoundDevice::alsa("null") }, { SoundDevice::alsa("null") });
    QSignalSpy done(&alsa, &Wave::playDone);
    ASSERT_EQ(alsa.playFile(tone(), 0), 0)
        << alsa.playErrorText(SoundWave::DeviceFailed).toStdString();
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 10000);
    EXPECT_FALSE(alsa.isPlaying());

    ASSERT_EQ(alsa.playFile(longTone(), 0), 0);
    alsa.stopPlay();
    EXPECT_EQ(done.count(), 2);

    const QString path = input("alsa-take.wav");
    ASSERT_EQ(alsa.startRecord(0, path, WaveFormat::line()), 0)
        << alsa.recordErrorText(SoundWave::DeviceFailed).toStdString();
    QTest::qWait(100);
    EXPECT_EQ(alsa.stopRecord(), 0);
    const SoundFileInfo info = soundFileInfo(path);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.rate, 8000);
    EXPECT_EQ(info.channels, 1);
}
