#include "StartupShortcut.h"

#include "platform/desktop/ShellLinks.h"

StartupShortcut::StartupShortcut(platform::ShellLinks& links, QString programDir)
    : links_(links), programDir_(std::move(programDir)) {}

void StartupShortcut::Create() {
    const QString target = programDir_ + "/vastrel";
    links_.fCreateShellLink(kFolder, kLinkName, target.toLocal8Bit().toStdString(), kArguments);
}

void StartupShortcut::Remove() {
    links_.fRemoveShellLink(kFolder, kLinkName);
}
