// The Usage report against a plain read of the same bytes: a day at 8 lines
// and 1 s scans (691,200 records), and a day at 256 lines streamed in bounded
// memory. The machine is shared, so the figures to read are the ratios, each
// taken from the two measured side by side in one iteration.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <fstream>
#include <string>

#include "core/LineTimes.h"
#include "datalog/DataLogRecord.h"
#include "platform/clock/Clock.h"
#include "usage/DayReader.h"

namespace {

const QDate kDay(2026, 12, 5);

// Resident memory now, in MB.
double RssMb() {
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ')[0].toDouble() / 1024;
    return 0;
}

// A day of records as the scanner writes them: calls of 20 s to 20 min with
// pauses of up to an hour on every line, saved every 10 minutes.
QString WriteDay(const QString& dir, int lines, int interval) {
    const QString path = dir + QString("/day-%1.log").arg(lines);
    if (QFile::exists(path)) return path;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    QRandomGenerator random(7);
    std::vector<int> until(lines, 0), online(lines, 0);
    std::vector<bool> busy(lines, false);
    std::vector<std::string> names;
    for (int l = 0; l < lines; ++l) {
        std::string name = "Line " + std::to_string(l + 1) + ",";
        name.resize(22, ' ');
        names.push_back(name);
    }
    std::string text, onlineText, totalText;
    std::vector<float> totals(lines, 0);
    for (int s = 0; s < 86400; s += interval) {
        const QDateTime when(kDay, QTime(0, 0).addSecs(s));
        const std::string date = platform::Clock::DateText(when).toStdString();
        const std::string time = platform::Clock::TimeText(when).toStdString();
        for (int l = 0; l < lines; ++l) {
            if (s >= until[l]) {
                busy[l] = !busy[l];
                until[l] = s + (busy[l] ? random.bounded(20, 1200) : random.bounded(60, 3600));
                online[l] = 0;
            }
            if (busy[l]) online[l] += interval, totals[l] += float(interval);
            LineTimes::FormatDuration(float(online[l]), onlineText);
            LineTimes::FormatDuration(totals[l], totalText);
            datalogrecord::AppendSuccess(text, l + 1, names[l], busy[l] ? 1 : 0, date, time,
                                         onlineText, totalText);
        }
        if (s % 600 == 600 - interval) {
            text += datalogrecord::kCrLf;
            file.write(text.data(), qint64(text.size()));
            text.clear();
        }
    }
    file.write(text.data(), qint64(text.size()));
    return path;
}

QString Folder() {
    static const QTemporaryDir dir;
    return dir.path();
}

// The plain sequential read: the same pieces, nothing done with them.
qint64 PlainRead(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    std::vector<char> buffer(DayReader::kPieceBytes);
    qint64 total = 0;
    for (ssize_t got; (got = ::read(fd, buffer.data(), buffer.size())) > 0;) total += got;
    ::close(fd);
    benchmark::DoNotOptimize(buffer.data());
    return total;
}

// The same file taken line by line, as a program reading a text log plainly
// would: the bytes plus finding each line's end.
qint64 LineRead(const QString& path) {
    std::ifstream in(QFile::encodeName(path).constData(), std::ios::binary);
    std::string line;
    qint64 lines = 0;
    while (std::getline(in, line)) ++lines;
    return lines;
}

void BM_ReportVsPlainRead(benchmark::State& state) {
    QLocale::setDefault(QLocale::c());
    const QString path = WriteDay(Folder(), 8, 1);
    double readNs = 0, lineNs = 0, reportNs = 0;
    DayUsage usage;
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        benchmark::DoNotOptimize(PlainRead(path));
        readNs += double(t.nsecsElapsed());
        t.restart();
        benchmark::DoNotOptimize(LineRead(path));
        lineNs += double(t.nsecsElapsed());
        t.restart();
        DayReader().Read({kDay, path, -1, {}, {}}, usage);
        reportNs += double(t.nsecsElapsed());
    }
    state.counters["records"] = double(usage.records);
    state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
    state.counters["read_ms"] = readNs / 1e6 / double(state.iterations());
    state.counters["report_ms"] = reportNs / 1e6 / double(state.iterations());
    state.counters["ratio"] = reportNs / readNs;
    state.counters["ratio_vs_lines"] = reportNs / lineNs;
}
BENCHMARK(BM_ReportVsPlainRead)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_Day256LinesMemory(benchmark::State& state) {
    QLocale::setDefault(QLocale::c());
    const QString path = WriteDay(Folder(), 256, 5);
    DayUsage usage;
    double peakAbove = 0;
    for (auto _ : state) {
        const double before = RssMb();
        double peak = before;
        DayReader().Read({kDay, path, -1, {}, {}}, usage,
                         [&](qint64, qint64) { peak = std::max(peak, RssMb()); });
        peakAbove = std::max(peakAbove, peak - before);
    }
    state.counters["records"] = double(usage.records);
    state.counters["calls"] = double(usage.calls.size());
    state.counters["file_MB"] = double(QFile(path).size()) / 1e6;
    state.counters["peak_MB_above_start"] = peakAbove;
}
BENCHMARK(BM_Day256LinesMemory)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
