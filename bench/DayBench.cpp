// A whole day at 1,000 watched lines, one scan a second through the injected
// clock, on the simulated exchange with demo traffic: peak memory and the
// longest time one tick (scan, records, save hand-over) held the event loop.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include "ProgramHarness.h"

namespace {

using namespace platform;

// Resident memory of the process: VmHWM (peak) or VmRSS, in MB.
double MemoryMb(const char* field) {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(strlen(field))).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

struct Day : ProgramHarness {
    Day() : ProgramHarness(Config(), QDateTime(QDate(2026, 12, 5), QTime(0, 0, 0, 500))) {
        tapi.recording = false;
    }
    static sim::ExchangeConfig Config() {
        sim::ExchangeConfig config;
        config.lines = 1000, config.demoTraffic = true, config.seed = 3;
        return config;
    }
};

void BM_DayAt1000Lines(benchmark::State& state) {
    const int hours = static_cast<int>(state.range(0));
    for (auto _ : state) {
        Day day;
        day.WriteSettings({"Save Data=720", "Alarm=0", "Display Data=0"});
        const double before = MemoryMb("VmRSS:");
        day.program.StartUp("");
        day.program.BuildLineTable();
        std::vector<OutLogModel::Row> rows;
        day.program.TestLines(rows);
        qint64 longestNs = 0;
        for (int tick = 0; tick < hours * 3600; ++tick) {
            day.clock.Advance(1);
            QElapsedTimer held;
            held.start();
            if (day.program.ScanIsDue()) day.program.TestLines(rows);
            QCoreApplication::processEvents();  // finished saves come back here
            longestNs = std::max(longestNs, held.nsecsElapsed());
        }
        day.program.Unload();
        state.counters["rss_before_MB"] = before;
        state.counters["peak_rss_MB"] = MemoryMb("VmHWM:");
        state.counters["longest_tick_ms"] = longestNs / 1e6;
        state.counters["log_MB"] = QFile(day.paths.dataDir + "/DataLogs/Data.log").size() / 1e6;
    }
}
BENCHMARK(BM_DayAt1000Lines)->Arg(1)->Arg(24)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
