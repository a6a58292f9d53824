// Vastrel on a real X display with a window manager and a notification area
// (Xvfb, openbox, trayer), driven with real input from xdotool; with CUPS and
// a PDF printer it prints for real. Screenshots go to $VASTREL_SCREENSHOT_DIR.
// Skipped when the tools are not installed; every process started here is
// stopped by its PID.
#include <gtest/gtest.h>

#include <pwd.h>
#include <unistd.h>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QRect>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

namespace {

QString BinDir() {
    return qEnvironmentVariable("VASTREL_BIN_DIR");
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!condition()) {
        if (deadline.hasExpired()) return false;
        QThread::msleep(50);
    }
    return true;
}

struct Output {
    int code = -1;
    QByteArray out;
};

// A short command; killed when it overruns, so no test can hang on one.
Output RunCommand(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                  int ms = 5000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Output result;
    if (!p.waitForStarted(3000)) return result;
    if (!p.waitForFinished(ms)) {
        p.kill();
        p.waitForFinished(1000);
        return result;
    }
    result.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    result.out = p.readAllStandardOutput();
    return result;
}

// Long-running helpers (servers, the program): terminated, then killed, by PID.
class Processes {
public:
    ~Processes() { StopAll(); }
    QProcess* Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env) {
        started_.push_back(std::make_unique<QProcess>());
        QProcess* p = started_.back().get();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(program, args);
        return p->waitForStarted(3000) ? p : nullptr;
    }
    void StopAll() {
        for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
            QProcess& p = **it;
            if (p.state() == QProcess::NotRunning) continue;
            ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
            if (!p.waitForFinished(3000)) {
                ::kill(static_cast<pid_t>(p.processId()), SIGKILL);
                p.waitForFinished(2000);
            }
        }
        started_.clear();
    }

private:
    std::vector<std::unique_ptr<QProcess>> started_;
};

int FreeDisplay() {
    for (int n = 140; n < 200; ++n) {
        if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFile::exists(QString("/tmp/.X%1-lock").arg(n))) {
            return n;
        }
    }
    return -1;
}

// One virtual screen with a window manager and a tray host for the whole suite.
class Screen {
public:
    static QString MissingTool() {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xprop", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
        return {};
    }
    // Empty when the screen is up, else what did not start.
    QString Start() {
        const int display = FreeDisplay();
        if (display < 0) return "a free display number";
        env_ = QProcessEnvironment::systemEnvironment();
        const QString name = QString(":%1").arg(display);
        if (!processes_.Start("Xvfb", {name, "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
                              env_) ||
            !WaitFor([&] { return QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)); },
                     5000))
            return "Xvfb on " + name;
        env_.insert("DISPLAY", name);
        env_.remove("WAYLAND_DISPLAY");
        env_.remove("DBUS_SESSION_BUS_ADDRESS");  // XEmbed docking, which trayer hosts
        if (!processes_.Start("openbox", {}, env_)) return "openbox";
        // The window manager owns the screen before any window maps: a
        // panel mapped while it starts up may stay unmapped.
        if (!WaitFor(
                [&] {
                    return RunCommand("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, env_)
                        .out.contains("window id");
                },
                5000))
            return "openbox";
        QProcess* trayer = nullptr;
        if (!(trayer =
                  processes_.Start("trayer",
                                   {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                    "--width", "120", "--height", "28", "--SetDockType", "true",
                                    "--transparent", "false", "--tint", "0x404040"},
                                   env_)))
            return "trayer";
        if (!WaitFor(
                [&] {
                    return Xdo({"search", "--onlyvisible", "--class", "trayer"}).code == 0;
                },
                5000))
            return "a mapped trayer panel: " + QString::fromLocal8Bit(trayer->readAll()) +
                   QString(" (%1)").arg(trayer->state());
        return {};
    }
    void Stop() { processes_.StopAll(); }
    const QProcessEnvironment& Env() const { return env_; }
    Output Xdo(const QStringList& args) const { return RunCommand("xdotool", args, env_); }

private:
    Processes processes_;
    QProcessEnvironment env_;
};

Screen* screen = nullptr;

class ScreenEnvironment : public ::testing::Environment {
public:
    void TearDown() override {
        if (screen) screen->Stop();
        delete screen;
        screen = nullptr;
    }
};
const ::testing::Environment* const screenEnvironment =
    ::testing::AddGlobalTestEnvironment(new ScreenEnvironment);

QStringList VisibleWindows(qint64 pid) {
    const Output o =
        screen->Xdo({"search", "--onlyvisible", "--all", "--pid", QString::number(pid)});
    return QString::fromLatin1(o.out).split('\n', Qt::SkipEmptyParts);
}

