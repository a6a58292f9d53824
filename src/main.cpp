// Vastrel: platform wiring and the main window.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Program.h"
#include "core/frmVastrel.h"
#include "platform/Paths.h"
#include "platform/Utf8Text.h"
#include "platform/clock/Clock.h"
#include "platform/desktop/AlarmBadge.h"
#include "platform/desktop/DBusNotifications.h"
#include "platform/desktop/QtDesktop.h"
#include "platform/desktop/QtNotifyIcon.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "platform/registry/FileRegistry.h"
#include "platform/sound/AlsaSound.h"
#include "platform/tapi/TapiFactory.h"
#include "platform/tapi/sip/SipPasswordCommand.h"
#include "platform/window/MessageBoxes.h"
#include "platform/window/UnixWindowSystem.h"
#include "usage/ReportCommand.h"

namespace {

// Without a display the program runs on the offscreen platform: monitoring,
// logs and the hand-over all work.
void ChoosePlatform() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) return;
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

// The command text: the arguments joined by blanks, in UTF-8, cut to fit the
// 255-byte hand-over buffer with its NUL without splitting a character.
std::string CommandLineText(const QStringList& arguments) {
    const std::string text = arguments.mid(1).join(' ').toUtf8().toStdString();
    return std::string(platform::Utf8Text::FitBytes(text, 254));
}

constexpr const char* kUsage =
    "Usage: vastrel [/min | /setup | /test]\n"
    "       vastrel --report [YYYY-MM-DD] [--calls] [--output FILE]\n"
    "       vastrel --sip-password\n"
    "Watches how long telephone lines are in use; lives in the notification area.\n"
    "\n"
    "  (none)     start Vastrel; when it already runs, bring the running copy's\n"
    "             Options dialog to the front\n"
    "  /setup     start with the Options dialog open\n"
    "  /min       accepted (the start-up entry passes it)\n"
    "  /test      have the running copy rebuild its line table and test at once\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "  --report   write a day's line use (today by default) as CSV to standard\n"
    "             output or FILE and exit: seconds online per line and hour, or\n"
    "             with --calls one row per call with its caller id; read from the\n"
    "             saved data log and In.log only (records not yet saved are not\n"
    "             in it); runs beside a running copy and from cron\n"
    "  --sip-password  read the SIP account's password from standard input and\n"
    "             keep it in the desktop's keyring (telephon.ini [Sip])\n"
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

// Qt ends a start without a usable display in qFatal, that is SIGABRT and a
// core dump, after a screenful of plugin advice. While the application object
// is made, its messages are held back; a fatal one becomes one line and exit
// code 1. (A handler that returns from a fatal message cannot stop the abort.)
void HoldDisplayMessages(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type != QtFatalMsg) return;
    const QByteArray display = qgetenv("DISPLAY");
    const QByteArray wayland = qgetenv("WAYLAND_DISPLAY");
    std::fprintf(stderr, "vastrel: cannot open the display%s%s%s%s\n",
                 display.isEmpty() ? "" : " DISPLAY=", display.constData(),
                 wayland.isEmpty() ? "" : " WAYLAND_DISPLAY=", wayland.constData());
    std::_Exit(1);
}

// The executable's folder, known before the application object exists.
QString ProgramDir() {
    return QFileInfo(QFile::symLinkTarget("/proc/self/exe")).absolutePath();
}

int Refuse(const QString& why) {
    std::fprintf(stderr, "vastrel: %s\n", why.toLocal8Bit().constData());
    return 1;
}

QString HandOverFailure(platform::LONG error) {
    if (error == platform::ERROR_CANCELLED) return "ended before the running copy answered";
    if (error == platform::ERROR_TIMEOUT)
        return "the running copy did not answer in time; the command was not delivered";
    return "Vastrel is running but could not be reached; the command was not delivered";
}

}  // namespace

int main(int argc, char** argv) {
    if (const int status = AnswerInformationRequest(argc, argv); status >= 0) return status;
    // The report reads files only: no window, telephony or instance lock.
    if (argc >= 2 && std::strcmp(argv[1], "--report") == 0)
        return ReportCommand::Main(argc, argv, ProgramDir());
    const platform::Paths paths = platform::Paths::FromEnvironment(ProgramDir());
    if (argc == 2 && std::strcmp(argv[1], "--sip-password") == 0) {
        QCoreApplication keyringLoop(argc, argv);
        return platform::sip::SipPasswordCommand::Main(paths.settingsDir);
    }
    if (paths.runtimeDir.isEmpty())
        return Refuse("no private folder for the instance lock: " + paths.runtimeProblem);
    // Qt, too, wants a runtime folder and makes one in /tmp when the
    // environment names none it accepts: it gets ours.
    if (QFileInfo(paths.runtimeDir).path() != qEnvironmentVariable("XDG_RUNTIME_DIR"))
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(paths.runtimeDir));
    ChoosePlatform();
    const QtMessageHandler previousHandler = qInstallMessageHandler(HoldDisplayMessages);
    QApplication app(argc, argv);
    qInstallMessageHandler(previousHandler);
    QApplication::setApplicationName("Vastrel");
    QApplication::setQuitOnLastWindowClosed(false);
    QApplication::setWindowIcon(QIcon(":/icons/vastrel-32.png"));

    platform::FileRegistry registry(paths.stateDir + "/registry");
    platform::PrivateProfile profile(paths.settingsDir);
    std::unique_ptr<platform::Tapi32> tapi = platform::CreateTapiService(paths);
    platform::UnixWindowSystem windows(paths.runtimeDir, paths.userLockDir);
    if (windows.TakeInstanceLock() == platform::InstanceLock::Result::Unavailable)
        return Refuse("cannot take the instance lock " + paths.runtimeDir + "/vastrel.lock" +
                      (paths.userLockDir.isEmpty() || paths.userLockDir == paths.runtimeDir
                           ? QString()
                           : " or " + paths.userLockDir + "/vastrel.lock") +
                      " (not a file of this user's?)");
    // The tray icon is the window icon, with a red badge while a line is in alarm.
    const QIcon trayIcon = QApplication::windowIcon();
    const QIcon alarmIcon = platform::AlarmBadge(trayIcon);
    platform::QtNotifyIcon notifyIcon(
        [&](platform::HICON icon) { return icon == TrayIcon::kAlarmIcon ? alarmIcon : trayIcon; });
    platform::DBusNotifications notifications;
    // For the real-display tests: where the tray host put the icon.
    if (const QString report = qEnvironmentVariable("VASTREL_REPORT_TRAY_GEOMETRY");
        !report.isEmpty())
        notifyIcon.ReportGeometryTo(report);
    platform::AlsaSound sound(platform::AlsaSound::DeviceFromEnvironment(),
                              platform::QtDesktop::Beep);
    platform::QtDesktop desktop;
    platform::ShellLinks shellLinks(paths.autostartDir);
    platform::QtMessageBoxes messages;
    platform::SystemClock clock;
    Services services{registry, profile, *tapi,      windows,  notifyIcon, notifications,
                      sound,    desktop, shellLinks, messages, clock,      paths};

    Program program(services);
    frmVastrel window(program);
    if (!window.Form_Load(CommandLineText(app.arguments()))) {
        const platform::LONG error = program.HandOverError();
        return error == platform::ERROR_SUCCESS ? 0 : Refuse(HandOverFailure(error));
    }
    // Closed already while start-up waited in a message box: the quit it
    // asked for ended that box's loop, and the main loop would never end.
    if (program.Unloaded()) return 0;
    return app.exec();
}
