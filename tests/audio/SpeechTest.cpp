#include "controls/audio/AudioFile.h"
#include "controls/audio/RecordingWave.h"
#include "controls/audio/SoundWave.h"
#include "controls/speech/EspeakEngine.h"
#include "controls/speech/RecordingSpeech.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <cmath>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

const QString kSentence = QStringLiteral("Hello, this is a test of the speech engine.");
const QString kLongText = QStringLiteral(
    "This is a long announcement that keeps going for quite a while, so that there is plenty "
    "of time to interrupt it before it reaches its end, which is a good many seconds away.");

class SpeechTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        wave = std::make_unique<SoundWave>(&lines);
        engine = std::make_unique<EspeakEngine>(wave.get());
        ASSERT_TRUE(engine->isAvailable()) << engine->errorText().toStdString();
        engine->setOutputDevice(0);
    }
    void TearDown() override
    {
        engine.reset();
        wave.reset();
    }

    qint64 spokenMs(const QString &text)
    {
        int rate = 0;
        const QByteArray pcm = engine->synthesize(text, &rate);
        return rate ? qint64(pcm.size() / 2) * 1000 / rate : 0;
    }

    TempHome home;
    VirtualSoundFolder sound;
    QTemporaryDir out;
    LineAudioRegistry lines;
    std::unique_ptr<SoundWave> wave;
    std::unique_ptr<EspeakEngine> engine;
};

} // namespace

TEST_F(SpeechTest, VoicesAreListedInOneStableOrder)
{
    const QStringList voices = engine->voices();
    ASSERT_FALSE(voices.isEmpty());
    // A voice setting that was never written reads as 0: that must be a sensible default.
    EXPECT_TRUE(voices.first().startsWith("English")) << voices.first().toStdString();
    EXPECT_TRUE(voices.first().endsWith("]"));
    QStringList unique = voices;
    EXPECT_EQ(unique.removeDuplicates(), 0);
    EXPECT_EQ(engine->voice(), 0);

    RecordingWave otherWave;
    EspeakEngine other(&otherWave);
    EXPECT_EQ(other.voices(), voices);

    // The chosen voice reaches the synthesizer: German reads the sentence differently.
    const qsizetype german = voices.indexOf(QRegularExpression(".*\\[de\\]"));
    ASSERT_GE(german, 0) << voices.join(" / ").toStdString();
    // espeak-ng varies a few samples from call to call, so lengths are compared.
    int rate = 0;
    const double english = engine->synthesize(kSentence, &rate).size();
    ASSERT_TRUE(engine->setVoice(int(german)));
    const double inGerman = engine->synthesize(kSentence, &rate).size();
    EXPECT_GT(std::abs(inGerman - english), english * 0.03);
    ASSERT_TRUE(engine->setVoice(0));
    EXPECT_NEAR(engine->synthesize(kSentence, &rate).size(), english, english * 0.01);

    // Outside the list: the voice stays.
    ASSERT_TRUE(engine->setVoice(voices.size() - 1));
    EXPECT_FALSE(engine->setVoice(voices.size()));
    EXPECT_FALSE(engine->setVoice(-1));
    EXPECT_EQ(engine->voice(), voices.size() - 1);
}

TEST_F(SpeechTest, RateScaleCoversEspeakRangeMonotonically)
{
    EXPECT_EQ(EspeakEngine::wordsPerMinute(-10), 80);
    EXPECT_EQ(EspeakEngine::wordsPerMinute(0), 175);
    EXPECT_EQ(EspeakEngine::wordsPerMinute(10), 450);
    EXPECT_EQ(EspeakEngine::wordsPerMinute(-50), 80);
    EXPECT_EQ(EspeakEngine::wordsPerMinute(50), 450);
    for (int rate = -10; rate < 10; ++rate)
        EXPECT_LT(EspeakEngine::wordsPerMinute(rate), EspeakEngine::wordsPerMinute(rate + 1));

    // The rate reaches the synthesizer: fast speech is much shorter than slow speech.
    engine->setRate(-10);
    const qint64 slow = spokenMs(kSentence);
    engine->setRate(10);
    const qint64 fast = spokenMs(kSentence);
    EXPECT_GT(slow, fast * 2) << slow << " ms slow, " << fast << " ms fast";
    engine->setRate(99);
    EXPECT_EQ(engine->rate(), 10);
}

