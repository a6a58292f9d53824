// Vastrel: platform wiring and the main window.
#include <QApplication>
#include <QDir>
#include <cstdio>
#include <cstring>

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

constexpr const char* kUsage =
    "Usage: vastrel [/min | /setup | /test]\n"
    "Watches how long telephone lines are in use; lives in the notification area.\n"
    "\n"
    "  (none)     start Vastrel; when it already runs, bring the running copy's\n"
    "             Options dialog to the front\n"
    "  /setup     start with the Options dialog open\n"
    "  /min       accepted (the start-up entry passes it)\n"
    "  /test      have the running copy rebuild its line table and test at once\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "A second start hands its command to the running copy and ends.\n"
    "vastrel-phone drives the simulated telephone exchange.\n";

// --help and --version answer before anything is started or any file is
// touched; every other argument is command text. The exit status, or -1 for
// command text; a failed write (a full disk, a closed pipe) is not success.
int AnswerInformationRequest(int argc, char** argv) {
    if (argc != 2) return -1;
    const char* text = nullptr;
    if (std::strcmp(argv[1], "--help") == 0) text = kUsage;
    if (std::strcmp(argv[1], "--version") == 0) text = "Vastrel " VASTREL_VERSION "\n";
    if (text == nullptr) return -1;
    const bool written = std::fputs(text, stdout) >= 0 && std::fflush(stdout) == 0;
    return written ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerInformationRequest(argc, argv); status >= 0) return status;
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
    // For the real-display tests: where the tray host put the icon.
    if (const QString report = qEnvironmentVariable("VASTREL_REPORT_TRAY_GEOMETRY");
        !report.isEmpty())
        notifyIcon.ReportGeometryTo(report);
    platform::AlsaSound sound;
    platform::QtDesktop desktop;
    platform::ShellLinks shellLinks(paths.autostartDir);
    platform::QtMessageBoxes messages;
    platform::SystemClock clock;
    Services services{registry, profile,    *tapi,    windows, notifyIcon, sound,
                      desktop,  shellLinks, messages, clock,   paths};

    AppState state;
    frmVastrel window(services, state);
    if (!window.Form_Load(CommandText(app.arguments()))) return 0;
    // Closed already while start-up waited in a message box: the quit it
    // asked for ended that box's loop, and the main loop would never end.
    if (window.Unloaded()) return 0;
    return app.exec();
}
