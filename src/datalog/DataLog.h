#pragma once
#include <QDate>
#include <QString>
#include <functional>

#include "datalog/LogText.h"
#include "settings/Settings.h"
#include "telephony/LineTable.h"

namespace platform {
class Clock;
}

// Writes the data log to "DataLogs": "Data.log" in append mode, one
// "DMMDDYY.log" per day otherwise, at the save interval, at the last scan
// before midnight, after a single test and on request.
class DataLog {
public:
    using SavedHandler = std::function<void()>;

    DataLog(const Settings& settings, const platform::Clock& clock, QString dataLogDir,
            LineTable& table, float& lastSaveTime);

    void SetSavedHandler(SavedHandler handler) { onSaved_ = std::move(handler); }
    LogText& Text() { return logText_; }
    const LogText& Text() const { return logText_; }

    // Appends the records no earlier save wrote, then CR LF. A failed write
    // leaves the file as it was and keeps them for the next save.
    bool SaveDataLog();
    // The midnight rollover and the save interval, after a periodic scan.
    void CheckSaveSchedule();

    QString FilePath() const;
    void SetDir(QString dir) { dir_ = std::move(dir); }
    const QString& Dir() const { return dir_; }
    static QString DailyFileName(const QDate& date);
    // Daily files whose name date is more than keepLogDays before today.
    void PruneDailyLogs() const;

private:
    bool WritePending(const QString& path);
    void Rollover();

    const Settings& settings_;
    const platform::Clock& clock_;
    QString dir_;
    LineTable& table_;
    float& lastSaveTime_;
    LogText logText_;
    SavedHandler onSaved_;
};
