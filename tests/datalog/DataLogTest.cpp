#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "NonRegularFiles.h"
#include "datalog/DataLog.h"

namespace {

class DataLogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString logs = dir.path() + "/DataLogs";
    Settings settings;
    FakeClock clock;  // 12/5/2026 14:00
    LineTable table;
    double lastSaveTime = 0;
    DataLog log{settings, clock, logs, table, lastSaveTime};
    int saves = 0;

    void SetUp() override {
        QDir().mkpath(logs);
        settings.appendData = 1;
        settings.saveDataMinutes = 720;
        settings.scanIntervalSeconds = 10;
        settings.keepLogDays = 30;
        table.Reset(2);
        log.SetSavedHandler([this] { ++saves; });
    }
    QByteArray Read(const QString& name) {
        QFile f(logs + "/" + name);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void Record(const std::string& text) { log.Text().Append(clock.Now().date(), "\r\n " + text); }
    bool Save() {
        log.SaveDataLog();
        return log.Flush(5000);
    }
    // A periodic scan as the main window runs it: the missed-rollover check,
    // the records, the schedule.
    void Scan(const std::string& text) {
        log.CompleteMissedRollover();
        Record(text);
        log.CheckSaveSchedule();
        log.Flush(5000);
    }
};

TEST_F(DataLogTest, EachSaveAppendsOnlyTheNewRecordsThenCrLfAndLetsGoOfThem) {
    Record("a");
    Record("b");
    EXPECT_TRUE(Save());
    EXPECT_EQ(log.Text().Size(), 0u);
    Record("c");
    EXPECT_TRUE(Save());
    EXPECT_EQ(Read("Data.log"), "\r\n a\r\n b\r\n\r\n c\r\n");
    EXPECT_EQ(saves, 2);
    // A save asked for while one runs follows it; nothing is written twice.
    Record("d");
    log.SaveDataLog();
    Record("e");
    log.SaveDataLog();
    EXPECT_TRUE(log.Flush(5000));
    const QByteArray all = Read("Data.log");
    EXPECT_TRUE(all.endsWith("\r\n c\r\n\r\n d\r\n\r\n e\r\n") ||
                all.endsWith("\r\n c\r\n\r\n d\r\n e\r\n"))
        << all.toStdString();
}

// A save over two days' files whose second is a FIFO nobody reads: it is not
// waited on, the first day's records are written once, the rest wait in front
// of what comes meanwhile and still reach their own day's file.
TEST_F(DataLogTest, AFailedSaveChangesNoFileAndItsRecordsReachTheirOwnDayLater) {
    settings.appendData = 0;
    Record("fifth");
    clock.Set(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 5)));
    Record("sixth");
    ASSERT_TRUE(MakeFifo(logs + "/D120626.log"));
    EXPECT_FALSE(Save());
    EXPECT_TRUE(IsFifo(logs + "/D120626.log"));
    EXPECT_EQ(saves, 0);
    QFile::remove(logs + "/D120626.log");
    Record("sixth, later");
    clock.Set(QDateTime(QDate(2026, 12, 7), QTime(0, 0, 5)));
    Record("seventh");
    EXPECT_TRUE(Save());
    EXPECT_EQ(Read("D120526.log"), "\r\n fifth\r\n");
    EXPECT_EQ(Read("D120626.log"), "\r\n sixth\r\n sixth, later\r\n");
    EXPECT_EQ(Read("D120726.log"), "\r\n seventh\r\n");
    EXPECT_EQ(ModeOf(logs + "/D120626.log"), 0600);
    EXPECT_EQ(saves, 1);
}

// Due a whole interval after the last save, also when the clock went back
// past it (midnight, a step back).
TEST_F(DataLogTest, ScheduledSavesComeAtTheIntervalInBothClockDirections) {
    settings.saveDataMinutes = 1;
    using Case = std::tuple<double, QTime, bool>;
    for (const auto& [last, now, due] :
         {Case{50400, QTime(14, 0, 59), false}, Case{50400, QTime(14, 1, 0), true},
          Case{86370, QTime(0, 0, 31), true}, Case{120, QTime(0, 1, 1), false},
          Case{120, QTime(0, 1, 0), true}}) {
        SCOPED_TRACE(now.toString().toStdString());
        lastSaveTime = last;
        clock.SetTime(now);
        const int before = saves;
        log.CheckSaveSchedule();
        EXPECT_TRUE(log.Flush());
        EXPECT_EQ(saves - before, due ? 1 : 0);
        EXPECT_EQ(lastSaveTime, due ? now.msecsSinceStartOfDay() / 1000.0 : last);
    }
}

