#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
#include "NonRegularFiles.h"
#include "datalog/DataLog.h"
#include "datalog/DataLogRecord.h"

namespace {

class DataLogTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString logs = dir.path() + "/DataLogs";
    Settings settings;
    FakeClock clock{QDateTime(QDate(2026, 12, 5), QTime(14, 0, 0))};
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

TEST(DataLogRecordTest, SuccessAndFailureRecordsKeepTheirFieldOrder) {
    const std::string name = "Sales," + std::string(16, ' ');
    EXPECT_EQ(
        datalogrecord::Success(1, name, 1, "12/5/2026", "9:45:04 PM", " 0 h  27 m  58 s",
                               " 1 h  07 m  13 s"),
        "\r\n 1\t" + name + "\t  1\t12/5/2026 9:45:04 PM\t 0 h  27 m  58 s\t 1 h  07 m  13 s");
    EXPECT_EQ(datalogrecord::Failure(12, "Name Not Available"),
              "\r\n 12\tName Not AvailableLine cannot be monitored");
}

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
    EXPECT_TRUE(all == "\r\n a\r\n b\r\n\r\n c\r\n\r\n d\r\n\r\n e\r\n" ||
                all == "\r\n a\r\n b\r\n\r\n c\r\n\r\n d\r\n e\r\n")
        << all.toStdString();
    settings.saveDataMinutes = 0;  // every scan saves
    Scan("r0");
    Scan("r1");
    EXPECT_TRUE(Read("Data.log").endsWith("\r\n r0\r\n\r\n r1\r\n"));
}

TEST_F(DataLogTest, DailyModeAppendsToTheDaysFileSoARestartLosesNothing) {
    settings.appendData = 0;
    Record("morning");
    Save();
    double otherSaveTime = 0;
    DataLog restarted{settings, clock, logs, table, otherSaveTime};
    restarted.Text().Append(clock.Now().date(), "\r\n afternoon");
    restarted.SaveDataLog();
    EXPECT_TRUE(restarted.Flush(5000));
    EXPECT_EQ(Read("D120526.log"), "\r\n morning\r\n\r\n afternoon\r\n");
    EXPECT_EQ(DataLog::DailyFileName(QDate(2031, 1, 9)), "D010931.log");
}

TEST_F(DataLogTest, AFailedSaveChangesNoFileAndKeepsTheRecordsForTheNextOne) {
    Record("a");
    Save();
    Record("b");
    QDir(logs).removeRecursively();
    QFile blocker(logs);  // a plain file where the folder should be
    blocker.open(QIODevice::WriteOnly);
    blocker.close();
    EXPECT_FALSE(Save());
    EXPECT_EQ(saves, 1);
    QFile::remove(logs);
    QDir().mkpath(logs);
    Record("c");
    EXPECT_TRUE(Save());
    EXPECT_EQ(Read("Data.log"), "\r\n b\r\n c\r\n");
    // Something that is not a plain file (here a device) is never written to.
    QFile::remove(logs + "/Data.log");
    QFile::link("/dev/null", logs + "/Data.log");
    Record("d");
    EXPECT_FALSE(Save());
    EXPECT_EQ(log.Text().ToString(), "\r\n d");
    // Nor is a FIFO (which has no reader) waited on; its records wait too.
    QFile::remove(logs + "/Data.log");
    ASSERT_TRUE(MakeFifo(logs + "/Data.log"));
    Record("e");
    EXPECT_FALSE(Save());
    QFile::remove(logs + "/Data.log");
    EXPECT_TRUE(Save());
    EXPECT_EQ(Read("Data.log"), "\r\n d\r\n e\r\n");
    EXPECT_EQ(ModeOf(logs + "/Data.log"), 0600);
}

TEST_F(DataLogTest, ScheduledSavesComeAtTheIntervalInBothClockDirections) {
    settings.saveDataMinutes = 1;
    lastSaveTime = clock.SecondsSinceMidnight();
    Record("a");
    clock.Advance(59);
    log.CheckSaveSchedule();
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(saves, 0);
    clock.Advance(1);
    log.CheckSaveSchedule();
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(lastSaveTime, clock.SecondsSinceMidnight());
    // A save just before midnight, then the clock wraps.
    lastSaveTime = 86370;
    clock.SetTime(QTime(0, 0, 31));
    log.CheckSaveSchedule();
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(lastSaveTime, 31.0);
}

