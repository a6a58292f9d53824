// The real Timer1 on the real clock: scans come at the configured rate and a
// call is credited with the time it really lasted.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLocale>
#include <QTest>

#include "WindowHarness.h"

namespace {

struct RealRun {
    WindowHarness h{1};
    explicit RealRun(const QStringList& settings, const QDateTime& reads) {
        QLocale::setDefault(QLocale::c());
        h.WriteSettings(settings);
        h.tapi.SetCalls(0, 1);
        h.clock.FollowSystemClock(reads);
    }
};

TEST(RealTimer, ScansEverySecondAndCreditsTheCallWithItsRealLength) {
    RealRun run({"Interval Seconds=1", "Alarm=0", "Display Data=0"}, QDateTime::currentDateTime());
    QElapsedTimer wall;
    run.h.Start();
    wall.start();
    QTest::qWait(30000);
    const double seconds = wall.elapsed() / 1000.0;
    const int scans = run.h.tapi.Count("lineOpen 0") - 1;  // the one at start-up
    const double credited = run.h.state.lineTable.timeOnline[0] - 1;
    // One tick a second; the last may fall just outside the wait.
    EXPECT_GE(scans, static_cast<int>(seconds) - 1) << scans << " scans in " << seconds << " s";
    EXPECT_NEAR(credited, seconds, 1.5) << credited << " s credited in " << seconds << " s";
}

QByteArray DaysOf(const QByteArray& log) {
    QByteArray days;
    for (const QByteArray& line : log.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() < 4) continue;
        const QByteArray day = fields[3].left(fields[3].indexOf(' '));
        if (!days.endsWith(day)) days += (days.isEmpty() ? "" : ",") + day;
    }
    return days;
}

// A call that runs across a real midnight (the clock shifted to reach it):
// the finished day's records go to its own file and the total starts again
// once; the call itself keeps counting.
TEST(RealTimer, TheDayRollsOverOnceAcrossAShiftedMidnight) {
    const QDate day(2026, 12, 5);
    RealRun run({"Interval Seconds=1", "Alarm=0", "Display Data=0", "Append Data=0"},
                QDateTime(day, QTime(23, 59, 55, 700)));
    run.h.Start();
    QTest::qWait(9000);
    run.h.program.Log().SaveDataLog();
    ASSERT_TRUE(run.h.program.Log().Flush());
    const LineTable& table = run.h.state.lineTable;
    EXPECT_GE(table.timeOnline[0], 9);
    EXPECT_GE(table.totalTimeOnline[0], 4);
    EXPECT_LE(table.totalTimeOnline[0], 6);
    EXPECT_EQ(DaysOf(run.h.ReadFile(run.h.DataLogsFile("D120526.log"))), "12/5/2026");
    EXPECT_EQ(DaysOf(run.h.ReadFile(run.h.DataLogsFile("D120626.log"))), "12/6/2026");
}

}  // namespace
