// Settings store: the cost of the reads every call makes and of one locked, flushed write.

#include "shared/settings/RegistryRoutines.h"
#include "tests/support/TempHome.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

using namespace quorvel;

namespace {

// A file of the size the programs keep: every section of the catalogue, about 90 values.
void fillTypicalFile(const QString &file)
{
    RegistryRoutines reg(file);
    const char *sections[] = { "Properties\\TabGeneral",
                               "Properties\\TabDevices",
                               "Properties\\TabDevices\\CallerID",
                               "Properties\\TabLog",
                               "Properties\\TabLineStat",
                               "Properties\\TabTTS",
                               "Answer\\TabAnsweringMachine",
                               "Events\\TabInCommingCall",
                               "Events\\Advanced",
                               "RemoteAccess\\TabPhoneAccess",
                               "Access\\Phone\\Messages",
                               "Access\\Phone\\Digits",
                               "RemoteAccess\\TabInternetAccess",
                               "Language",
                               "TTS51" };
    for (const char *s : sections) {
        reg.setSubkey(QString::fromLatin1(s));
        for (int i = 0; i < 6; ++i)
            reg.setRegistryValue(QStringLiteral("chkValue%1").arg(i), QString::number(i % 2));
    }
    reg.setSubkey(QStringLiteral("Properties\\TabGeneral"));
    reg.setRegistryValue(QStringLiteral("ChkRunAsProc"), QStringLiteral("0"));
}

QString memoryFolder()
{
    return QFileInfo(QStringLiteral("/dev/shm")).isDir() ? QStringLiteral("/dev/shm")
                                                         : QDir::tempPath();
}

void BM_ReadOneValueFileUnchanged(benchmark::State &state)
{
    test::TempHome home;
    const QString file = home.path(QStringLiteral("settings.ini"));
    fillTypicalFile(file);
    RegistryRoutines reg(file);
    reg.setSubkey(QStringLiteral("Properties\\TabGeneral"));
    for (auto _ : state)
        benchmark::DoNotOptimize(reg.getRegistryValue(QStringLiteral("ChkRunAsProc")));
}
BENCHMARK(BM_ReadOneValueFileUnchanged);

// The first read after the other program wrote: the file is read and parsed again.
void BM_ReadOneValueFileChanged(benchmark::State &state)
{
    test::TempHome home;
    const QString file = home.path(QStringLiteral("settings.ini"));
    fillTypicalFile(file);
    for (auto _ : state) {
        RegistryRoutines reg(file);
        reg.setSubkey(QStringLiteral("Properties\\TabGeneral"));
        benchmark::DoNotOptimize(reg.getRegistryValue(QStringLiteral("ChkRunAsProc")));
    }
}
BENCHMARK(BM_ReadOneValueFileChanged);

void writeLoop(benchmark::State &state, const QString &file)
{
    fillTypicalFile(file);
    RegistryRoutines reg(file);
    reg.setSubkey(QStringLiteral("Properties\\TabGeneral"));
    int i = 0;
    for (auto _ : state) {
        if (!reg.setRegistryValue(QStringLiteral("ChkRunAsProc"), QString::number(++i % 2)))
            state.SkipWithError("write failed");
    }
}

// Lock, re-read, change, write, fsync, rename, fsync the folder: on the disk of the data home.
void BM_WriteOneValueDisk(benchmark::State &state)
{
    test::TempHome home;
    writeLoop(state, home.path(QStringLiteral("settings.ini")));
}
BENCHMARK(BM_WriteOneValueDisk)->Unit(benchmark::kMicrosecond);

// The same in a memory-backed folder: the store's own share of a write, without the disk.
void BM_WriteOneValueMemory(benchmark::State &state)
{
    QTemporaryDir dir(memoryFolder() + QStringLiteral("/quorvel-bench-XXXXXX"));
    writeLoop(state, dir.filePath(QStringLiteral("settings.ini")));
}
BENCHMARK(BM_WriteOneValueMemory)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
