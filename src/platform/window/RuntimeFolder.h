#pragma once
// The folder that holds the instance lock and the window sockets. Whoever can
// write into it can take the lock or answer a hand-over, so it must be the
// user's alone: owned by them, a real folder (no link), mode 0700, inside a
// folder that nobody else can rename it out of.
#include <QString>

namespace platform {

class RuntimeFolder {
public:
    struct Result {
        QString path;     // empty when no safe folder could be had
        QString problem;  // why not, for a line on standard error
        // <stateDir>/runtime when it is safe: the one folder every start of
        // this user finds, whatever XDG_RUNTIME_DIR says (a desktop start and
        // one from cron or sudo must still exclude each other). Else empty.
        QString userWide;
    };

    // $XDG_RUNTIME_DIR/vastrel when XDG_RUNTIME_DIR is such a folder of the
    // user's; otherwise <stateDir>/runtime. Creates what is missing (0700),
    // never inside a folder that others may write to, never changes the mode
    // of what exists.
    static Result Resolve(const QString& xdgRuntimeDir, const QString& stateDir);

    // Empty when path is a private folder as above, else what is wrong.
    static QString CheckPrivate(const QString& path);

private:
    static QString MakePrivateChild(const QString& parent, const QString& name);
};

}  // namespace platform
