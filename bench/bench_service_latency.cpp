// How fast the line service decides, against the simulated modem with 100,000 contacts:
//  - caller ID to answer: from the modem's last caller-ID line to the service's ATA, for a
//    contact with the hang-up rule (the answer must go out before the next ring);
//  - first RING to "Tapi_Incomming" arriving at the desktop's end of channel 407.
// Both are measured on CLOCK_MONOTONIC from the simulator's log and quorvel-chan's output,
// over 200 calls; median and 99th percentile in milliseconds.
//
// Runs the real programs from the build's bin folder; QUORVEL_DATA_DIR should point at data/.
// Env QUORVEL_BENCH_CALLS overrides the number of calls.
#include "tests/e2e/LineRig.cpp" // the rig of the end-to-end tests, built into this program

#include "service/line/FrmLine.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>

using namespace quorvel;
using namespace quorvel::test;

namespace {

double percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    const size_t i = std::min(v.size() - 1, size_t(p * double(v.size() - 1) + 0.5));
    return v[i];
}

void BM_DecisionLatency(benchmark::State &state)
{
    const int calls = qEnvironmentVariableIsSet("QUORVEL_BENCH_CALLS")
        ? qEnvironmentVariableIntValue("QUORVEL_BENCH_CALLS")
        : 200;
    for (auto _ : state) {
        state.PauseTiming();
        LineRig rig;
        QList<std::pair<QString, QString>> contacts;
        contacts.reserve(100000);
        for (int i = 1; i <= 100000; ++i)
            contacts.append({ QStringLiteral("Contact %1").arg(i),
                              QStringLiteral("1%1").arg(i, 9, 10, QChar('0')) });
        rig.addManyContacts(contacts);
        // The blocking rule sits behind every other contact.
        rig.addContact("Blocked", "5554440", "2");
        if (!rig.start()) {
            state.SkipWithError("the service did not open the line");
            return;
        }
        // The service indexes the contacts while the line is idle; a file written this very
        // moment is indexed again a few seconds on (its time stamp cannot be trusted yet).
        QTest::qWait(FrmLine::kContactsCheckMs + 1000);
        state.ResumeTiming();

        for (int c = 0; c < calls; ++c) {
            rig.script({ "ring",
                         QStringLiteral("cid 5554440%1 SALES").arg(c % 1000, 3, 10, QChar('0')),
                         "ringing 4", "wait 0.2" });
            if (!rig.waitRecords(c + 1, 20000)) {
                state.SkipWithError("a call was not recorded");
                return;
            }
        }

        state.PauseTiming();
        // Pair each call's last caller-ID line with the ATA that followed it, and its first
        // RING with the "Tapi_Incomming" that followed it.
        std::vector<double> cidToAta;
        std::vector<double> ringToIncoming;
        std::vector<double> rings;
        double lastCid = -1;
        bool newCall = true;
        for (const SimEvent &e : rig.simLog()) {
            if (e.dir == QLatin1String("tx") && e.text == QLatin1String("RING") && newCall) {
                rings.push_back(e.t);
                newCall = false;
            } else if (e.dir == QLatin1String("tx")
                       && (e.text.startsWith(QLatin1String("NMBR"))
                           || e.text.startsWith(QLatin1String("NAME")))) {
                lastCid = e.t;
            } else if (e.dir == QLatin1String("rx") && e.text == QLatin1String("ATA")
                       && lastCid >= 0) {
                cidToAta.push_back((e.t - lastCid) * 1000);
                lastCid = -1;
            } else if (e.dir == QLatin1String("rx") && e.text.startsWith(QLatin1String("ATH"))) {
                newCall = true;
            }
        }
        std::vector<double> incoming;
        for (const ChanMessage &m : rig.messages())
            if (m.channel == 407 && m.fields.value(0) == QLatin1String("Tapi_Incomming"))
                incoming.push_back(m.t);
        for (size_t i = 0; i < std::min(rings.size(), incoming.size()); ++i)
            ringToIncoming.push_back((incoming[i] - rings[i]) * 1000);

        // The slowest calls, by number, to tell a cold start from a stall.
        std::vector<std::pair<double, size_t>> slow;
        for (size_t i = 0; i < cidToAta.size(); ++i)
            slow.push_back({ cidToAta[i], i + 1 });
        std::sort(slow.rbegin(), slow.rend());
        std::printf("slowest caller ID -> ATA:");
        for (size_t i = 0; i < std::min<size_t>(5, slow.size()); ++i)
            std::printf(" call %zu %.1f ms;", slow[i].second, slow[i].first);
        std::printf("\n");

        state.counters["calls"] = double(cidToAta.size());
        state.counters["cid_to_ata_median_ms"] = percentile(cidToAta, 0.5);
        state.counters["cid_to_ata_p99_ms"] = percentile(cidToAta, 0.99);
        state.counters["ring_to_incoming_median_ms"] = percentile(ringToIncoming, 0.5);
        state.counters["ring_to_incoming_p99_ms"] = percentile(ringToIncoming, 0.99);
        std::printf("calls %zu: caller ID -> ATA median %.2f ms, p99 %.2f ms; "
                    "RING -> Tapi_Incomming median %.2f ms, p99 %.2f ms\n",
                    cidToAta.size(), percentile(cidToAta, 0.5), percentile(cidToAta, 0.99),
                    percentile(ringToIncoming, 0.5), percentile(ringToIncoming, 0.99));
        state.ResumeTiming();
    }
}
BENCHMARK(BM_DecisionLatency)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
