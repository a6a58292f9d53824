#pragma once
#include <QString>

namespace platform {

// Every file location the program uses, resolved once from the environment
// (XDG base directories) and the running executable. Tests build their own.
struct Paths {
    QString programDir;      // directory of the running executable
    QString settingsDir;     // plays the role of the Windows directory: vastrel.ini, telephon.ini
    QString dataDir;         // DataLogs/ and In.log: programDir, or $XDG_DATA_HOME/vastrel
    QString stateDir;        // the registry store: $XDG_STATE_HOME/vastrel
    QString runtimeDir;      // sockets and the lock: see RuntimeFolder; empty when unsafe
    QString runtimeProblem;  // why runtimeDir is empty
    QString userLockDir;     // a second instance lock, the same for every start; may be empty
    QString autostartDir;    // $XDG_CONFIG_HOME/autostart

    // Resolves from the environment; programDir is the executable's folder.
    // Creates the directories that must exist (0700 where made).
    static Paths FromEnvironment(const QString& programDir);

    // All directories below one root, for tests and end-to-end runs.
    static Paths UnderRoot(const QString& root);
};

}  // namespace platform
