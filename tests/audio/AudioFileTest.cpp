#include "controls/audio/AudioFile.h"
#include "controls/audio/AudioStream.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/TempHome.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sndfile.h>

using namespace quorvel;
using namespace quorvel::test;

namespace {

struct SourceCase {
    const char *name;
    int format;
    int rate;
    int channels;
    double slackMs = 6; // ADPCM rounds up to whole blocks of up to ~100 ms of audio
};

// What greetings and sounds arrive as: every encoding a WAV commonly carries.
const SourceCase kSources[] = {
    { "pcm16_22050_stereo", SF_FORMAT_PCM_16, 22050, 2 },
    { "pcm8_11025_mono", SF_FORMAT_PCM_U8, 11025, 1 },
    { "pcm24_44100_stereo", SF_FORMAT_PCM_24, 44100, 2 },
    { "pcm16_8000_mono", SF_FORMAT_PCM_16, 8000, 1 },
    { "ulaw_8000_mono", SF_FORMAT_ULAW, 8000, 1 },
    { "alaw_16000_mono", SF_FORMAT_ALAW, 16000, 1 },
    { "ima_adpcm_22050_stereo", SF_FORMAT_IMA_ADPCM, 22050, 2, 100 },
    { "ms_adpcm_11025_mono", SF_FORMAT_MS_ADPCM, 11025, 1, 100 },
    { "float_48000_stereo", SF_FORMAT_FLOAT, 48000, 2 },
};

} // namespace

TEST(AudioFile, EveryEncodingConvertsToTheLineFormat)
{
    QTemporaryDir dir;
    for (const SourceCase &source : kSources) {
        SCOPED_TRACE(source.name);
        const QString path = dir.filePath(QString(source.name) + ".wav");
        ASSERT_TRUE(writeTone(path, source.format, source.rate, source.channels, 1000, 1.0));

        QByteArray pcm;
        const AudioStatus status = AudioFile::toLineFormat(path, &pcm);
        ASSERT_TRUE(status.ok()) << status.text.toStdString();
        const std::vector<float> line = AudioFile::fromPcm16(pcm);
        // One second in, one second out (ADPCM's padding of its last block aside).
        EXPECT_GE(double(line.size()), 8000.0 - 8 * 6);
        EXPECT_LE(double(line.size()), 8000.0 + 8 * source.slackMs);
        EXPECT_EQ(strongestFrequency(line, 8000), 1000.0);
        // A 0.5 full-scale sine keeps its level (rms 0.354) through every encoding.
        EXPECT_NEAR(rms(line), 0.354, 0.04);
    }
}

TEST(AudioFile, StereoIsMixedNotJustTheLeftChannel)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("opposed.wav");
    // The right channel is the left one inverted: a true mix cancels to silence.
    ASSERT_TRUE(writeTone(path, SF_FORMAT_PCM_16, 22050, 2, 1000, 0.5, 0.5, -1));
    QByteArray pcm;
    ASSERT_TRUE(AudioFile::toLineFormat(path, &pcm).ok());
    EXPECT_LT(rms(AudioFile::fromPcm16(pcm)), 0.001);

    AudioBuffer buffer;
    ASSERT_TRUE(AudioFile::read(path, &buffer).ok());
    EXPECT_EQ(buffer.channels, 2);
    EXPECT_LT(rms(AudioFile::mixToMono(buffer).samples), 0.001);
}

TEST(AudioFile, ResampleKeepsDurationAndPitch)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("tone.wav");
    ASSERT_TRUE(writeTone(path, SF_FORMAT_PCM_16, 44100, 1, 1000, 0.75));
    AudioBuffer in;
    ASSERT_TRUE(AudioFile::read(path, &in).ok());
    const AudioBuffer out = AudioFile::resample(in, 8000);
    EXPECT_EQ(out.sampleRate, 8000);
    EXPECT_NEAR(double(out.frames()), 6000.0, 30.0);
    EXPECT_EQ(strongestFrequency(out.samples, 8000), 1000.0);
}

TEST(AudioFile, FullScaleOverflowClipsInsteadOfWrapping)
{
    // A float file may hold samples past 1.0; wrapping would turn a peak into a loud click.
    const QByteArray pcm = AudioFile::toPcm16({ 1.5f, -1.5f, 1.0f, -1.0f, 0.5f });
    const auto *s = reinterpret_cast<const int16_t *>(pcm.constData());
    EXPECT_EQ(s[0], 32767);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[2], 32767);
    EXPECT_EQ(s[3], -32768);
    EXPECT_EQ(s[4], 16384);

    QTemporaryDir dir;
    const QString path = dir.filePath("hot.wav");
    ASSERT_TRUE(writeTone(path, SF_FORMAT_FLOAT, 8000, 1, 1000, 0.2, 1.5));
    QByteArray line;
    ASSERT_TRUE(AudioFile::toLineFormat(path, &line).ok());
    const auto *samples = reinterpret_cast<const int16_t *>(line.constData());
    // Positive half-waves stay positive: nothing wrapped round to the negative side.
    int wrapped = 0;
    for (qsizetype i = 1; i + 1 < line.size() / 2; ++i) {
        if (samples[i - 1] > 30000 && samples[i] < -30000)
            ++wrapped;
    }
    EXPECT_EQ(wrapped, 0);
}

