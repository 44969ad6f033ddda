// Costs on the modem line: preparing audio for AT+VTX, and reading what a modem says.
#include "shared/modem/CallerIdLine.h"
#include "shared/modem/CallerIdRecord.h"
#include "shared/modem/DleDecoder.h"
#include "shared/modem/ModemLineSplitter.h"
#include "shared/modem/VoiceCodec.h"

#include <QRandomGenerator>
#include <benchmark/benchmark.h>
#include <cmath>

using namespace quorvel;

namespace {

QByteArray minuteOfSpeechLikeAudio()
{
    QByteArray pcm(60 * 8000 * 2, '\0');
    auto *s = reinterpret_cast<qint16 *>(pcm.data());
    QRandomGenerator rng(7);
    for (int i = 0; i < 60 * 8000; ++i)
        s[i] = static_cast<qint16>(8000 * std::sin(i * 0.3) + rng.bounded(2000) - 1000);
    return pcm;
}

// One minute of 8 kHz 16-bit audio converted to the modem's format and DLE-escaped.
void BM_LineAudioMinute(benchmark::State &state)
{
    const QByteArray pcm = minuteOfSpeechLikeAudio();
    const auto format = static_cast<VoiceFormat>(state.range(0));
    for (auto _ : state) {
        QByteArray wire = Dle::escape(VoiceCodec::encode(pcm, format));
        benchmark::DoNotOptimize(wire.data());
    }
    state.SetLabel(VoiceCodec::name(format).toStdString());
    state.counters["audio_s_per_s"]
        = benchmark::Counter(60.0, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_LineAudioMinute)
    ->Arg(static_cast<int>(VoiceFormat::Linear16))
    ->Arg(static_cast<int>(VoiceFormat::MuLaw))
    ->Arg(static_cast<int>(VoiceFormat::Linear8))
    ->Unit(benchmark::kMillisecond);

// Modem output (results, rings, caller ID, DLE events) through decoder, splitter and parser.
void BM_ModemOutputMegabyte(benchmark::State &state)
{
    const QByteArray block = "\r\nRING\r\n\r\nDATE = 1211\r\nTIME = 0930\r\nNMBR = 5551234\r\n"
                             "NAME = JOHN SMITH\r\n\r\nRING\r\n\r\nVCON\r\n\x10"
                             "5\x10"
                             "b\r\nOK\r\n";
    QByteArray stream;
    while (stream.size() < 1024 * 1024)
        stream += block;
    for (auto _ : state) {
        DleDecoder decoder;
        ModemLineSplitter splitter;
        CallerIdRecord record;
        int events = 0;
        for (qsizetype i = 0; i < stream.size(); i += 512)
            for (const auto &item : decoder.feed(stream.mid(i, 512))) {
                if (item.event) {
                    ++events;
                    continue;
                }
                for (const QByteArray &line : splitter.feed(item.data))
                    if (const auto cid = CallerIdLine::parse(line))
                        record.apply(*cid);
            }
        benchmark::DoNotOptimize(events);
    }
    state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_ModemOutputMegabyte)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
