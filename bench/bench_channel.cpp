// Channel round trips between two processes over the real sockets: this process sends on one
// number, a copy of itself started with --echo-peer answers each message on another.

#include "controls/channel/UnixChannel.h"
#include "tests/support/TempHome.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <benchmark/benchmark.h>

#include <cstdio>

using quorvel::UnixChannel;

namespace {

constexpr int kToPeer = 901;
constexpr int kBack = 902;

int runEchoPeer()
{
    UnixChannel in;
    UnixChannel out;
    QObject::connect(&in, &UnixChannel::textArrived, [&out](const QString &text) {
        // As the programs do: open before every send.
        if (out.openChannel(kBack))
            out.sendText(text);
    });
    in.openChannel(kToPeer);
    std::fputs("{\"ready\":true}\n", stderr);
    std::fflush(stderr);
    return QCoreApplication::exec();
}

struct Pair
{
    UnixChannel ping;
    UnixChannel pong;
    long long replies = 0;

    Pair()
    {
        QObject::connect(&pong, &UnixChannel::textArrived, [this](const QString &) { ++replies; });
        pong.openChannel(kBack);
    }

    void waitFor(long long count)
    {
        while (replies < count)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
};

Pair *g_pair = nullptr;

void BM_RoundTrip(benchmark::State &state)
{
    const QString payload(state.range(0), 'x');
    Pair &p = *g_pair;
    p.ping.openChannel(kToPeer);
    for (auto _ : state) {
        const long long want = p.replies + 1;
        p.ping.sendText(payload);
        p.waitFor(want);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 2);
}
BENCHMARK(BM_RoundTrip)->Arg(16)->Arg(1024)->Arg(65536)->UseRealTime();

// The protocol's way: open again before every send, on both sides.
void BM_RoundTripOpeningEachSend(benchmark::State &state)
{
    const QString payload = QStringLiteral("Tapi_Ring\r\n0\r\n2\r\nFalse");
    Pair &p = *g_pair;
    for (auto _ : state) {
        const long long want = p.replies + 1;
        if (!p.ping.openChannel(kToPeer)) {
            state.SkipWithError("the echo peer is gone");
            break;
        }
        p.ping.sendText(payload);
        p.waitFor(want);
    }
}
BENCHMARK(BM_RoundTripOpeningEachSend)->UseRealTime();

// Many messages in flight at once: how many the pair moves there and back per second.
void BM_BurstRoundTrip(benchmark::State &state)
{
    const QString payload = QStringLiteral("Tapi_Ring\r\n0\r\n2\r\nFalse");
    const int burst = int(state.range(0));
    Pair &p = *g_pair;
    p.ping.openChannel(kToPeer);
    for (auto _ : state) {
        const long long want = p.replies + burst;
        for (int i = 0; i < burst; ++i)
            p.ping.sendText(payload);
        p.waitFor(want);
    }
    state.SetItemsProcessed(state.iterations() * burst);
}
BENCHMARK(BM_BurstRoundTrip)->Arg(1000)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]) == "--echo-peer")
        return runEchoPeer();

    quorvel::test::TempHome home; // the child inherits its runtime folder
    QProcess peer;
    peer.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    peer.start(QCoreApplication::applicationFilePath(), { "--echo-peer" });
    QByteArray err;
    const bool ready = peer.waitForStarted(10000)
        && QTest::qWaitFor(
                           [&] {
                               err += peer.readAllStandardError();
                               return err.contains("{\"ready\":true}");
                           },
                           10000);
    if (!ready) {
        std::fprintf(stderr, "bench_channel: the echo peer did not start\n");
        return 1;
    }
    Pair pair;
    g_pair = &pair;

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    g_pair = nullptr;
    peer.terminate();
    peer.waitForFinished(5000);
    return 0;
}
