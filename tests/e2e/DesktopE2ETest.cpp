// Vastrel on a real X display with a window manager and a notification area
// (Xvfb, openbox, trayer), driven with real input from xdotool; with CUPS and
// a PDF printer it prints for real. Screenshots go to $VASTREL_SCREENSHOT_DIR.
// Skipped when the tools are not installed.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <QFileInfo>
#include <QImage>
#include <QMap>
#include <QRect>
#include <QStandardPaths>
#include <utility>

#include "ProgramHome.h"

namespace {

using e2e::Output;
using e2e::RunCommand;
using e2e::WaitFor;

// One virtual screen with a window manager and a tray host for the whole suite.
class Screen {
public:
    // Empty when the screen is up, else what is missing or did not start.
    // The window manager owns the screen before any window maps: a panel
    // mapped while it starts up may stay unmapped.
    QString Start() {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xprop", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
        const auto socket = [](int n) { return QString("/tmp/.X11-unix/X%1").arg(n); };
        int display = 140;
        while (display < 200 && (QFile::exists(socket(display)) ||
                                 QFile::exists(QString("/tmp/.X%1-lock").arg(display))))
            ++display;
        const QString name = QString(":%1").arg(display);
        env_ = QProcessEnvironment::systemEnvironment();
        if (display == 200 ||
            !Server("Xvfb", {name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}) ||
            !WaitFor([&] { return QFile::exists(socket(display)); }, 5000))
            return "a working Xvfb";
        env_.insert("DISPLAY", name);
        env_.remove("WAYLAND_DISPLAY");
        const auto wmReady = [&] {
            return RunCommand("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, env_)
                .out.contains("window id");
        };
        if (!Server("openbox", {}) || !WaitFor(wmReady, 5000)) return "a working openbox";
        const auto docked = [&] {
            return Xdo({"search", "--onlyvisible", "--class", "trayer"}).code == 0;
        };
        if (!Server("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                               "--width", "120", "--height", "28", "--SetDockType", "true",
                               "--transparent", "false", "--tint", "0x404040"}) ||
            !WaitFor(docked, 5000))
            return "a mapped trayer panel";
        return {};
    }
    void Stop() { servers_.StopAll(); }
    const QProcessEnvironment& Env() const { return env_; }
    Output Xdo(const QStringList& args) const { return RunCommand("xdotool", args, env_); }

private:
    bool Server(const QString& program, const QStringList& args) {
        return servers_.Start(program, args, env_, true, QProcess::MergedChannels);
    }
    e2e::Processes servers_;
    QProcessEnvironment env_;
};

Screen* screen = nullptr;
QString missing;  // why the suite is skipped

// The screen is started by the first test that needs it and ends with the
// test program.
class ScreenEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        if (screen) screen->Stop();
        delete std::exchange(screen, nullptr);
    }
};
const auto* const screenEnvironment = ::testing::AddGlobalTestEnvironment(new ScreenEnvironment);

// The program's visible windows, optionally only those with a name.
QStringList VisibleWindows(qint64 pid, const QString& name = {}) {
    QStringList args = {"search", "--onlyvisible", "--all", "--pid", QString::number(pid)};
    if (!name.isEmpty()) args << "--name" << name;
    return QString::fromLatin1(screen->Xdo(args).out).split('\n', Qt::SkipEmptyParts);
}

QRect WindowGeometry(const QString& window) {
    QMap<QByteArray, int> v;
    for (const QByteArray& line :
         screen->Xdo({"getwindowgeometry", "--shell", window}).out.split('\n'))
        if (const QList<QByteArray> kv = line.split('='); kv.size() == 2) v[kv[0]] = kv[1].toInt();
    return QRect(v["X"], v["Y"], v["WIDTH"], v["HEIGHT"]);
}

// Screenshots are artifacts of the run: a failed one never fails a test.
void Shoot(const QString& name, const QStringList& importArgs) {
    const QString dir = qEnvironmentVariable("VASTREL_SCREENSHOT_DIR");
    if (!dir.isEmpty() && QDir().mkpath(dir))
        RunCommand("import", importArgs + QStringList{dir + "/" + name + ".png"}, screen->Env(),
                   10000);
}
QStringList Window(const QString& window) {
    return {"-window", window, "-frame"};
}
QStringList Area(const QRect& area) {
    const QRect a = area.intersected(QRect(0, 0, 1024, 768));
    return {"-window", "root", "-crop",
            QString("%1x%2+%3+%4").arg(a.width()).arg(a.height()).arg(a.x()).arg(a.y())};
}

