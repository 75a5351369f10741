// Loading and saving damaged or oversized settings files: a play-list count
// far beyond what the file holds, and 50 MB files made of many entries or of
// one long value. Peak resident memory is reported with each case.

#include "config/Settings.h"
#include "platform/environment/Clock.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

namespace {

QTemporaryDir &workDir()
{
    static QTemporaryDir dir;
    return dir;
}

SettingsPaths pathsFor(const QString &name, const QByteArray &ini)
{
    const QString folder = workDir().filePath(name);
    QDir().mkpath(folder + "/Template");
    QFile f(folder + "/Kestrun.ini");
    f.open(QIODevice::WriteOnly);
    f.write(ini);
    return SettingsPaths::inProgramFolder(folder);
}

QByteArray manyEntries(qint64 size = 50 * 1024 * 1024)
{
    QByteArray ini = "[PlayList]\r\nCount=1000000\r\n";
    for (int i = 0; ini.size() < size - 100; ++i)
        ini += QByteArray::number(i) + "=/home/office/waves/message number " + QByteArray::number(i) +
               ".wav\r\n";
    return ini;
}

QByteArray oneLongValue()
{
    return "[Email]\r\nSubject=" + QByteArray(50 * 1024 * 1024, 'x') +
           "\r\n[PlayList]\r\nCount=1\r\n0=a.wav\r\n";
}

void reportMemory(benchmark::State &state)
{
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    state.counters["peak_rss_MB"] = double(ru.ru_maxrss) / 1024.0;
}

void run(benchmark::State &state, const SettingsPaths &paths, bool save)
{
    // An oversized file is refused; the save then fails by design.
    SystemClock clock;
    for (auto _ : state) {
        Settings s;
        LoadSettings(s, paths, clock);
        benchmark::DoNotOptimize(s.playList.size());
        if (save) {
            try {
                SaveSettings(s, paths);
            } catch (const std::exception &) {
            }
        }
    }
    reportMemory(state);
}

void BM_HugeCountIn30Bytes(benchmark::State &state)
{
    run(state, pathsFor("count", "[PlayList]\r\nCount=2000000000\r\n"), false);
}

void BM_Load50MBOfEntries(benchmark::State &state)
{
    run(state, pathsFor("entries", manyEntries()), false);
}

void BM_LoadSave50MBOfEntries(benchmark::State &state)
{
    run(state, pathsFor("entries-save", manyEntries()), true);
}

// The largest file that is still read.
void BM_LoadSaveEntriesAtTheSizeLimit(benchmark::State &state)
{
    run(state, pathsFor("limit", manyEntries(16 * 1024 * 1024)), true);
}

void BM_Load50MBValue(benchmark::State &state)
{
    run(state, pathsFor("value", oneLongValue()), false);
}

} // namespace

BENCHMARK(BM_HugeCountIn30Bytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load50MBOfEntries)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadSave50MBOfEntries)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LoadSaveEntriesAtTheSizeLimit)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Load50MBValue)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();
