#include "UsageSources.h"

#include <QFileInfo>

#include "datalog/DataLog.h"
#include "platform/Paths.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/SettingsFile.h"

UsageSources::UsageSources(const platform::Paths& paths)
    : dataDir_(paths.dataDir), settingsDir_(paths.settingsDir) {}

QString UsageSources::DataLogsDir() const {
    const QString found = DataLog::FindFolder(dataDir_);
    return QFileInfo(found).isDir() ? found : QString();
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
    return DataLog::FileIn(dir, AppendMode(), day);
}

QString UsageSources::IncomingLog() const {
    return dataDir_ + "/In.log";
}
