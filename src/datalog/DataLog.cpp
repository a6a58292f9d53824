#include "DataLog.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include "platform/clock/Clock.h"
#include "platform/file/AppendOnlyFile.h"

namespace {
const QRegularExpression& DailyPattern() {
    static const QRegularExpression daily("^D(\\d\\d)(\\d\\d)(\\d\\d)\\.log$");
    return daily;
}
// How long shut-down waits for the last save before giving up on the disk.
constexpr int kShutdownWaitMs = 10000;
}  // namespace

DataLog::DataLog(const Settings& settings, const platform::Clock& clock, QString dataLogDir,
                 LineTable& table, double& lastSaveTime)
    : settings_(settings),
      clock_(clock),
      dir_(std::move(dataLogDir)),
      table_(table),
      lastSaveTime_(lastSaveTime),
      totalsDay_(clock.Now().date()),
      writer_([this] {
          QMetaObject::invokeMethod(
              &context_, [this] { CollectFinished(); }, Qt::QueuedConnection);
      }) {}

DataLog::~DataLog() {
    writer_.WaitIdle(kShutdownWaitMs);
}

QString DataLog::DailyFileName(const QDate& date) {
    return "D" + date.toString("MMdd") + QString("%1").arg(date.year() % 100, 2, 10, QChar('0')) +
           ".log";
}

QString DataLog::FileIn(const QString& folder, bool appendData, const QDate& day) {
    return folder + "/" + (appendData ? QString("Data.log") : DailyFileName(day));
}

QString DataLog::FindFolder(const QString& dataDir) {
    const QDir data(dataDir);
    for (const QFileInfo& entry : data.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot |
                                                     QDir::Hidden | QDir::System)) {
        if (entry.fileName().compare("Datalogs", Qt::CaseInsensitive) == 0)
            return entry.absoluteFilePath();
    }
    return {};
}

QString DataLog::FilePath(const QDate& day) const {
    return FileIn(dir_, settings_.appendData == 1, day);
}

void DataLog::SetDir(QString dir) {
    dir_ = std::move(dir);
    if (dir_ == repairedDir_) return;
    repairedDir_ = dir_;
    CutTornTails();
}

void DataLog::CutTornTails() const {
    for (const QString& name : QDir(dir_).entryList(QDir::Files)) {
        if (name == "Data.log" || DailyPattern().match(name).hasMatch())
            platform::AppendOnlyFile(dir_ + "/" + name).CutTornTail();
    }
}

void DataLog::SaveDataLog() {
    if (writer_.Busy()) {
        saveAgain_ = true;
        return;
    }
    saveAgain_ = false;
    if (logText_.Empty()) {
        // Nothing new: the save is done at once.
        lastOk_ = true;
        if (settings_.appendData != 1 && settings_.keepLog == 1) PruneDailyLogs();
        if (onSaved_) onSaved_();
        return;
    }
    StartWriting();
}

void DataLog::StartWriting() {
    std::vector<DataLogWriter::Target> targets;
    for (LogText::Day& day : logText_.TakeAll()) {
        const QString path = FilePath(day.date);
        if (targets.empty() || targets.back().path != path) targets.push_back({path, {}});
        targets.back().days.push_back(std::move(day));
    }
    writer_.Start(std::move(targets));
}

void DataLog::CollectFinished() {
    std::optional<DataLogWriter::Result> result = writer_.TakeResult();
    if (!result) return;
    lastOk_ = result->written == result->targets.size();
    std::deque<LogText::Day> unwritten;
    for (std::size_t t = result->written; t < result->targets.size(); ++t)
        for (LogText::Day& day : result->targets[t].days) unwritten.push_back(std::move(day));
    logText_.PutBack(std::move(unwritten));
    if (lastOk_) {
        if (settings_.appendData != 1 && settings_.keepLog == 1) PruneDailyLogs();
        if (onSaved_) onSaved_();
    }
    if (saveAgain_) SaveDataLog();
}

bool DataLog::Flush(int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    do {
        if (!writer_.WaitIdle(static_cast<int>(deadline.remainingTime()))) return false;
        CollectFinished();
    } while (writer_.Busy() && !deadline.hasExpired());
    return !writer_.Busy() && lastOk_;
}

void DataLog::Rollover(const QDate& newDay) {
    // Pending records carry their own day, so they reach the finished day's file.
    SaveDataLog();
    for (float& total : table_.totalTimeOnline) total = 0;
    // The new day's saves count from midnight.
    lastSaveTime_ = 0;
    totalsDay_ = newDay;
}

void DataLog::CompleteMissedRollover() {
    const QDate today = clock_.Now().date();
    if (today > totalsDay_) Rollover(today);
}

void DataLog::StartDay() {
    totalsDay_ = clock_.Now().date();
}

void DataLog::CheckSaveSchedule() {
    const QDateTime stamp = clock_.Now();
    const double now = stamp.time().msecsSinceStartOfDay() / 1000.0;
    if (86400.0 - now <= settings_.scanIntervalSeconds && totalsDay_ <= stamp.date()) {
        // The interval step would otherwise save the emptied log into the
        // finished day's file.
        Rollover(stamp.date().addDays(1));
        return;
    }
    // The rest of the finished day, after its rollover, saves nothing on
    // schedule: the new day's schedule starts at midnight.
    const double later = clock_.SecondsSinceMidnight();
    const double interval = double(settings_.saveDataMinutes) * 60;
    const bool due = later - lastSaveTime_ >= interval || lastSaveTime_ - later >= interval;
    if (due && stamp.date() >= totalsDay_) {
        lastSaveTime_ = later;
        SaveDataLog();
    } else if (logText_.Size() >= kPendingCap) {
        SaveDataLog();
    }
}

void DataLog::PruneDailyLogs() const {
    const QDate today = clock_.Now().date();
    // A negative setting would delete today's file: the key's default instead.
    const int keep = settings_.keepLogDays >= 0 ? settings_.keepLogDays : 30;
    for (const QString& name : QDir(dir_).entryList(QDir::Files)) {
        const auto match = DailyPattern().match(name);
        if (!match.hasMatch()) continue;
        const QDate date(2000 + match.captured(3).toInt(), match.captured(1).toInt(),
                         match.captured(2).toInt());
        if (date.isValid() && date.daysTo(today) > keep) QFile::remove(dir_ + "/" + name);
    }
}
