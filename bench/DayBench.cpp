// A whole day at 1,000 watched lines, one scan a second through the injected
// clock, on the simulated exchange with demo traffic: peak memory and the
// longest time one tick (scan, records, save hand-over) held the event loop.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include "SimProgram.h"
#include "core/frmVastrel.h"

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

struct Day : SimProgram {
    Day() : SimProgram(Config(), QDateTime(QDate(2026, 12, 5), QTime(0, 0, 0, 500))) {}
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
        QFile ini(day.paths.settingsDir + "/vastrel.ini");
        ini.open(QIODevice::WriteOnly);
        ini.write(
            "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
            "[Preferences]\r\nSave Data=720\r\nAlarm=0\r\nDisplay Data=0\r\n");
        ini.close();
        const double before = MemoryMb("VmRSS:");
        frmVastrel window(day.services, day.state);
        window.Form_Load("");
        window.Timer1().stop();
        qint64 longestNs = 0;
        for (int tick = 0; tick < hours * 3600; ++tick) {
            day.clock.Advance(1);
            QElapsedTimer held;
            held.start();
            window.Timer1_Timer();
            QCoreApplication::processEvents();  // finished saves come back here
            longestNs = std::max(longestNs, held.nsecsElapsed());
        }
        window.Form_Unload();
        state.counters["rss_before_MB"] = before;
        state.counters["peak_rss_MB"] = MemoryMb("VmHWM:");
        state.counters["longest_tick_ms"] = longestNs / 1e6;
        state.counters["log_MB"] = QFile(day.paths.dataDir + "/DataLogs/Data.log").size() / 1e6;
    }
}
BENCHMARK(BM_DayAt1000Lines)->Arg(1)->Arg(24)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