TEST_F(DataLogTest, RolloverWritesTheFinishedDayAndStartsTheNextEmpty) {
    settings.appendData = 0;
    settings.saveDataMinutes = 60;
    lastSaveTime = 85000;
    table.totalTimeOnline = {30, 40, 0};
    table.timeOnline = {30, 0, 0};
    clock.SetTime(QTime(23, 59, 49));
    Scan("late");  // 11 > 10: not yet
    EXPECT_EQ(saves, 0);
    clock.SetTime(QTime(23, 59, 52));
    Scan("last");  // 8 <= 10
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Read("D120526.log"), "\r\n late\r\n last\r\n");
    EXPECT_EQ(table.totalTimeOnline, (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(table.timeOnline[0], 30);  // a call across midnight keeps counting
    // A tick a hair later, still before midnight, does not roll over again.
    clock.SetTime(QTime(23, 59, 59, 990));
    table.totalTimeOnline = {1, 0, 0};
    Scan("still the old day");
    EXPECT_EQ(table.totalTimeOnline[0], 1);

    clock.Set(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)));
    Scan("new day");
    EXPECT_EQ(saves, 1);  // the next save is an interval after midnight
    clock.SetTime(QTime(1, 0, 0));
    Scan("one");
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(Read("D120626.log"), "\r\n new day\r\n one\r\n");
    EXPECT_EQ(Read("D120526.log"), "\r\n late\r\n last\r\n\r\n still the old day\r\n");
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

// Records whose save failed before midnight still reach their own day's file.
TEST_F(DataLogTest, RecordsKeepTheirDayThroughAFailedSave) {
    settings.appendData = 0;
    Record("fifth");
    const QString moved = dir.path() + "/away";
    QDir().rename(logs, moved);
    EXPECT_FALSE(Save());
    QDir().rename(moved, logs);
    clock.Set(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 5)));
    Record("sixth");
    EXPECT_TRUE(Save());
    EXPECT_EQ(Read("D120526.log"), "\r\n fifth\r\n");
    EXPECT_EQ(Read("D120626.log"), "\r\n sixth\r\n");
}

TEST_F(DataLogTest, PendingTextPastTheCapIsSavedEarly) {
    settings.saveDataMinutes = 720;
    lastSaveTime = clock.SecondsSinceMidnight();
    const std::string record = "\r\n " + std::string(1000, 'x');
    while (log.Text().Size() < DataLog::kPendingCap - record.size())
        log.Text().Append(clock.Now().date(), record);
    log.CheckSaveSchedule();
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(saves, 0);
    log.Text().Append(clock.Now().date(), record);
    log.CheckSaveSchedule();
    EXPECT_TRUE(log.Flush());
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(log.Text().Size(), 0u);
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
    settings.keepLogDays = 30;
    for (const char* name : {"D110426.log", "D110526.log", "D110626.log", "D1104261.log",
                             "d110426.log", "Data.log", "D999999.log", "D120526.log"}) {
        QFile f(logs + "/" + name);
        f.open(QIODevice::WriteOnly);
    }
    Save();
    QStringList left = QDir(logs).entryList(QDir::Files);
    left.sort();
    // 11-04 is 31 days before 12-05; 11-05 exactly 30.
    QStringList expected{"D110526.log", "D110626.log", "D1104261.log", "D999999.log",
                         "Data.log",    "d110426.log", "D120526.log"};
    expected.sort();
    EXPECT_EQ(left, expected);
    // A negative number of days keeps the default, never today's file.
    settings.keepLogDays = -1;
    Save();
    EXPECT_TRUE(QFile::exists(logs + "/D120526.log"));
    EXPECT_TRUE(QFile::exists(logs + "/D110626.log"));
    settings.keepLog = 0;
    settings.keepLogDays = 0;
    QFile old(logs + "/D010126.log");
    old.open(QIODevice::WriteOnly);
    old.close();
    Save();
    EXPECT_TRUE(QFile::exists(logs + "/D010126.log"));
}

TEST(LogTextTest, AFailedSaveGoesBackInFrontOfWhatCameMeanwhile) {
    LogText text;
    const QDate fifth(2026, 12, 5), sixth(2026, 12, 6);
    text.Append(fifth, "a");
    text.Append(sixth, "b");
    auto taken = text.TakeAll();
    EXPECT_EQ(text.Size(), 0u);
    text.Append(sixth, "c");
    text.PutBack(std::move(taken));
    EXPECT_EQ(text.ToString(), "abc");
    EXPECT_EQ(text.Size(), 3u);
    const auto days = text.TakeAll();
    ASSERT_EQ(days.size(), 2u);  // b and c joined under their day
    EXPECT_EQ(days[1].text, "bc");
}

}  // namespace
