#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <unistd.h>

namespace platform {
namespace {

QString EnvDir(const char* name, const QString& fallbackBelowHome) {
    const QString value = qEnvironmentVariable(name);
    // The XDG rules ignore relative paths.
    if (!value.isEmpty() && QDir::isAbsolutePath(value)) return value;
    return QDir::homePath() + "/" + fallbackBelowHome;
}

bool CanWriteIn(const QString& dir) {
    QFileInfo info(dir);
    if (!info.isDir()) return false;
    // isWritable() only reads permission bits; a read-only mount says yes.
    QTemporaryFile probe(dir + "/.vastrel-probe-XXXXXX");
    return probe.open();
}

QString RuntimeDir() {
    QString base = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (base.isEmpty() || !QDir::isAbsolutePath(base)) {
        base = QDir::tempPath() + QString("/vastrel-runtime-%1").arg(getuid());
    }
    return base + "/vastrel";
}

void MakePrivateDir(const QString& dir) {
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

}  // namespace

Paths Paths::FromEnvironment(const QString& programDir) {
    Paths p;
    p.programDir = programDir;
    const QString config = EnvDir("XDG_CONFIG_HOME", ".config");
    p.settingsDir = config;
    p.autostartDir = config + "/autostart";
    p.stateDir = EnvDir("XDG_STATE_HOME", ".local/state") + "/vastrel";
    p.dataDir = CanWriteIn(programDir) ? programDir
                                       : EnvDir("XDG_DATA_HOME", ".local/share") + "/vastrel";
    p.runtimeDir = RuntimeDir();
    QDir().mkpath(p.settingsDir);
    QDir().mkpath(p.stateDir);
    QDir().mkpath(p.dataDir);
    MakePrivateDir(QFileInfo(p.runtimeDir).path());
    MakePrivateDir(p.runtimeDir);
    return p;
}

Paths Paths::UnderRoot(const QString& root) {
    Paths p;
    p.programDir = root + "/program";
    p.settingsDir = root + "/config";
    p.autostartDir = root + "/config/autostart";
    p.stateDir = root + "/state";
    p.dataDir = p.programDir;
    p.runtimeDir = root + "/runtime";
    for (const QString& d : {p.programDir, p.settingsDir, p.stateDir}) QDir().mkpath(d);
    MakePrivateDir(p.runtimeDir);
    return p;
}

}  // namespace platform