// The program's home on the shared screen, with three named lines, no print
// server unless a test brings one, and no settings file: data is saved every
// 720 minutes.
class Home : public e2e::ProgramHome {
public:
    Home() {
        Env().insert("DISPLAY", screen->Env().value("DISPLAY"));
        Env().remove("DBUS_SESSION_BUS_ADDRESS");  // XEmbed docking, which trayer hosts
        Env().insert("QT_QPA_PLATFORM", "xcb");
        Env().insert("VASTREL_REPORT_TRAY_GEOMETRY", Path("tray.txt"));
        Env().insert("CUPS_SERVER", Path("no-cups.sock"));
        Write("config/telephon.ini",
              "[Exchange]\nLines=3\nTraffic=none\n[Line1]\nName=Reception\n"
              "[Line2]\nName=Sales desk\n[Line3]\nName=Support\n");
        QFile::remove(Path("config/vastrel.ini"));
    }
    // The icon as the program last reported it: geometry and tip.
    bool TrayIcon(QRect* where, QString* tip) const {
        const QString line = QString::fromUtf8(Read("tray.txt")).section('\n', 0, 0).trimmed();
        const QStringList parts = line.section('\t', 0, 0).split(' ');
        if (parts.size() != 7 || parts[6] != "1") return false;
        *where = QRect(parts[2].toInt(), parts[3].toInt(), parts[4].toInt(), parts[5].toInt());
        *tip = line.section('\t', 1);
        return !where->isEmpty();
    }
    // The main window: the program's one big visible window.
    static QString MainWindow(qint64 pid) {
        for (const QString& w : VisibleWindows(pid))
            if (WindowGeometry(w).width() >= 400) return w;
        return {};
    }
};

class Desktop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (screen || !missing.isEmpty()) return;
        screen = new Screen;
        missing = screen->Start();
    }
    void SetUp() override {
        if (!missing.isEmpty()) GTEST_SKIP() << "needs " << missing.toStdString();
    }

    // Started, docked in the tray and shown; the first scan is done.
    struct Running {
        QProcess* process = nullptr;
        QString window;
        QRect icon;
        QString tip;
    };
    static Running StartDocked(Home& home) {
        Running r;
        r.process = home.Start();
        if (!r.process) return r;
        WaitFor([&] { return home.TrayIcon(&r.icon, &r.tip); }, 10000);
        WaitFor([&] { return !(r.window = Home::MainWindow(r.process->processId())).isEmpty(); },
                10000);
        return r;
    }
    static void MoveTo(const QPoint& at, const QStringList& then = {}) {
        screen->Xdo(QStringList{"mousemove", QString::number(at.x()), QString::number(at.y())} +
                    then);
    }
    static void Keys(const QString& window, const QStringList& keys) {
        screen->Xdo(QStringList{"windowactivate", "--sync", window, "key", "--clearmodifiers"} +
                    keys);
    }
    // A window of the program that was not there before, waited for.
    static QString NewWindow(qint64 pid, const QStringList& before, int ms = 3000) {
        QString found;
        WaitFor(
            [&] {
                for (const QString& w : VisibleWindows(pid))
                    if (!before.contains(w)) found = w;
                return !found.isEmpty();
            },
            ms);
        return found;
    }
    // The tray menu; a click that lands while the icon is being re-mapped is
    // lost, so it is repeated (slower than a double click) until one shows.
    static QString OpenTrayMenu(qint64 pid, const QPoint& icon) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            const QStringList before = VisibleWindows(pid);
            MoveTo(icon, {"click", "3"});
            if (const QString menu = NewWindow(pid, before, 1500); !menu.isEmpty()) return menu;
        }
        return {};
    }
    static bool Gone(qint64 pid, const QString& window, int ms = 3000) {
        return WaitFor([&] { return !VisibleWindows(pid).contains(window); }, ms);
    }
};

