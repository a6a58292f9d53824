#pragma once
#include <QString>

namespace platform {
class ShellLinks;
}

// The shortcut in the Startup folder that starts the program minimised when
// the operator logs in. Results are not acted on: a failure leaves no trace.
class StartupShortcut {
public:
    static constexpr const char* kFolder = "..\\..\\Start Menu\\Programs\\Startup";
    static constexpr const char* kLinkName = "Shortcut to Vastrel";
    static constexpr const char* kArguments = "/min";

    StartupShortcut(platform::ShellLinks& links, QString programDir);

    void Create();
    void Remove();

private:
    platform::ShellLinks& links_;
    QString programDir_;
};
