#include "Paths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <unistd.h>

#include "platform/file/RegularFile.h"
#include "platform/window/RuntimeFolder.h"

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

// Where an installed copy's executable lives: the system folders, or bin/ of
// a prefix that carries the installed help page.
bool IsInstalledProgramDir(const QString& programDir) {
    const QString real = QFileInfo(programDir).canonicalFilePath();
    if (real.isEmpty()) return false;
    static const QStringList systemDirs{"/usr/bin",   "/usr/local/bin",  "/bin",
                                        "/usr/sbin",  "/usr/local/sbin", "/sbin",
                                        "/usr/games", "/usr/local/games"};
    if (systemDirs.contains(real)) return true;
    return QFileInfo(real).fileName() == "bin" &&
           QFileInfo(real + "/../share/doc/vastrel/vastrel.html").isFile();
}

}  // namespace

Paths Paths::FromEnvironment(const QString& programDir) {
    Paths p;
    p.programDir = programDir;
    const QString config = EnvDir("XDG_CONFIG_HOME", ".config");
    p.settingsDir = config;
    p.autostartDir = config + "/autostart";
    p.stateDir = EnvDir("XDG_STATE_HOME", ".local/state") + "/vastrel";
    // An installed copy keeps each user's logs in that user's data folder,
    // even where it could write beside itself (root writes /usr/bin); run
    // from a build folder it keeps them beside the executable.
    const bool besideProgram = !IsInstalledProgramDir(programDir) && CanWriteIn(programDir);
    p.dataDir = besideProgram ? programDir : EnvDir("XDG_DATA_HOME", ".local/share") + "/vastrel";
    RegularFile::MakeFolders(p.settingsDir);
    RegularFile::MakeFolders(p.dataDir);
    // Makes the state folder too: the runtime folder may be inside it.
    const auto runtime =
        RuntimeFolder::Resolve(qEnvironmentVariable("XDG_RUNTIME_DIR"), p.stateDir);
    p.runtimeDir = runtime.path;
    p.runtimeProblem = runtime.problem;
    p.userLockDir = runtime.userWide;
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
    for (const QString& d : {p.programDir, p.settingsDir, p.stateDir, p.runtimeDir})
        RegularFile::MakeFolders(d);
    return p;
}

}  // namespace platform