TEST_F(DataLogTest, RolloverWritesTheFinishedDayAndStartsTheNextEmpty) {
    settings.appendData = 0;
    settings.saveDataMinutes = 60;
    lastSaveTime = 85000;
    table.totalTimeOnline = {30, 40, 0};
    table.timeOnline = {30, 0, 0};
    clock.Set(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 49)));
    log.StartDay();
    Scan("late");  // 11 > 10: not yet
    EXPECT_EQ(saves, 0);
    clock.SetTime(QTime(23, 59, 52));
    Scan("last");  // 8 <= 10
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Read("D123126.log"), "\r\n late\r\n last\r\n");
    EXPECT_EQ(table.totalTimeOnline, (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(table.timeOnline[0], 30);  // a call across midnight keeps counting
    // A tick a hair later, still before midnight, does not roll over again.
    clock.SetTime(QTime(23, 59, 59, 990));
    table.totalTimeOnline = {1, 0, 0};
    Scan("still the old day");
    EXPECT_EQ(table.totalTimeOnline[0], 1);

    clock.Set(QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1)));
    Scan("new day");
    EXPECT_EQ(saves, 1);  // the next save is an interval after midnight
    clock.SetTime(QTime(1, 0, 0));
    Scan("one");
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(Read("D010127.log"), "\r\n new day\r\n one\r\n");
    EXPECT_EQ(Read("D123126.log"), "\r\n late\r\n last\r\n\r\n still the old day\r\n");
}

// No scan fell into the day's last interval: a late tick, a suspend, a scan
// interval of 0. The first scan of the new day completes the old one first.
TEST_F(DataLogTest, AMissedRolloverIsCompletedByTheFirstScanAfterMidnight) {
    for (const int interval : {10, 0}) {
        SCOPED_TRACE(interval);
        settings.appendData = 0;
        settings.scanIntervalSeconds = interval;
        clock.Set(QDateTime(QDate(2026, 12, 5), QTime(23, 59, 40)));
        log.StartDay();
        Save();
        QFile::remove(logs + "/D120526.log");
        QFile::remove(logs + "/D120926.log");
        table.totalTimeOnline = {100, 0, 0};
        Scan("before");
        // Suspended over several days: one rollover, records to their own days.
        clock.Set(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 3)));
        table.totalTimeOnline[0] += 10;
        lastSaveTime = 86000;
        Scan("after");
        EXPECT_EQ(Read("D120526.log"), "\r\n before\r\n");
        EXPECT_EQ(table.totalTimeOnline[0], 0);
        EXPECT_EQ(lastSaveTime, 0);
        EXPECT_EQ(log.Text().ToString(), "\r\n after");
        // The clock stepped back across midnight: no second rollover.
        clock.Set(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 30)));
        table.totalTimeOnline[0] = 5;
        Scan("stepped back");
        EXPECT_EQ(table.totalTimeOnline[0], 5);
    }
}

// Memory stays bounded whatever the save interval.
TEST_F(DataLogTest, PendingTextPastTheCapIsSavedEarly) {
    lastSaveTime = clock.SecondsSinceMidnight();
    const std::string record = "\r\n " + std::string(1000, 'x');
    while (log.Text().Size() < DataLog::kPendingCap - record.size())
        log.Text().Append(clock.Now().date(), record);
    for (const int expected : {0, 1}) {
        log.CheckSaveSchedule();
        EXPECT_TRUE(log.Flush());
        EXPECT_EQ(saves, expected);
        log.Text().Append(clock.Now().date(), record);
    }
    EXPECT_GE(QFile(logs + "/Data.log").size(), qint64(DataLog::kPendingCap));
}

TEST_F(DataLogTest, AStartFindingATornTailCutsItBackToTheLastWholeSave) {
    const QByteArray whole = "\r\n 1\tLine 1\t  1\tx\r\n\r\n 1\tLine 1\t  0\ty\r\n";
    for (const char* name : {"Data.log", "D120426.log", "notes.txt"}) {
        QFile f(logs + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(whole + "\r\n 1\tLine 1\t  1\t12/4/20");
    }
    double otherSaveTime = 0;
    DataLog restarted{settings, clock, dir.path() + "/elsewhere", table, otherSaveTime};
    restarted.SetDir(logs);
    // The torn record goes; the CR LF it began with stays as a blank line.
    EXPECT_EQ(Read("Data.log"), whole + "\r\n");
    EXPECT_EQ(Read("D120426.log"), whole + "\r\n");
    EXPECT_TRUE(Read("notes.txt").endsWith("12/4/20"));  // not ours: untouched
}

TEST_F(DataLogTest, PruningRemovesOnlyOldDailyFilesInDailyMode) {
    settings.appendData = 0;
    settings.keepLog = 1;
    const QStringList kept{"D110526.log", "D110626.log", "D1104261.log", "D999999.log",
                           "Data.log",    "d110426.log", "D120526.log"};
    for (const QString& name : kept + QStringList{"D110426.log"})
        QFile(logs + "/" + name).open(QIODevice::WriteOnly);
    // 11-04 is 31 days before 12-05; 11-05 exactly 30.
    Save();
    QStringList left = QDir(logs).entryList(QDir::Files), expected = kept;
    left.sort();
    expected.sort();
    EXPECT_EQ(left, expected);
    // A negative number of days keeps the default, never today's file.
    settings.keepLogDays = -1;
    Save();
    EXPECT_TRUE(QFile::exists(logs + "/D120526.log") && QFile::exists(logs + "/D110626.log"));
    settings.keepLog = 0;
    settings.keepLogDays = 0;
    QFile(logs + "/D010126.log").open(QIODevice::WriteOnly);
    Save();
    EXPECT_TRUE(QFile::exists(logs + "/D010126.log"));
}

}  // namespace
