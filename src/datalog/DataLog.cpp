#include "DataLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "platform/clock/Clock.h"

DataLog::DataLog(const Settings& settings, const platform::Clock& clock, QString dataLogDir,
                 LineTable& table, float& lastSaveTime)
    : settings_(settings),
      clock_(clock),
      dir_(std::move(dataLogDir)),
      table_(table),
      lastSaveTime_(lastSaveTime) {}

QString DataLog::DailyFileName(const QDate& date) {
    return "D" + date.toString("MMdd") + QString("%1").arg(date.year() % 100, 2, 10, QChar('0')) +
           ".log";
}

QString DataLog::FilePath() const {
    const QString name =
        settings_.appendData == 1 ? QString("Data.log") : DailyFileName(clock_.Now().date());
    return dir_ + "/" + name;
}

bool DataLog::WritePending(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) return false;
    const qint64 before = file.size();
    bool ok = true;
    logText_.ForEachPending([&](std::string_view piece) {
        if (ok)
            ok =
                file.write(piece.data(), static_cast<qint64>(piece.size())) == qint64(piece.size());
    });
    ok = ok && file.write("\r\n", 2) == 2 && file.flush();
    // A partial write (full disk) is cut back so the file holds no torn record.
    if (!ok && !file.isSequential()) file.resize(before);
    file.close();
    return ok && file.error() == QFileDevice::NoError;
}

bool DataLog::SaveDataLog() {
    if (logText_.Pending() > 0) {
        if (!WritePending(FilePath())) return false;
        logText_.MarkWritten();
    }
    if (settings_.appendData != 1 && settings_.keepLog == 1) PruneDailyLogs();
    if (onSaved_) onSaved_();
    return true;
}

void DataLog::Rollover() {
    SaveDataLog();
    logText_.DropWritten();
    for (float& total : table_.totalTimeOnline) total = 0;
    // The new day's saves count from midnight.
    lastSaveTime_ = 0;
}

void DataLog::CheckSaveSchedule() {
    const double now = clock_.SecondsSinceMidnight();
    if (86400.0 - now <= settings_.scanIntervalSeconds) {
        // The interval step would otherwise save the emptied log into the
        // finished day's file.
        Rollover();
        return;
    }
    const double later = clock_.SecondsSinceMidnight();
    const double interval = double(settings_.saveDataMinutes) * 60;
    if (later - lastSaveTime_ >= interval || lastSaveTime_ - later >= interval) {
        lastSaveTime_ = static_cast<float>(later);
        SaveDataLog();
    }
}

void DataLog::PruneDailyLogs() const {
    static const QRegularExpression daily("^D(\\d\\d)(\\d\\d)(\\d\\d)\\.log$");
    const QDate today = clock_.Now().date();
    for (const QString& name : QDir(dir_).entryList(QDir::Files)) {
        const auto match = daily.match(name);
        if (!match.hasMatch()) continue;
        const QDate date(2000 + match.captured(3).toInt(), match.captured(1).toInt(),
                         match.captured(2).toInt());
        if (date.isValid() && date.daysTo(today) > settings_.keepLogDays)
            QFile::remove(dir_ + "/" + name);
    }
}
