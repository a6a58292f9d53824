#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FakeClock.h"
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
    float lastSaveTime = 0;
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
    void Record(const std::string& text) { log.Text().Append("\r\n " + text); }
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

TEST_F(DataLogTest, EachSaveAppendsOnlyTheNewRecordsThenCrLfAndIntervalZeroSavesEveryScan) {
    Record("a");
    Record("b");
    EXPECT_TRUE(log.SaveDataLog());
    Record("c");
    EXPECT_TRUE(log.SaveDataLog());
    EXPECT_EQ(Read("Data.log"), "\r\n a\r\n b\r\n\r\n c\r\n");
    EXPECT_EQ(saves, 2);
    settings.saveDataMinutes = 0;
    for (const char* r : {"r0", "r1"}) {
        Record(r);
        log.CheckSaveSchedule();
    }
    EXPECT_EQ(Read("Data.log"), "\r\n a\r\n b\r\n\r\n c\r\n\r\n r0\r\n\r\n r1\r\n");
}

TEST_F(DataLogTest, DailyModeAppendsToTheDaysFileSoARestartLosesNothing) {
    settings.appendData = 0;
    Record("morning");
    log.SaveDataLog();
    // A second run on the same day.
    float otherSaveTime = 0;
    DataLog restarted{settings, clock, logs, table, otherSaveTime};
    restarted.Text().Append("\r\n afternoon");
    restarted.SaveDataLog();
    EXPECT_EQ(Read("D120526.log"), "\r\n morning\r\n\r\n afternoon\r\n");
    EXPECT_EQ(DataLog::DailyFileName(QDate(2031, 1, 9)), "D010931.log");
}

TEST_F(DataLogTest, AFailedSaveChangesNoFileAndKeepsTheRecordsForTheNextOne) {
    Record("a");
    log.SaveDataLog();
    Record("b");
    QDir(logs).removeRecursively();
    QFile blocker(logs);  // a plain file where the folder should be
    blocker.open(QIODevice::WriteOnly);
    blocker.close();
    EXPECT_FALSE(log.SaveDataLog());
    EXPECT_EQ(saves, 1);
    QFile::remove(logs);
    QDir().mkpath(logs);
    Record("c");
    EXPECT_TRUE(log.SaveDataLog());
    EXPECT_EQ(Read("Data.log"), "\r\n b\r\n c\r\n");
}

TEST_F(DataLogTest, AFullDiskLeavesTheFileAsItWas) {
    if (!QFile::exists("/dev/full")) GTEST_SKIP();
    QFile::link("/dev/full", logs + "/Data.log");
    Record("a");
    EXPECT_FALSE(log.SaveDataLog());
    EXPECT_EQ(log.Text().Pending(), log.Text().Size());
}

TEST_F(DataLogTest, ScheduledSavesComeAtTheIntervalInBothClockDirections) {
    settings.saveDataMinutes = 1;
    lastSaveTime = clock.SecondsSinceMidnight();
    Record("a");
    clock.Advance(59);
    log.CheckSaveSchedule();
    EXPECT_EQ(saves, 0);
    clock.Advance(1);
    log.CheckSaveSchedule();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(lastSaveTime, clock.SecondsSinceMidnight());
    // A save just before midnight, then the clock wraps.
    lastSaveTime = 86370;
    clock.SetTime(QTime(0, 0, 31));
    log.CheckSaveSchedule();
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(lastSaveTime, 31.0f);
}

TEST_F(DataLogTest, RolloverWritesTheFinishedDayAndStartsTheNextEmpty) {
    settings.appendData = 0;
    settings.saveDataMinutes = 60;
    lastSaveTime = 85000;
    table.totalTimeOnline = {30, 40, 0};
    table.timeOnline = {30, 0, 0};
    Record("late");
    clock.SetTime(QTime(23, 59, 49));
    log.CheckSaveSchedule();  // 11 > 10: not yet
    EXPECT_EQ(saves, 0);
    clock.SetTime(QTime(23, 59, 52));
    log.CheckSaveSchedule();  // 8 <= 10
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(Read("D120526.log"), "\r\n late\r\n");
    EXPECT_EQ(log.Text().Size(), 0u);
    EXPECT_EQ(table.totalTimeOnline, (std::vector<float>{0, 0, 0}));
    EXPECT_EQ(table.timeOnline[0], 30);  // a call across midnight keeps counting

    clock.Set(QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1)));
    Record("new day");
    log.CheckSaveSchedule();
    EXPECT_EQ(saves, 1);  // the next save is an interval after midnight
    clock.SetTime(QTime(1, 0, 0));
    log.CheckSaveSchedule();
    EXPECT_EQ(saves, 2);
    EXPECT_EQ(Read("D120626.log"), "\r\n new day\r\n");
    EXPECT_EQ(Read("D120526.log"), "\r\n late\r\n");
    // With scan interval zero there is no rollover.
    settings.scanIntervalSeconds = 0;
    clock.SetTime(QTime(23, 59, 59, 900));
    log.Text().DropWritten();
    Record("x");
    log.CheckSaveSchedule();
    EXPECT_EQ(log.Text().Size(), 4u);
}

TEST_F(DataLogTest, PruningRemovesOnlyOldDailyFilesInDailyMode) {
    settings.appendData = 0;
    settings.keepLog = 1;
    settings.keepLogDays = 30;
    for (const char* name : {"D110426.log", "D110526.log", "D110626.log", "D1104261.log",
                             "d110426.log", "Data.log", "D999999.log"}) {
        QFile f(logs + "/" + name);
        f.open(QIODevice::WriteOnly);
    }
    log.SaveDataLog();
    QStringList left = QDir(logs).entryList(QDir::Files);
    left.sort();
    // 11-04 is 31 days before 12-05; 11-05 exactly 30.
    QStringList expected{"D110526.log", "D110626.log", "D1104261.log",
                         "D999999.log", "Data.log",    "d110426.log"};
    expected.sort();
    EXPECT_EQ(left, expected);
    settings.keepLog = 0;
    QFile old(logs + "/D010126.log");
    old.open(QIODevice::WriteOnly);
    old.close();
    log.SaveDataLog();
    EXPECT_TRUE(QFile::exists(logs + "/D010126.log"));
}

TEST(LogTextTest, HandsOutOnlyThePendingPartAcrossBlocks) {
    LogText text;
    const std::string big(LogText::kBlockSize - 3, 'x');
    text.Append(big);
    text.MarkWritten();
    text.Append("abcdef");
    std::string pending;
    text.ForEachPending([&](std::string_view p) { pending += p; });
    EXPECT_EQ(pending, "abcdef");
    EXPECT_EQ(text.Size(), big.size() + 6);
    text.DropWritten();
    EXPECT_EQ(text.ToString(), "abcdef");
    EXPECT_EQ(text.Pending(), 6u);
}

}  // namespace