QRect WindowGeometry(const QString& window) {
    const Output o = screen->Xdo({"getwindowgeometry", "--shell", window});
    QRect r;
    for (const QByteArray& line : o.out.split('\n')) {
        const QList<QByteArray> kv = line.split('=');
        if (kv.size() != 2) continue;
        const int v = kv[1].toInt();
        if (kv[0] == "X") r.moveLeft(v);
        if (kv[0] == "Y") r.moveTop(v);
        if (kv[0] == "WIDTH") r.setWidth(v);
        if (kv[0] == "HEIGHT") r.setHeight(v);
    }
    return r;
}

// Screenshots are artifacts of the run: a failed one never fails a test.
void Screenshot(const QString& name, const QStringList& importArgs) {
    const QString dir = qEnvironmentVariable("VASTREL_SCREENSHOT_DIR");
    if (dir.isEmpty()) return;
    QDir().mkpath(dir);
    RunCommand("import", importArgs + QStringList{dir + "/" + name + ".png"}, screen->Env(), 10000);
}

void ShootWindow(const QString& name, const QString& window) {
    Screenshot(name, {"-window", window, "-frame"});
}

void ShootArea(const QString& name, const QRect& area) {
    const QRect a = area.intersected(QRect(0, 0, 1024, 768));
    Screenshot(name, {"-window", "root", "-crop",
                      QString("%1x%2+%3+%4").arg(a.width()).arg(a.height()).arg(a.x()).arg(a.y())});
}

// The built program in a temporary home of its own, on the shared screen.
class Home {
public:
    explicit Home(const QProcessEnvironment& extra = {}) {
        for (const char* d : {"config", "state", "data", "runtime", "program"})
            QDir().mkpath(root_.path() + "/" + d);
        QFile::setPermissions(root_.path() + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(BinDir() + "/vastrel", root_.path() + "/program/vastrel");
        env_ = screen->Env();
        env_.insert("HOME", root_.path());
        env_.insert("XDG_CONFIG_HOME", root_.path() + "/config");
        env_.insert("XDG_STATE_HOME", root_.path() + "/state");
        env_.insert("XDG_DATA_HOME", root_.path() + "/data");
        env_.insert("XDG_RUNTIME_DIR", root_.path() + "/runtime");
        env_.insert("QT_QPA_PLATFORM", "xcb");
        env_.insert("VASTREL_REPORT_TRAY_GEOMETRY", Path("tray.txt"));
        // No print server unless a test brings one.
        env_.insert("CUPS_SERVER", root_.path() + "/no-cups.sock");
        for (const QString& key : extra.keys()) env_.insert(key, extra.value(key));
        if (env_.value("CUPS_SERVER").isEmpty()) env_.remove("CUPS_SERVER");
        Write("config/telephon.ini",
              "[Exchange]\nLines=3\nTraffic=none\n[Line1]\nName=Reception\n"
              "[Line2]\nName=Sales desk\n[Line3]\nName=Support\n");
    }
    QString Path(const QString& rel) const { return root_.path() + "/" + rel; }
    void Write(const QString& rel, const QByteArray& text) {
        QFile f(Path(rel));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }
    qint64 DataLogSize() const { return QFileInfo(Path("program/DataLogs/Data.log")).size(); }
    bool DataLogExists() const { return QFile::exists(Path("program/DataLogs/Data.log")); }

    QProcess* Start(const QStringList& args = {}) {
        return processes_.Start(Path("program/vastrel"), args, env_);
    }
    Output RunAgain(const QStringList& args = {}) {
        return RunCommand(Path("program/vastrel"), args, env_, 5000);
    }
    int Phone(const QStringList& args) {
        return RunCommand(BinDir() + "/vastrel-phone", args, env_).code;
    }

    // The icon as the program last reported it: geometry and tip.
    bool TrayIcon(QRect* where, QString* tip) const {
        QFile f(Path("tray.txt"));
        if (!f.open(QIODevice::ReadOnly)) return false;
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        const QStringList parts = line.section('\t', 0, 0).split(' ');
        if (parts.size() != 7 || parts[6] != "1") return false;
        *where = QRect(parts[2].toInt(), parts[3].toInt(), parts[4].toInt(), parts[5].toInt());
        *tip = line.section('\t', 1);
        return where->width() > 0 && where->height() > 0;
    }
    // The main window: the program's one big visible window.
    QString MainWindow(qint64 pid) const {
        for (const QString& w : VisibleWindows(pid))
            if (WindowGeometry(w).width() >= 400) return w;
        return {};
    }

private:
    QTemporaryDir root_;
    QProcessEnvironment env_;
    Processes processes_;
};

class Desktop : public ::testing::Test {
public:
    // The screen is started by the first suite that needs it and kept for
    // the others; it ends with the test program.
    static void SetUpTestSuite() {
        if (screen || !missing_.isEmpty()) return;
        missing_ = Screen::MissingTool();
        if (!missing_.isEmpty()) return;
        screen = new Screen;
        if (const QString failed = screen->Start(); !failed.isEmpty())
            missing_ = "a working " + failed;
    }

protected:
    void SetUp() override {
        if (!missing_.isEmpty()) GTEST_SKIP() << "needs " << missing_.toStdString();
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
        WaitFor([&] { return !(r.window = home.MainWindow(r.process->processId())).isEmpty(); },
                10000);
        return r;
    }
    static void Click(const QPoint& at, const char* button) {
        screen->Xdo(
            {"mousemove", QString::number(at.x()), QString::number(at.y()), "click", button});
    }
    // The tray menu; a click that lands while the icon is being re-mapped is
    // lost, so it is repeated (slower than a double click) until one shows.
    static QString OpenTrayMenu(qint64 pid, const QPoint& icon) {
        for (int attempt = 0; attempt < 4; ++attempt) {
            const QStringList before = VisibleWindows(pid);
            Click(icon, "3");
            const QString menu = NewWindow(pid, before, 1500);
            if (!menu.isEmpty()) return menu;
        }
        return {};
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

    static QString missing_;
};

QString Desktop::missing_;

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
    QStringList before = VisibleWindows(pid);
    screen->Xdo({"mousemove", "500", "500"});
    screen->Xdo({"mousemove", QString::number(centre.x() - 2), QString::number(centre.y() - 2)});
    screen->Xdo({"mousemove", QString::number(centre.x()), QString::number(centre.y())});
    const QString tipWindow = NewWindow(pid, before, 5000);
    EXPECT_FALSE(tipWindow.isEmpty()) << "no tool tip on the icon";
    ShootArea("tray-icon", QRect(vastrel.icon.right() - 200, 0, 220, 60));

