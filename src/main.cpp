// Vastrel: platform wiring and the main window.
#include <QApplication>
#include <QDir>

#include "core/AppState.h"
#include "core/frmVastrel.h"
#include "platform/Paths.h"
#include "platform/clock/Clock.h"
#include "platform/desktop/QtDesktop.h"
#include "platform/desktop/QtNotifyIcon.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/registry/FileRegistry.h"
#include "platform/sound/AlsaSound.h"
#include "platform/tapi/TapiFactory.h"
#include "platform/window/MessageBoxes.h"
#include "platform/window/UnixWindowSystem.h"

namespace {

// Without a display the program runs on the offscreen platform: monitoring,
// logs and the hand-over all work.
void ChoosePlatform() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The command text: the arguments joined by blanks, cut to fit the 255-byte
// hand-over buffer with its NUL.
std::string CommandText(const QStringList& arguments) {
    std::string text = arguments.mid(1).join(' ').toLatin1().toStdString();
    if (text.size() > 254) text.resize(254);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    ChoosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName("Vastrel");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(":/icons/vastrel-32.png"));

    const platform::Paths paths = platform::Paths::FromEnvironment(app.applicationDirPath());
    platform::FileRegistry registry(paths.stateDir + "/registry");
    platform::PrivateProfile profile(paths.settingsDir);
    std::unique_ptr<platform::Tapi32> tapi = platform::CreateTapiService(paths);
    platform::UnixWindowSystem windows(paths.runtimeDir);
    platform::QtNotifyIcon notifyIcon;
    platform::AlsaSound sound;
    platform::QtDesktop desktop;
    platform::ShellLinks shellLinks(paths.autostartDir);
    platform::QtMessageBoxes messages;
    platform::SystemClock clock;
    Services services{registry, profile, *tapi,      windows,  notifyIcon, sound,
                      desktop,  shellLinks, messages, clock,    paths};

    AppState state;
    frmVastrel window(services, state);
    if (!window.Form_Load(CommandText(app.arguments()))) return 0;
    return app.exec();
}
