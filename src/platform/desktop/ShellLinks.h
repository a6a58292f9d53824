#pragma once
// The setup toolkit's shell-link calls, over XDG autostart entries. The only
// folder the program names ("..\..\Start Menu\Programs\Startup") maps to the
// autostart directory.
#include <QString>
#include <string>

#include "platform/Win32.h"

namespace platform {

class ShellLinks {
public:
    explicit ShellLinks(QString autostartDir);
    // Nonzero on success, as the toolkit's functions return.
    LONG fCreateShellLink(const std::string& folder, const std::string& linkName,
                          const std::string& target, const std::string& arguments);
    LONG fRemoveShellLink(const std::string& folder, const std::string& linkName);
    // The desktop entry file a link name maps to; empty for another folder
    // or a name without a letter or digit.
    QString EntryPath(const std::string& folder, const std::string& linkName) const;
    // The Exec value (before the entry's own escapes): the target, then each
    // argument word, quoted by the desktop-entry Exec rules.
    static QString ExecLine(const std::string& target, const std::string& arguments);

private:
    QString autostartDir_;
};

}  // namespace platform