TEST_F(SpeechTest, SpeakToWaveWritesLineFormatSpeech)
{
    const QString path = out.filePath("tmpTTSGreet.wav");
    ASSERT_TRUE(engine->speakToWave(kSentence, path)) << engine->errorText().toStdString();
    const SoundFileInfo info = soundFileInfo(path);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.rate, 8000);
    EXPECT_EQ(info.channels, 1);
    // Eight words at the normal rate: a couple of seconds.
    EXPECT_GT(info.durationMs(), 1000);
    EXPECT_LT(info.durationMs(), 8000);
    EXPECT_NEAR(double(info.durationMs()), double(spokenMs(kSentence)), 30.0);

    AudioBuffer speech;
    ASSERT_TRUE(AudioFile::read(path, &speech).ok());
    EXPECT_GT(rms(speech.samples), 0.01);

    // Volume is applied: half the volume, clearly less signal.
    engine->setVolume(30);
    const QString quiet = out.filePath("quiet.wav");
    ASSERT_TRUE(engine->speakToWave(kSentence, quiet));
    AudioBuffer soft;
    ASSERT_TRUE(AudioFile::read(quiet, &soft).ok());
    EXPECT_LT(rms(soft.samples), rms(speech.samples) * 0.6);

    // An unwritable place fails, and says so.
    EXPECT_FALSE(engine->speakToWave(kSentence, out.filePath("no/folder/x.wav")));
    EXPECT_TRUE(engine->errorText().startsWith("cannot write file: "));
}

TEST_F(SpeechTest, EmptyTextWritesNothing)
{
    const QString path = out.filePath("tmpTTSGreet.wav");
    EXPECT_FALSE(engine->speakToWave(QString(), path));
    EXPECT_FALSE(engine->speakToWave("  \n ", path));
    EXPECT_FALSE(QFile::exists(path));

    // Nor does it touch a file that is already there.
    writeFile(path, "earlier greeting");
    EXPECT_FALSE(engine->speakToWave(QString(), path));
    EXPECT_EQ(readFile(path), "earlier greeting");
}

TEST_F(SpeechTest, SpeakPlaysOnTheSoundDevice)
{
    QSignalSpy done(engine.get(), &SpeechEngine::speakDone);
    ASSERT_TRUE(engine->speak("Hello world."));
    EXPECT_TRUE(engine->isSpeaking());
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
    EXPECT_FALSE(engine->isSpeaking());

    const QStringList files = sound.files();
    ASSERT_EQ(files.size(), 1);
    const SoundFileInfo info = soundFileInfo(files[0]);
    EXPECT_NEAR(double(info.durationMs()), double(spokenMs("Hello world.")), 30.0);
    AudioBuffer heard;
    ASSERT_TRUE(AudioFile::read(files[0], &heard).ok());
    EXPECT_GT(rms(heard.samples), 0.01);

    // After speaking into a file, speech goes to the sound device again.
    ASSERT_TRUE(engine->speakToWave("Saved.", out.filePath("saved.wav")));
    ASSERT_TRUE(engine->speak("Again."));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 2, 20000);
    EXPECT_EQ(sound.files().size(), 2);
}

TEST_F(SpeechTest, SecondTextCutsTheFirst)
{
    QSignalSpy done(engine.get(), &SpeechEngine::speakDone);
    const qint64 fullLong = spokenMs(kLongText);
    ASSERT_GT(fullLong, 5000);

    ASSERT_TRUE(engine->speak(kLongText));
    QTRY_VERIFY_WITH_TIMEOUT(wave->playPosition() >= 300, 20000);
    ASSERT_TRUE(engine->speak("Goodbye."));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
    QTest::qWait(100);
    EXPECT_EQ(done.count(), 1);

    const QStringList files = sound.files();
    ASSERT_EQ(files.size(), 2);
    EXPECT_LT(soundFileInfo(files[0]).durationMs(), fullLong / 2);
    EXPECT_NEAR(double(soundFileInfo(files[1]).durationMs()), double(spokenMs("Goodbye.")), 30.0);
}

