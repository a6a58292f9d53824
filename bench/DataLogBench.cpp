// Saves of the data log: what a save costs the event loop (handing the
// pending text to the writer) against the writer's own time on the disk, for
// a save of the largest size pending text can reach.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "datalog/DataLog.h"
#include "datalog/DataLogRecord.h"
#include "platform/clock/Clock.h"

namespace {

const QDate kDay(2026, 12, 5);

class FixedClock : public platform::Clock {
public:
    QDateTime Now() const override { return QDateTime(kDay, QTime(23, 0, 0)); }
};

void AppendUpTo(LogText& text, std::size_t bytes) {
    const std::string name = "Line 1," + std::string(15, ' ');
    for (int s = 0; text.Size() < bytes; ++s)
        text.Append(kDay,
                    datalogrecord::Success(s % 1000 + 1, name, s % 2, "12/5/2026", "9:45:04 PM",
                                           " 0 h  27 m  58 s", " 1 h  07 m  13 s"));
}

struct Day {
    QTemporaryDir dir;
    Settings settings;
    FixedClock clock;
    LineTable table;
    double lastSave = 0;
    DataLog log{settings, clock, dir.path(), table, lastSave};
    Day() {
        settings.appendData = 1;
        table.Reset(8);
    }
};

// The event loop's part of a save of the capped pending text.
void BM_SaveStartOnEventLoop(benchmark::State& state) {
    Day day;
    double longestMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        AppendUpTo(day.log.Text(), DataLog::kPendingCap);
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        day.log.SaveDataLog();
        longestMs = std::max(longestMs, timer.nsecsElapsed() / 1e6);
        state.PauseTiming();
        day.log.Flush();
        state.ResumeTiming();
    }
    state.counters["longest_ms"] = longestMs;
}
BENCHMARK(BM_SaveStartOnEventLoop)->Unit(benchmark::kMicrosecond)->Iterations(5);

// The writer's whole save, synced to the disk.
void BM_WholeSaveOnDisk(benchmark::State& state) {
    Day day;
    for (auto _ : state) {
        state.PauseTiming();
        AppendUpTo(day.log.Text(), DataLog::kPendingCap);
        state.ResumeTiming();
        day.log.SaveDataLog();
        day.log.Flush();
    }
    state.counters["MB"] = DataLog::kPendingCap / 1e6;
}
BENCHMARK(BM_WholeSaveOnDisk)->Unit(benchmark::kMillisecond)->Iterations(5);

// The same bytes in one plain write without a sync, for comparison.
void BM_PlainSequentialWrite(benchmark::State& state) {
    LogText text;
    AppendUpTo(text, DataLog::kPendingCap);
    const std::string bytes = text.ToString();
    QTemporaryDir dir;
    for (auto _ : state) {
        QFile file(dir.path() + "/plain.log");
        file.open(QIODevice::WriteOnly | QIODevice::Append);
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.write("\r\n", 2);
        file.close();
    }
}
BENCHMARK(BM_PlainSequentialWrite)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
