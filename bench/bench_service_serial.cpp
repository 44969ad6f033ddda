// The serial caller-ID path: how fast the reader takes the modem's text apart, and how long it
// takes from the modem writing the second RING on the port to the line form hearing the caller.
#include "controls/modem/RecordingTelephony.h"
#include "service/host/FrmMain.h"
#include "service/serial/CommCidReader.h"
#include "service/serial/FrmCommControl.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

using namespace quorvel;

namespace {

const QByteArray kCall = "\r\nRING\r\n\r\nDATE = 1211\r\nTIME = 0930\r\nNMBR = 5551234\r\n"
                         "NAME = JOHN SMITH\r\n\r\nRING\r\n\r\nRING\r\n\r\nRING\r\n";

void BM_ReaderWholeCall(benchmark::State &state)
{
    for (auto _ : state) {
        CommCidReader reader;
        benchmark::DoNotOptimize(reader.feed(kCall));
    }
    state.SetBytesProcessed(state.iterations() * kCall.size());
}
BENCHMARK(BM_ReaderWholeCall);

// The port may deliver one byte per read.
void BM_ReaderByteByByte(benchmark::State &state)
{
    for (auto _ : state) {
        CommCidReader reader;
        for (const char c : kCall)
            benchmark::DoNotOptimize(reader.feed(QByteArray(1, c)));
    }
    state.SetBytesProcessed(state.iterations() * kCall.size());
}
BENCHMARK(BM_ReaderByteByByte);

class TimingLine final : public SerialCallSink {
public:
    int calls = 0;
    void comm_InComeCall() override { ++calls; }
    void comm_CallerID(const QString &, const QString &) override { ++calls; }
    void getTapiFromComm() override { }
    void comm_Idle() override { }
};

bool waitCalls(const TimingLine &line, int count)
{
    QElapsedTimer t;
    t.start();
    while (line.calls < count) {
        if (t.elapsed() > 5000)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    }
    return true;
}

// Second RING written on the pty's modem side until comm_CallerID ran.
void BM_SecondRingToCallerId(benchmark::State &state)
{
    QTemporaryDir dir;
    const DataHome home(dir.path());
    QDir().mkpath(dir.path() + "/lock");
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) {
        state.SkipWithError("no pseudo-terminal");
        return;
    }
    SystemClock clock;
    RecordingTelephony tapi;
    tapi.devices = {
        { .caps = {}, .portPath = QString::fromLocal8Bit(::ptsname(master)), .waveOutId = -1 }
    };
    FrmMain main(ServiceControls { .home = home,
                                   .clock = &clock,
                                   .telephony = &tapi,
                                   .makeLineForm = {},
                                   .makeSpeechForm = {},
                                   .makeCommControl = {} });
    TimingLine line;
    FrmCommControl::Options options;
    options.port.lockDirectory = dir.path() + "/lock";
    FrmCommControl form(main, line, options);
    form.commConnect(1, QStringLiteral("AT#CID=1"));
    if (!form.isPortOpen()) {
        state.SkipWithError("port did not open");
        ::close(master);
        return;
    }
    const QByteArray first = "\r\nRING\r\n\r\nNMBR = 5551234\r\nNAME = JOHN SMITH\r\n";
    const QByteArray second = "\r\nRING\r\n";
    char sink[256];
    for (auto _ : state) {
        state.PauseTiming();
        form.initVals();
        line.calls = 0;
        while (::read(master, sink, sizeof sink) > 0) { }
        if (::write(master, first.constData(), first.size()) != first.size()
            || !waitCalls(line, 1)) {
            state.SkipWithError("first ring not seen");
            break;
        }
        state.ResumeTiming();
        if (::write(master, second.constData(), second.size()) != second.size()
            || !waitCalls(line, 2)) {
            state.SkipWithError("caller ID not seen");
            break;
        }
    }
    form.commDisconnect();
    ::close(master);
}
BENCHMARK(BM_SecondRingToCallerId)->Unit(benchmark::kMicrosecond)->Iterations(500);

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
