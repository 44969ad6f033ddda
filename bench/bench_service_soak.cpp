// Soak of the line service against the simulated modem in fast-ring mode: calls back to back,
// alternately an unknown caller answered with a short greeting and a blocked contact dropped
// at once. Reports the records written, messages lost on channels 407/409/410, and the
// service's resident memory and open descriptors after a warm-up and at the end.
//
// Run by hand (about a second per call); QUORVEL_SOAK_CALLS overrides the 1,000 calls.
#include "tests/e2e/LineRig.cpp" // the rig of the end-to-end tests, built into this program

#include <QCoreApplication>
#include <QDir>
#include <benchmark/benchmark.h>

#include <cstdio>

using namespace quorvel;
using namespace quorvel::test;

namespace {

long rssKb(qint64 pid)
{
    const QByteArray status = readFile(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : status.split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

long openFds(qint64 pid)
{
    return long(QDir(QStringLiteral("/proc/%1/fd").arg(pid))
                    .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                    .size());
}

void BM_Soak(benchmark::State &state)
{
    const int calls = qEnvironmentVariableIsSet("QUORVEL_SOAK_CALLS")
        ? qEnvironmentVariableIntValue("QUORVEL_SOAK_CALLS")
        : 1000;
    constexpr int kWarmUp = 20;
    for (auto _ : state) {
        LineRig rig;
        rig.answeringDefaults(1, "Blip");
        rig.writeGreeting("Blip", 100, 800);
        rig.addContact("Blocked", "6660", "2");
        if (!rig.start()) {
            state.SkipWithError("the service did not open the line");
            return;
        }
        const qint64 pid = rig.servicePid();
        long rssStart = 0;
        long fdStart = 0;
        int unknown = 0;
        for (int c = 0; c < calls; ++c) {
            if (c == kWarmUp) {
                rssStart = rssKb(pid);
                fdStart = openFds(pid);
            }
            const bool blocked = c % 2 == 1;
            unknown += blocked ? 0 : 1;
            rig.script({ "ring",
                         QStringLiteral("cid %1%2 CALLER")
                             .arg(blocked ? "6660" : "5550")
                             .arg(c, 6, 10, QChar('0')),
                         "ringing 4", "wait 0.1" });
            if (!rig.waitRecords(c + 1, 30000)) {
                state.SkipWithError("a call was not recorded");
                return;
            }
        }
        QTest::qWait(1000); // the last call's messages
        const long rssEnd = rssKb(pid);
        const long fdEnd = openFds(pid);

        auto count = [&rig](int channel, const char *name) {
            int n = 0;
            for (const ChanMessage &m : rig.messages())
                n += m.channel == channel && m.fields.value(0) == QLatin1String(name);
            return n;
        };
        const int lost = std::max(0, calls - count(407, "Tapi_Incomming"))
            + std::max(0, calls - count(407, "Tapi_Idle"))
            + std::max(0, calls - count(410, "Tapi_Idle"))
            + std::max(0, unknown - count(409, "Tapi_CID"))
            + std::max(0, unknown - count(407, "PlayGreet"));
        const int records = int(rig.records().size());

        state.counters["calls"] = calls;
        state.counters["records"] = records;
        state.counters["lost_messages"] = lost;
        state.counters["rss_start_kb"] = double(rssStart);
        state.counters["rss_end_kb"] = double(rssEnd);
        state.counters["fd_start"] = double(fdStart);
        state.counters["fd_end"] = double(fdEnd);
        std::printf(
            "calls %d, records %d, lost messages %d, RSS %ld kB -> %ld kB, fds %ld -> %ld\n", calls,
            records, lost, rssStart, rssEnd, fdStart, fdEnd);
    }
}
BENCHMARK(BM_Soak)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