TEST_F(SpeechTest, StopCutsPlaybackAndPendingSynthesis)
{
    QSignalSpy done(engine.get(), &SpeechEngine::speakDone);
    ASSERT_TRUE(engine->speak(kLongText));
    QTRY_VERIFY_WITH_TIMEOUT(wave->isPlaying(), 20000);
    engine->stop();
    EXPECT_EQ(done.count(), 1);
    EXPECT_FALSE(engine->isSpeaking());
    EXPECT_FALSE(wave->isPlaying());

    // Stopped before a sound was made: nothing is played later.
    ASSERT_TRUE(engine->speak(kLongText));
    engine->stop();
    EXPECT_EQ(done.count(), 2);
    QTest::qWait(500);
    EXPECT_EQ(done.count(), 2);
    EXPECT_FALSE(wave->isPlaying());
    EXPECT_EQ(sound.files().size(), 1);

    // Speaking nothing is a stop too.
    EXPECT_FALSE(engine->speak(QString()));
    EXPECT_EQ(done.count(), 2);
}

TEST_F(SpeechTest, PlaybackFailureEndsTheText)
{
    RecordingWave failing;
    failing.failNext(3, "no such output device 9");
    EspeakEngine speaker(&failing);
    speaker.setOutputDevice(9);
    QSignalSpy done(&speaker, &SpeechEngine::speakDone);
    ASSERT_TRUE(speaker.speak("Hello."));
    QTRY_COMPARE_WITH_TIMEOUT(done.count(), 1, 20000);
    EXPECT_FALSE(speaker.isSpeaking());
    EXPECT_EQ(speaker.errorText(), "no such output device 9");
    ASSERT_EQ(failing.calls().size(), 1);
    EXPECT_EQ(failing.calls()[0].device, 9);
}

TEST(RecordingSpeech, RemembersRequestsAndFinishesOnDemand)
{
    QTemporaryDir dir;
    RecordingSpeech speech;
    QSignalSpy done(&speech, &SpeechEngine::speakDone);
    EXPECT_FALSE(speech.setVoice(5));
    speech.setRate(3);
    EXPECT_TRUE(speech.speak("one"));
    EXPECT_TRUE(speech.speak("two"));
    EXPECT_EQ(done.count(), 0);
    speech.finishSpeaking();
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(speech.spokenTexts(), QStringList({ "one", "two" }));
    EXPECT_EQ(speech.rate(), 3);

    const QString path = dir.filePath("t.wav");
    EXPECT_FALSE(speech.speakToWave("", path));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(speech.speakToWave("three words here", path));
    EXPECT_EQ(soundFileInfo(path).rate, 8000);

    speech.setAutoFinishMs(10);
    speech.speak("auto");
    QTRY_COMPARE(done.count(), 2);
}

TEST(RecordingWave, RemembersCallsAndEndsPlaybacksOnDemand)
{
    RecordingWave wave;
    QSignalSpy done(&wave, &Wave::playDone);
    EXPECT_EQ(wave.playFile("/a.wav", 1, 8000), 0);
    EXPECT_EQ(wave.startPlayACM("/b.wav", WaveFormat::line(), 1000, 800), 0);
    EXPECT_EQ(done.count(), 0);
    wave.finishPlayback();
    EXPECT_EQ(done.count(), 1);
    EXPECT_EQ(wave.playedPaths(), QStringList({ "/a.wav", "/b.wav" }));
    EXPECT_EQ(wave.calls()[0].rateHint, 8000);
    EXPECT_EQ(wave.calls()[1].bufferSize, 800);

    wave.failNext(1, "file not found: /c.wav");
    EXPECT_EQ(wave.playFile("/c.wav", 0), 1);
    EXPECT_EQ(wave.playErrorText(1), "file not found: /c.wav");
    EXPECT_FALSE(wave.isPlaying());

    wave.setAutoFinishMs(10);
    EXPECT_EQ(wave.playFile("/d.wav", 0), 0);
    QTRY_COMPARE(done.count(), 2);
}
