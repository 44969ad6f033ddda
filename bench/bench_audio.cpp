// The costs of getting audio into the line format: a minute of CD-quality stereo converted to
// 8 kHz mono, and a 20-word announcement spoken into a greeting file.
#include "controls/audio/AudioFile.h"
#include "controls/audio/RecordingWave.h"
#include "controls/speech/EspeakEngine.h"

#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <cmath>
#include <sndfile.h>
#include <vector>

using namespace quorvel;

namespace {

// A minute of 44.1 kHz stereo with something in it: two tones and a slow sweep, so the
// resampler's filters do real work.
QString minuteOfStereo(const QTemporaryDir &dir)
{
    const QString path = dir.filePath("minute.wav");
    SF_INFO info {};
    info.samplerate = 44100;
    info.channels = 2;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    const int frames = 44100 * 60;
    std::vector<float> data(size_t(frames) * 2);
    for (int f = 0; f < frames; ++f) {
        const double t = double(f) / 44100;
        const double sweep = std::sin(2 * M_PI * (200 + 40 * t) * t);
        data[size_t(f) * 2] = float(0.3 * std::sin(2 * M_PI * 440 * t) + 0.2 * sweep);
        data[size_t(f) * 2 + 1] = float(0.3 * std::sin(2 * M_PI * 1000 * t) + 0.2 * sweep);
    }
    sf_writef_float(file, data.data(), frames);
    sf_close(file);
    return path;
}

const char *kTwentyWords = "Good evening, you have reached the Miller family. We cannot take "
                           "your call right now, please try again a little later today.";

void BM_ConvertMinuteOfStereoToLine(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = minuteOfStereo(dir);
    qsizetype bytes = 0;
    for (auto _ : state) {
        QByteArray pcm;
        const AudioStatus status = AudioFile::toLineFormat(path, &pcm);
        if (!status.ok())
            state.SkipWithError(status.text.toUtf8().constData());
        bytes = pcm.size();
        benchmark::DoNotOptimize(pcm.data());
    }
    state.counters["line_seconds"] = double(bytes) / 2 / AudioFile::kLineRate;
    // Seconds of audio converted per second of work.
    state.counters["x_realtime"]
        = benchmark::Counter(60.0 * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ConvertMinuteOfStereoToLine)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SpeakTwentyWordsToWave(benchmark::State &state)
{
    QTemporaryDir dir;
    RecordingWave wave;
    EspeakEngine engine(&wave);
    if (!engine.isAvailable()) {
        state.SkipWithError("espeak-ng not available");
        return;
    }
    const QString path = dir.filePath("tmpTTSGreet.wav");
    for (auto _ : state) {
        if (!engine.speakToWave(QString::fromUtf8(kTwentyWords), path))
            state.SkipWithError("speakToWave failed");
    }
    const qint64 bytes = QFile(path).size() - 44;
    const double spoken = double(bytes) / 2 / AudioFile::kLineRate;
    state.counters["speech_seconds"] = spoken;
    state.counters["x_realtime"]
        = benchmark::Counter(spoken * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SpeakTwentyWordsToWave)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