    // Right click: the tray menu, without "Restore" while the window shows.
    const QString shownMenu = OpenTrayMenu(pid, centre);
    ASSERT_FALSE(shownMenu.isEmpty()) << "no menu on a right click";
    const int shortMenu = WindowGeometry(shownMenu).height();
    screen->Xdo({"key", "Escape"});
    EXPECT_TRUE(WaitFor([&] { return !VisibleWindows(pid).contains(shownMenu); }, 3000));

    // Minimised, the window goes to the tray: only the icon stays.
    screen->Xdo({"windowminimize", vastrel.window});
    EXPECT_TRUE(WaitFor([&] { return !VisibleWindows(pid).contains(vastrel.window); }, 5000))
        << "minimising did not hide the window";
    QRect icon;
    QString tip;
    EXPECT_TRUE(home.TrayIcon(&icon, &tip));

    // Now the menu offers "Restore" too.
    const QString hiddenMenu = OpenTrayMenu(pid, centre);
    ASSERT_FALSE(hiddenMenu.isEmpty());
    const QRect menu = WindowGeometry(hiddenMenu);
    EXPECT_GT(menu.height(), shortMenu) << "no Restore entry while hidden";
    ShootArea("tray-menu", QRect(menu.left() - 120, 0, menu.width() + 140, menu.bottom() + 30));
    screen->Xdo({"key", "Escape"});
    WaitFor([&] { return !VisibleWindows(pid).contains(hiddenMenu); }, 3000);

    // A left click brings the window back in the normal state.
    Click(centre, "1");
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
    // Saving every 720 minutes: nothing is on disk until asked for.
    QThread::msleep(1500);
    ASSERT_FALSE(home.DataLogExists());
    Keys(vastrel.window, {"ctrl+s"});
    ASSERT_TRUE(WaitFor([&] { return home.DataLogSize() > 0; }, 3000)) << "Ctrl+S saved nothing";
    const qint64 saved = home.DataLogSize();

    Keys(vastrel.window, {"ctrl+p"});
    QThread::msleep(1200);  // at least one more scan to save
    Keys(vastrel.window, {"ctrl+s"});
    EXPECT_TRUE(WaitFor([&] { return home.DataLogSize() > saved; }, 3000))
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

    const Output second = home.RunAgain();
    EXPECT_EQ(second.code, 0);
    QString options;
    ASSERT_TRUE(WaitFor(
        [&] {
            const Output o = screen->Xdo({"search", "--onlyvisible", "--all", "--pid",
                                          QString::number(pid), "--name", "^Options$"});
            options = QString::fromLatin1(o.out).section('\n', 0, 0);
            return !options.isEmpty();
        },
        5000))
        << "the running copy showed no Options dialog";
    QThread::msleep(400);  // painted
    ShootWindow("options-general", options);
    Keys(options, {"alt+a"});  // the "&Advanced" tab
    QThread::msleep(500);
    ShootWindow("options-advanced", options);
    Keys(options, {"Escape"});
    EXPECT_TRUE(WaitFor([&] { return !VisibleWindows(pid).contains(options); }, 3000));