TEST_F(Desktop, TheTrayIconDocksWithItsTipAndAnswersRealClicks) {
    Home home;
    Running vastrel = StartDocked(home);
    ASSERT_TRUE(vastrel.process);
    ASSERT_FALSE(vastrel.icon.isEmpty()) << "the icon never docked";
    EXPECT_EQ(vastrel.tip, "Vastrel");
    ASSERT_FALSE(vastrel.window.isEmpty()) << "the main window never showed";
    const qint64 pid = vastrel.process->processId();
    const QPoint centre = vastrel.icon.center();

    // Hovering shows the tip in a window of its own below the icon.
    const QStringList before = VisibleWindows(pid);
    MoveTo({500, 500});
    MoveTo(centre - QPoint(2, 2));
    MoveTo(centre);
    EXPECT_FALSE(NewWindow(pid, before, 5000).isEmpty()) << "no tool tip on the icon";
    Shoot("tray-icon", Area(QRect(vastrel.icon.right() - 200, 0, 220, 60)));

    // Right click: the tray menu, without "Restore" while the window shows.
    const QString shownMenu = OpenTrayMenu(pid, centre);
    ASSERT_FALSE(shownMenu.isEmpty()) << "no menu on a right click";
    const int shortMenu = WindowGeometry(shownMenu).height();
    screen->Xdo({"key", "Escape"});
    EXPECT_TRUE(Gone(pid, shownMenu));

    // Minimised, the window goes to the tray: only the icon stays.
    screen->Xdo({"windowminimize", vastrel.window});
    EXPECT_TRUE(Gone(pid, vastrel.window, 5000)) << "minimising did not hide the window";
    QRect icon;
    QString tip;
    EXPECT_TRUE(home.TrayIcon(&icon, &tip));

    // Now the menu offers "Restore" too.
    const QString hiddenMenu = OpenTrayMenu(pid, centre);
    ASSERT_FALSE(hiddenMenu.isEmpty());
    const QRect menu = WindowGeometry(hiddenMenu);
    EXPECT_GT(menu.height(), shortMenu) << "no Restore entry while hidden";
    Shoot("tray-menu", Area(QRect(menu.left() - 120, 0, menu.width() + 140, menu.bottom() + 30)));
    screen->Xdo({"key", "Escape"});
    Gone(pid, hiddenMenu);

    // A left click brings the window back in the normal state.
    MoveTo(centre, {"click", "1"});
    EXPECT_TRUE(WaitFor([&] { return VisibleWindows(pid).contains(vastrel.window); }, 5000))
        << "a left click did not restore the window";
    const Output state = RunCommand("xprop", {"-id", vastrel.window, "WM_STATE"}, screen->Env());
    EXPECT_TRUE(state.out.contains("Normal")) << state.out.toStdString();
    EXPECT_EQ(vastrel.process->state(), QProcess::Running);
}

TEST_F(Desktop, CtrlSSavesAndCtrlPWithoutAPrinterNeitherHangsNorStopsTheProgram) {
    Home home;
    Running vastrel = StartDocked(home);
    ASSERT_FALSE(vastrel.window.isEmpty());
    QThread::msleep(1500);
    ASSERT_FALSE(QFile::exists(home.DataLogPath())) << "saved before it was asked to";
    const auto size = [&] { return QFileInfo(home.DataLogPath()).size(); };
    Keys(vastrel.window, {"ctrl+s"});
    ASSERT_TRUE(WaitFor([&] { return size() > 0; }, 3000)) << "Ctrl+S saved nothing";
    const qint64 saved = size();

    Keys(vastrel.window, {"ctrl+p"});
    QThread::msleep(1200);  // at least one more scan to save
    Keys(vastrel.window, {"ctrl+s"});
    EXPECT_TRUE(WaitFor([&] { return size() > saved; }, 3000))
        << "the program stopped answering after Ctrl+P";
    EXPECT_EQ(vastrel.process->state(), QProcess::Running);
}

TEST_F(Desktop, ASecondStartBringsUpTheRunningCopysOptionsDialog) {
    Home home;
    Running vastrel = StartDocked(home);
    ASSERT_FALSE(vastrel.window.isEmpty());
    const qint64 pid = vastrel.process->processId();
    ASSERT_EQ(home.Phone({"ring", "2", "--number", "5551234"}), 0);
    ASSERT_EQ(home.Phone({"answer", "2"}), 0);

    QProcess* again = home.Start();
    ASSERT_TRUE(again && again->waitForFinished(5000 * e2e::Slowdown()));
    EXPECT_EQ(again->exitCode(), 0);
    QString options;
    ASSERT_TRUE(WaitFor(
        [&] { return !(options = VisibleWindows(pid, "^Options$").value(0)).isEmpty(); }, 5000))
        << "the running copy showed no Options dialog";
    QThread::msleep(400);  // painted
    Shoot("options-general", Window(options));
    Keys(options, {"alt+a"});  // the "&Advanced" tab
    QThread::msleep(500);
    Shoot("options-advanced", Window(options));
    Keys(options, {"Escape"});
    EXPECT_TRUE(Gone(pid, options));
    // Line 2 is online by now: the picture of the main window shows it.
    Shoot("main-window", Window(vastrel.window));
    EXPECT_EQ(vastrel.process->state(), QProcess::Running);
}

