#pragma once
#include <QString>

namespace platform {

// Every file location the program uses, resolved once from the environment
// (XDG base directories) and the running executable. Tests build their own.
struct Paths {
    QString programDir;    // directory of the running executable
    QString settingsDir;   // plays the role of the Windows directory: vastrel.ini, telephon.ini
    QString dataDir;       // DataLogs/ and In.log: programDir, or $XDG_DATA_HOME/vastrel
    QString stateDir;      // the registry store: $XDG_STATE_HOME/vastrel
    QString runtimeDir;    // sockets and locks: $XDG_RUNTIME_DIR/vastrel (0700)
    QString autostartDir;  // $XDG_CONFIG_HOME/autostart

    // Resolves from the environment; programDir is the executable's folder.
    // Creates the directories that must exist (runtime 0700, state, settings).
    static Paths FromEnvironment(const QString& programDir);

    // All directories below one root, for tests and end-to-end runs.
    static Paths UnderRoot(const QString& root);
};

}  // namespace platform
