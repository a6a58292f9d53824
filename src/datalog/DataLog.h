#pragma once
#include <QDate>
#include <QObject>
#include <QString>
#include <functional>

#include "datalog/DataLogWriter.h"
#include "datalog/LogText.h"
#include "settings/Settings.h"
#include "telephony/LineTable.h"

namespace platform {
class Clock;
}

// Writes the data log to "DataLogs": "Data.log" in append mode, one
// "DMMDDYY.log" per day otherwise, at the save interval, at the last scan
// before midnight, after a single test and on request.
//
// Each save appends the records no earlier save wrote, then CR LF, on the
// writer's thread; a failed save leaves the file as it was and keeps its
// records for the next one.
class DataLog {
public:
    using SavedHandler = std::function<void()>;

    // Past this much unwritten text a save starts early, whatever the interval.
    static constexpr std::size_t kPendingCap = 16u << 20;

    DataLog(const Settings& settings, const platform::Clock& clock, QString dataLogDir,
            LineTable& table, double& lastSaveTime);
    ~DataLog();

    void SetSavedHandler(SavedHandler handler) { onSaved_ = std::move(handler); }
    LogText& Text() { return logText_; }
    const LogText& Text() const { return logText_; }

    // Starts a save of everything pending; one asked for while another runs
    // follows it.
    void SaveDataLog();
    // Waits at most timeoutMs until no save runs or is asked for; true when
    // the last one succeeded.
    bool Flush(int timeoutMs = 30000);
    // A save is being written: the file and the pending text do not add up.
    bool Saving() const { return writer_.Busy(); }
    // The midnight rollover and the save interval, after a periodic scan.
    void CheckSaveSchedule();
    // Before a periodic scan: a rollover that no scan before midnight did
    // (a late tick, a suspend, a clock step) is done now, before the new
    // day's records come.
    void CompleteMissedRollover();
    // The line table was built afresh: its totals belong to today.
    void StartDay();

    QString FilePath(const QDate& day) const;
    // A new folder is checked for records torn by a crash, once.
    void SetDir(QString dir);
    const QString& Dir() const { return dir_; }
    static QString DailyFileName(const QDate& date);
    // The day's file in folder: Data.log in append mode, else the daily file.
    static QString FileIn(const QString& folder, bool appendData, const QDate& day);
    // The data-log folder in dataDir, looked up without case, as the original
    // file system did; empty when there is none.
    static QString FindFolder(const QString& dataDir);
    // Daily files whose name date is more than keepLogDays before today.
    void PruneDailyLogs() const;

private:
    void StartWriting();
    void CollectFinished();
    void Rollover(const QDate& newDay);
    void CutTornTails() const;

    const Settings& settings_;
    const platform::Clock& clock_;
    QString dir_;
    QString repairedDir_;
    LineTable& table_;
    double& lastSaveTime_;
    LogText logText_;
    SavedHandler onSaved_;
    QDate totalsDay_;
    bool saveAgain_ = false;
    bool lastOk_ = true;
    QObject context_;
    DataLogWriter writer_;
};
