// A day of demo traffic on eight lines, a jittered clock second per timer tick,
// with no window: the data log accounts for every scan and second, and the day
// rolls over once.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <map>
#include <numeric>
#include <random>
#include <string>

#include "ProgramHarness.h"

namespace {

constexpr int kLines = 8;
constexpr int kTicks = 86400;  // from noon to noon

QByteArray Duration(int s) {
    return QString::asprintf(" %d h  %02d m  %02d s", s / 3600, s / 60 % 60, s % 60).toLatin1();
}

platform::sim::ExchangeConfig DemoDay() {
    platform::sim::ExchangeConfig config;
    config.lines = kLines, config.demoTraffic = true, config.seed = 7;
    return config;
}

TEST(DayRun, EveryScanIsLoggedTotalsAddUpAndTheDayRollsOverOnce) {
    QLocale::setDefault(QLocale::c());
    ProgramHarness p(DemoDay(), QDateTime(QDate(2026, 12, 5), QTime(12, 0)));
    p.WriteSettings(
        {"Save Data=60", "Append Data=1", "SysTray Enabled=0", "Display Data=0", "Alarm=0"});
    ASSERT_TRUE(p.program.StartUp("") && p.program.BuildLineTable());
    std::vector<OutLogModel::Row> rows;
    p.program.TestLines(rows);
    ASSERT_EQ(p.state.session.numLineDevices, static_cast<platform::DWORD>(kLines));

    // Ticks come up to 50 ms early or late around the half second, as a
    // real timer's do; none comes in the three seconds around midnight (a
    // late tick, a busy machine), and in the morning the clock steps back.
    std::mt19937 random(11);
    std::uniform_int_distribution<int> jitterMs(-50, 50);
    const QDateTime start = p.clock.Now().addMSecs(500);
    std::size_t peakLogMemory = 0;
    int rollovers = 0, ticks = 0;
    float lastSum = 0;
    for (int tick = 1; tick <= kTicks; ++tick) {
        QDateTime due = start.addSecs(tick);
        if (due.time() >= QTime(23, 59, 59) || due.time() < QTime(0, 0, 1)) continue;
        if (due.time() > QTime(6, 0)) due = due.addSecs(-30);
        p.clock.Set(due.addMSecs(jitterMs(random)));
        if (p.program.ScanIsDue()) p.program.TestLines(rows);
        ++ticks;
        // Telephony events (offered calls for In.log) and finished saves come
        // through the loop.
        if (tick % 8 == 0) QCoreApplication::processEvents();
        const float sum = std::accumulate(p.state.lineTable.totalTimeOnline.begin(),
                                          p.state.lineTable.totalTimeOnline.end(), 0.0f);
        rollovers += sum < lastSum;
        lastSum = sum;
        peakLogMemory = std::max(peakLogMemory, p.program.Log().Text().MemoryBytes());
    }
    p.program.Unload();

    EXPECT_EQ(rollovers, 1);
    // Saved text is let go: at most an hour of records is held (8 lines).
    EXPECT_LT(peakLogMemory, std::size_t{4} << 20);
    // One whole record per line per scan; a scan credits a second to a call
    // that began at a nonzero clock reading; a new day starts the totals.
    QFile file(p.paths.dataDir + "/DataLogs/Data.log");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    struct Line {
        int callStart = -1;  // -1: no call; 0: a call first seen at 0.0
        int timeOnline = 0, total = 0, calls = 0;
    };
    std::map<int, Line> state;
    std::size_t records = 0;
    QByteArray lastDay;
    for (const QByteArray& raw : file.readAll().split('\n')) {
        const QByteArray text = raw.endsWith('\r') ? raw.chopped(1) : raw;
        if (text.isEmpty()) continue;
        const QList<QByteArray> f = text.split('\t');
        ASSERT_TRUE(f.size() == 6 && f[3].size() >= 8)
            << "torn record " << records << ": " << text.toStdString();
        const int line = f[0].trimmed().toInt();
        ASSERT_EQ(line, static_cast<int>(records++ % kLines) + 1);
        const QTime clock = QTime::fromString(QString::fromLatin1(f[3].right(8)), "HH:mm:ss");
        const QByteArray day = f[3].left(f[3].size() - 9);
        if (day != lastDay && !lastDay.isEmpty())
            for (auto& [number, each] : state) each.total = 0;
        lastDay = day;
        const int second = clock.msecsSinceStartOfDay() / 1000;
        Line& l = state[line];
        if (f[2].trimmed() == "1") {
            if (l.callStart <= 0) {
                l.calls += l.callStart < 0;
                l.callStart = second;
            }
            if (l.callStart > 0) ++l.timeOnline, ++l.total;
        } else {
            l.callStart = -1;
            l.timeOnline = 0;
        }
        ASSERT_EQ(f[4] + f[5], Duration(l.timeOnline) + Duration(l.total)) << "at " << second;
    }
    EXPECT_EQ(records, static_cast<std::size_t>(ticks + 1) * kLines);
    int calls = 0;
    for (const auto& [line, l] : state) {
        EXPECT_GT(l.calls, 0) << "line " << line;
        calls += l.calls;
    }
    EXPECT_GT(calls, kTicks / 60);
    EXPECT_TRUE(QFile::exists(p.paths.dataDir + "/In.log"));
}

}  // namespace