TEST(AudioFile, BadInputGivesAClearError)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath("missing.wav");
    const QString text = dir.filePath("notes.wav");
    writeFile(text, "this is not audio at all, just some words in a file\n");
    const QString empty = dir.filePath("empty.wav");
    writeFile(empty, QByteArray());

    struct Case {
        QString path;
        AudioStatus::Code code;
        QString text;
    };
    const Case cases[] = {
        { missing, AudioStatus::NotFound, "file not found: " + missing },
        { text, AudioStatus::NotSound, "not a sound file: " + text },
        { empty, AudioStatus::NotSound, "not a sound file: " + empty },
        { dir.path(), AudioStatus::NotSound, "not a sound file: " + dir.path() },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path.toStdString());
        QByteArray pcm("left over");
        const AudioStatus status = AudioFile::toLineFormat(c.path, &pcm);
        EXPECT_EQ(status.code, c.code);
        EXPECT_EQ(status.text, c.text);
        EXPECT_TRUE(pcm.isEmpty());
        AudioBuffer buffer;
        EXPECT_EQ(AudioFile::read(c.path, &buffer).code, c.code);
    }
}

TEST(AudioFile, TruncatedFileKeepsWhatIsThere)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("cut.wav");
    ASSERT_TRUE(writeTone(path, SF_FORMAT_PCM_16, 8000, 1, 1000, 1.0));
    // Cut the data in half while the header still claims a full second.
    QByteArray bytes = readFile(path);
    bytes.truncate(44 + 8000);
    writeFile(path, bytes);

    QByteArray pcm;
    ASSERT_TRUE(AudioFile::toLineFormat(path, &pcm).ok());
    EXPECT_NEAR(double(pcm.size() / 2), 4000.0, 10.0);
    EXPECT_EQ(strongestFrequency(AudioFile::fromPcm16(pcm), 8000), 1000.0);
}

TEST(AudioFile, LongFilesAreRefusedForTheLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("long.wav");
    ASSERT_TRUE(writeTone(path, SF_FORMAT_PCM_16, 8000, 1, 440, 3.0));
    QByteArray pcm;
    const AudioStatus status = AudioFile::toLineFormat(path, &pcm, 2);
    EXPECT_EQ(status.code, AudioStatus::TooLong);
    EXPECT_TRUE(pcm.isEmpty());
    EXPECT_TRUE(AudioFile::toLineFormat(path, &pcm, 4).ok());
}

TEST(AudioFile, WrittenWavIsLineFormatAndRoundTrips)
{
    QTemporaryDir dir;
    std::vector<float> samples(800);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = float(i % 100) / 100.0f - 0.5f;
    const QByteArray pcm = AudioFile::toPcm16(samples);
    const QString path = dir.filePath("out.wav");
    ASSERT_TRUE(AudioFile::writeWav(path, pcm, 8000, 1).ok());

    const SoundFileInfo info = soundFileInfo(path);
    ASSERT_TRUE(info.ok);
    EXPECT_EQ(info.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
    EXPECT_EQ(info.rate, 8000);
    EXPECT_EQ(info.channels, 1);
    EXPECT_EQ(info.frames, 800);
    EXPECT_EQ(readFile(path).mid(44), pcm);
    EXPECT_EQ(readFile(path).size(), 44 + 1600);

    const QString nowhere = dir.filePath("no/such/folder/out.wav");
    const AudioStatus status = AudioFile::writeWav(nowhere, pcm, 8000, 1);
    EXPECT_EQ(status.code, AudioStatus::CannotWrite);
    EXPECT_EQ(status.text, "cannot write file: " + nowhere);
}

TEST(AudioFile, StreamFoldsManyChannelsAndReportsLength)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("quad.wav");
    ASSERT_TRUE(writeTone(path, SF_FORMAT_PCM_16, 16000, 4, 1000, 0.5));
    AudioStream stream;
    ASSERT_TRUE(stream.open(path, 8000).ok());
    EXPECT_EQ(stream.channels(), 2);
    EXPECT_EQ(stream.sampleRate(), 8000);
    EXPECT_EQ(stream.totalFrames(), 4000);
    std::vector<int16_t> out(2 * 10000);
    qint64 frames = 0;
    for (int got; (got = stream.read(out.data() + frames * 2, 333)) > 0;)
        frames += got;
    EXPECT_NEAR(double(frames), 4000.0, 10.0);
    EXPECT_TRUE(stream.atEnd());
}