    // Help > About Vastrel from the keyboard.
    Keys(vastrel.window, {"alt+h"});
    QThread::msleep(300);
    screen->Xdo({"key", "a"});
    QString about;
    EXPECT_TRUE(WaitFor(
        [&] {
            const Output o = screen->Xdo({"search", "--onlyvisible", "--all", "--pid",
                                          QString::number(pid), "--name", "^About Vastrel$"});
            about = QString::fromLatin1(o.out).section('\n', 0, 0);
            return !about.isEmpty();
        },
        5000));
    if (!about.isEmpty()) {
        QThread::msleep(400);
        ShootWindow("about", about);
        Keys(about, {"Escape"});
        EXPECT_TRUE(WaitFor([&] { return !VisibleWindows(pid).contains(about); }, 3000));
    }
    // Line 2 is online by now: the picture of the main window shows it.
    ShootWindow("main-window", vastrel.window);
    EXPECT_EQ(vastrel.process->state(), QProcess::Running);
}

// ---- printing on a real print server -----------------------------------------

class Printing : public Desktop {
protected:
    void SetUp() override {
        Desktop::SetUp();
        if (IsSkipped()) return;
        if (::geteuid() != 0) GTEST_SKIP() << "needs root to run cupsd and lpadmin";
        for (const char* tool : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin",
                                 "/usr/lib/cups/backend/cups-pdf", "/usr/bin/pdftoppm"})
            if (!QFileInfo(tool).isExecutable()) GTEST_SKIP() << "needs " << tool;
    }
};

// The ink of a rendered page: how much is not white, and where.
struct Ink {
    double share = 0;
    QRect box;
};
Ink InkOf(const QImage& page) {
    Ink ink;
    qint64 dark = 0;
    int left = page.width(), top = page.height(), right = -1, bottom = -1;
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            if (qGray(page.pixel(x, y)) > 230) continue;
            ++dark;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    ink.share = page.isNull() ? 0 : double(dark) / (double(page.width()) * page.height());
    if (right >= 0) ink.box = QRect(QPoint(left, top), QPoint(right, bottom));
    return ink;
}

TEST_F(Printing, CtrlPPrintsTheMainWindowOnThePdfPrinter) {
    // The test's own scheduler unless one runs already; either way a
    // printer of the test's own, made the program's default with PRINTER.
    Processes servers;
    const QProcessEnvironment system = QProcessEnvironment::systemEnvironment();
    if (!QFile::exists("/run/cups/cups.sock")) {
        QDir().mkpath("/run/cups");
        ASSERT_TRUE(servers.Start("/usr/sbin/cupsd", {"-f"}, system));
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

    QProcessEnvironment extra;
    extra.insert("PRINTER", printer);
    extra.insert("CUPS_SERVER", "");  // the system's scheduler
    Home home(extra);
    QProcess* process = home.Start();
    ASSERT_TRUE(process);
    QString window;
    ASSERT_TRUE(WaitFor([&] { return !(window = home.MainWindow(process->processId())).isEmpty(); },
                        10000));
    QThread::msleep(1200);  // a scan time on the labels
    screen->Xdo({"windowactivate", "--sync", window, "key", "--clearmodifiers", "ctrl+p"});

    QString pdf;
    qint64 lastSize = -1;
    ASSERT_TRUE(WaitFor(
        [&] {
            for (const QString& name : out.entryList({"*.pdf"}, QDir::Files))
                if (!before.contains(name)) pdf = out.filePath(name);
            if (pdf.isEmpty()) return false;
            const qint64 size = QFileInfo(pdf).size();
            const bool settled = size > 0 && size == lastSize;
            lastSize = size;
            return settled;
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
    const QString shots = qEnvironmentVariable("VASTREL_SCREENSHOT_DIR");
    if (!shots.isEmpty()) {
        QDir().mkpath(shots);
        page.save(shots + "/printed-page.png");
    }
    QFile::remove(pdf);

    // Not a blank page: the list and the labels, in the window's proportions
    // (519 x 224 pixels).
    const Ink ink = InkOf(page);
    EXPECT_GT(ink.share, 0.005);
    ASSERT_FALSE(ink.box.isEmpty());
    const double ratio = double(ink.box.width()) / ink.box.height();
    EXPECT_NEAR(ratio, 519.0 / 224.0, 0.25)
        << "ink box " << ink.box.width() << "x" << ink.box.height();
    EXPECT_EQ(process->state(), QProcess::Running);
}

}  // namespace
