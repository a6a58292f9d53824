// The data log of a busy day: 8 lines at one scan per second for 24 hours.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>

#include "datalog/DataLog.h"
#include "datalog/DataLogRecord.h"
#include "platform/clock/Clock.h"

namespace {

constexpr int kLines = 8;
constexpr int kScansPerDay = 86400;

class FixedClock : public platform::Clock {
public:
    QDateTime Now() const override { return QDateTime(QDate(2026, 12, 5), QTime(23, 0, 0)); }
};

void AppendScans(LogText& text, int scans) {
    const std::string name = "Line 1," + std::string(15, ' ');
    for (int s = 0; s < scans; ++s)
        for (int l = 1; l <= kLines; ++l)
            text.Append(datalogrecord::Success(l, name, s % 2, "12/5/2026", "9:45:04 PM",
                                               " 0 h  27 m  58 s", " 1 h  07 m  13 s"));
}

struct Day {
    QTemporaryDir dir;
    Settings settings;
    FixedClock clock;
    LineTable table;
    float lastSave = 0;
    DataLog log{settings, clock, dir.path(), table, lastSave};
    Day() {
        settings.appendData = 1;
        table.Reset(kLines);
    }
};

void BM_DayInMemory(benchmark::State& state) {
    for (auto _ : state) {
        LogText text;
        AppendScans(text, kScansPerDay);
        state.counters["records"] = kLines * kScansPerDay;
        state.counters["text_MB"] = text.Size() / 1e6;
        state.counters["memory_per_text"] = double(text.MemoryBytes()) / double(text.Size());
    }
}
BENCHMARK(BM_DayInMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// A scheduled save late in the day: one minute of new records, after a day
// already written. Its time should not depend on the day before it.
void BM_LateSave(benchmark::State& state) {
    Day day;
    AppendScans(day.log.Text(), static_cast<int>(state.range(0)));
    day.log.SaveDataLog();
    for (auto _ : state) {
        state.PauseTiming();
        AppendScans(day.log.Text(), 60);
        state.ResumeTiming();
        day.log.SaveDataLog();
    }
    state.counters["written_before_MB"] = day.log.Text().Size() / 1e6;
}
BENCHMARK(BM_LateSave)->Arg(600)->Arg(kScansPerDay - 3600)->Unit(benchmark::kMicrosecond);

void BM_WholeDaySave(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        Day day;
        AppendScans(day.log.Text(), kScansPerDay);
        state.ResumeTiming();
        day.log.SaveDataLog();
        state.counters["MB"] = day.log.Text().Size() / 1e6;
    }
}
BENCHMARK(BM_WholeDaySave)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same bytes written in one plain sequential write, for comparison.
void BM_PlainSequentialWrite(benchmark::State& state) {
    LogText text;
    AppendScans(text, kScansPerDay);
    const std::string bytes = text.ToString();
    for (auto _ : state) {
        QTemporaryDir dir;
        QFile file(dir.path() + "/plain.log");
        file.open(QIODevice::WriteOnly | QIODevice::Append);
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        file.write("\r\n", 2);
        file.flush();
        file.close();
    }
}
BENCHMARK(BM_PlainSequentialWrite)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
