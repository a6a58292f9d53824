#pragma once
#include <QDate>
#include <QString>

namespace platform {
struct Paths;
}

// Where a day's records are, found the way the program writes them, without
// creating anything: the headless report runs beside a running copy.
class UsageSources {
public:
    explicit UsageSources(const platform::Paths& paths);

    // The data-log folder ("DataLogs", any case); empty when there is none.
    QString DataLogsDir() const;
    // The day's file, or Data.log when the preferences say append mode.
    QString DataLogFor(const QDate& day) const;
    QString IncomingLog() const;
    bool AppendMode() const;

private:
    QString dataDir_;
    QString settingsDir_;
};