// Ctrl+P on a printer of the test's own (made the program's default with
// PRINTER) on the system's scheduler, or on the test's own when none runs.
TEST_F(Desktop, CtrlPPrintsTheMainWindowOnThePdfPrinter) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run cupsd and lpadmin";
    for (const char* tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin",
                             "/usr/lib/cups/backend/cups-pdf", "/usr/bin/pdftoppm"})
        if (!QFileInfo(tool).isExecutable()) GTEST_SKIP() << "needs " << tool;
    e2e::Processes servers;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    if (!QFile::exists("/run/cups/cups.sock")) {
        QDir().mkpath("/run/cups");
        ASSERT_TRUE(
            servers.Start("/usr/sbin/cupsd", {"-f"}, system, true, QProcess::MergedChannels));
        ASSERT_TRUE(WaitFor([] { return QFile::exists("/run/cups/cups.sock"); }, 10000));
    }
    const QString printer = QString("VastrelTest%1").arg(::getpid());
    ASSERT_EQ(RunCommand("/usr/sbin/lpadmin",
                         {"-p", printer, "-E", "-v", "cups-pdf:/", "-m",
                          "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"},
                         system, 20000)
                  .code,
              0);
    struct RemovePrinter {
        QString name;
        ~RemovePrinter() {
            RunCommand("/usr/sbin/lpadmin", {"-x", name}, QProcessEnvironment::systemEnvironment());
        }
    } removePrinter{printer};

    // cups-pdf writes into the job owner's home from the password file.
    const passwd* owner = ::getpwuid(::geteuid());
    ASSERT_TRUE(owner);
    const QDir out(QString::fromLocal8Bit(owner->pw_dir) + "/PDF");
    const QStringList before = out.entryList({"*.pdf"}, QDir::Files);

    Home home;
    home.Env().insert("PRINTER", printer);
    home.Env().remove("CUPS_SERVER");
    QProcess* process = home.Start();
    ASSERT_TRUE(process);
    QString window;
    ASSERT_TRUE(WaitFor(
        [&] { return !(window = Home::MainWindow(process->processId())).isEmpty(); }, 10000));
    QThread::msleep(1200);  // a scan time on the labels
    Keys(window, {"ctrl+p"});

    QString pdf;
    qint64 lastSize = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const QString& name : out.entryList({"*.pdf"}, QDir::Files))
                if (!before.contains(name)) pdf = out.filePath(name);
            const qint64 size = pdf.isEmpty() ? -1 : QFileInfo(pdf).size();
            return std::exchange(lastSize, size) == size && size > 0;  // settled
        },
        30000))
        << "no PDF appeared in " << out.path().toStdString();
    EXPECT_TRUE(QFileInfo(pdf).fileName().contains("Vastrel_Data_Log")) << pdf.toStdString();

    QTemporaryDir render;
    ASSERT_EQ(
        RunCommand("/usr/bin/pdftoppm",
                   {"-r", "60", "-png", "-singlefile", pdf, render.path() + "/page"}, system, 20000)
            .code,
        0);
    const QImage page(render.path() + "/page.png");
    ASSERT_FALSE(page.isNull());
    if (const QString shots = qEnvironmentVariable("VASTREL_SCREENSHOT_DIR");
        !shots.isEmpty() && QDir().mkpath(shots))
        page.save(shots + "/printed-page.png");
    QFile::remove(pdf);

    // Not a blank page: the list and the labels, in the window's proportions
    // (519 x 224 pixels).
    qint64 dark = 0;
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) <= 230) ++dark, box |= QRect(x, y, 1, 1);
    EXPECT_GT(double(dark) / (double(page.width()) * page.height()), 0.005);
    ASSERT_FALSE(box.isEmpty());
    EXPECT_NEAR(double(box.width()) / box.height(), 519.0 / 224.0, 0.25)
        << "ink box " << box.width() << "x" << box.height();
    EXPECT_EQ(process->state(), QProcess::Running);
}

}  // namespace
