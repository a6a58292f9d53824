#include "UsageSources.h"

#include <QDir>

#include "datalog/DataLog.h"
#include "platform/Paths.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/SettingsFile.h"

UsageSources::UsageSources(const platform::Paths& paths)
    : dataDir_(paths.dataDir), settingsDir_(paths.settingsDir) {}

QString UsageSources::DataLogsDir() const {
    const QDir data(dataDir_);
    for (const QFileInfo& entry :
         data.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (entry.fileName().compare("Datalogs", Qt::CaseInsensitive) == 0)
            return entry.absoluteFilePath();
    }
    return {};
}

bool UsageSources::AppendMode() const {
    platform::PrivateProfile profile(settingsDir_);
    Settings settings;
    SettingsFile(profile, settingsDir_).LoadSettings(settings);
    return settings.appendData == 1;
}

QString UsageSources::DataLogFor(const QDate& day) const {
    const QString dir = DataLogsDir();
    if (dir.isEmpty()) return {};
    return dir + "/" + (AppendMode() ? QString("Data.log") : DataLog::DailyFileName(day));
}

QString UsageSources::IncomingLog() const {
    return dataDir_ + "/In.log";
}
