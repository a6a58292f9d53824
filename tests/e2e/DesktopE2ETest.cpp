// Vastrel on a real X display with a window manager and a tray (Xvfb, openbox,
// trayer), driven by xdotool; with CUPS and a PDF printer it prints for real.
// Screenshots go to $VASTREL_SCREENSHOT_DIR. Skipped when tools are missing.
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

using e2e::RunCommand;
using e2e::WaitFor;

// One virtual screen for the whole suite; its servers stop with it, by PID.
struct Screen {
    sandbox::XDisplay display;
    QProcessEnvironment& env = display.env();

    // Empty when the screen is up, else what is missing or did not start.
    QString Start() {
        for (const char* tool : {"Xvfb", "openbox", "trayer", "xdotool", "xprop", "import"})
            if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
        if (!display.Start(140, "1024x768")) return "a working Xvfb";
        // The window manager owns the screen before the panel maps.
        const auto managed = [&] {
            return RunCommand("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"}, env)
                .out.contains("window id");
        };
        if (!display.StartOnIt("openbox", {}) || !WaitFor(managed, 5000))
            return "a working openbox";
        const QStringList panel = QString(
                                      "--edge top --align right --widthtype pixel --width 120 "
                                      "--height 28 --SetDockType true --transparent false "
                                      "--tint 0x404040")
                                      .split(' ');
        const auto mapped = [&] {
            return Xdo({"search", "--onlyvisible", "--class", "trayer"}).code == 0;
        };
        if (!display.StartOnIt("trayer", panel) || !WaitFor(mapped, 5000))
            return "a mapped trayer panel";
        return {};
    }
    e2e::Output Xdo(const QStringList& args) const { return RunCommand("xdotool", args, env); }
};

Screen* screen = nullptr;
QString missing;  // why the suite is skipped

struct ScreenEnvironment : ::testing::Environment {
    void TearDown() override { delete std::exchange(screen, nullptr); }
};
const auto* const screenEnvironment = ::testing::AddGlobalTestEnvironment(new ScreenEnvironment);

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
        RunCommand("import", importArgs + QStringList{dir + "/" + name + ".png"}, screen->env,
                   10000);
}
QStringList Area(const QRect& area) {
    const QRect a = area.intersected(QRect(0, 0, 1024, 768));
    return {"-window", "root", "-crop",
            QString("%1x%2+%3+%4").arg(a.width()).arg(a.height()).arg(a.x()).arg(a.y())};
}

// The program on the shared screen with three named lines, no print server
// and no settings file: data is saved every 720 minutes.
struct Home : e2e::ProgramHome {
    Home() {
        Env().insert("DISPLAY", screen->env.value("DISPLAY"));
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
        const QStringList p = line.section('\t', 0, 0).split(' ');
        if (p.size() != 7 || p[6] != "1") return false;
        *where = QRect(p[2].toInt(), p[3].toInt(), p[4].toInt(), p[5].toInt());
        *tip = line.section('\t', 1);
        return !where->isEmpty();
    }
};

// The program's one big visible window.
QString MainWindow(qint64 pid) {
    for (const QString& w : VisibleWindows(pid))
        if (WindowGeometry(w).width() >= 400) return w;
    return {};
}

class Desktop : public ::testing::Test {
protected:
    void SetUp() override {
        if (!screen && missing.isEmpty()) missing = (screen = new Screen)->Start();
        if (!missing.isEmpty()) GTEST_SKIP() << "needs " << missing.toStdString();
    }
    QProcess* StartDocked(Home& home) {  // docked and shown, the first scan done
        if (!(process = home.Start())) return nullptr;
        WaitFor([&] { return home.TrayIcon(&icon, &tip); }, 10000);
        WaitFor([&] { return !(window = MainWindow(process->processId())).isEmpty(); }, 10000);
        return process;
    }
    static void Keys(const QString& window, const QStringList& keys) {
        screen->Xdo(QStringList{"windowactivate", "--sync", window, "key", "--clearmodifiers"} +
                    keys);
    }
    void ClickIcon(const char* button) {
        screen->Xdo({"mousemove", QString::number(icon.center().x()),
                     QString::number(icon.center().y()), "click", button});
    }
    // The tray menu; a click that lands while the icon re-maps is lost, so
    // it is repeated (slower than a double click) until one shows.
    QString OpenTrayMenu() {
        QString menu;
        // A loaded machine may take seconds to map it: a click repeated too
        // soon would close the menu the first one opened.
        for (int attempt = 0; attempt < 3 && menu.isEmpty(); ++attempt) {
            const QStringList before = VisibleWindows(process->processId());
            ClickIcon("3");
            WaitFor([&] { return !(menu = NewWindow(before)).isEmpty(); }, 5000);
        }
        return menu;
    }
    QString NewWindow(const QStringList& before, const QString& name = {}) const {
        for (const QString& w : VisibleWindows(process->processId(), name))
            if (!before.contains(w)) return w;
        return {};
    }
    bool Shows(const QString& w, bool shown = true) {
        return WaitFor([&] { return VisibleWindows(process->processId()).contains(w) == shown; },
                       5000);
    }
    QProcess* process = nullptr;
    QString window, tip;
    QRect icon;
};

// One session: docked, keys on the main window, a second start, the tray.
TEST_F(Desktop, TheTrayIconKeysAndASecondStartWorkOnARealDisplay) {
    Home home;
    ASSERT_TRUE(StartDocked(home));
    ASSERT_FALSE(icon.isEmpty()) << "the icon never docked";
    EXPECT_EQ(tip, "Vastrel");
    ASSERT_FALSE(window.isEmpty()) << "the main window never showed";
    Shoot("tray-icon", Area(QRect(icon.right() - 200, 0, 220, 60)));

    // Without settings nothing is saved until Ctrl+S; Ctrl+P without a
    // printer neither hangs nor stops the program.
    QThread::msleep(1500);
    ASSERT_FALSE(QFile::exists(home.DataLogPath())) << "saved before it was asked to";
    const auto size = [&] { return QFileInfo(home.DataLogPath()).size(); };
    Keys(window, {"ctrl+s"});
    ASSERT_TRUE(WaitFor([&] { return size() > 0; }, 3000)) << "Ctrl+S saved nothing";
    const qint64 saved = size();
    Keys(window, {"ctrl+p"});
    QThread::msleep(1200);  // at least one more scan to save
    Keys(window, {"ctrl+s"});
    EXPECT_TRUE(WaitFor([&] { return size() > saved; }, 3000)) << "no answer after Ctrl+P";

    // A second start brings up the running copy's Options dialog.
    ASSERT_EQ(home.Phone({"ring", "2", "--number", "5551234"}) + home.Phone({"answer", "2"}), 0);
    const e2e::Ended again = home.RunToEnd({});
    EXPECT_TRUE(again.ended && again.code == 0) << again.err.constData();
    QString options;
    ASSERT_TRUE(WaitFor([&] { return !(options = NewWindow({}, "^Options$")).isEmpty(); }, 5000))
        << "the running copy showed no Options dialog";
    for (const char* tab : {"general", "advanced"}) {
        QThread::msleep(500);  // painted
        Shoot(QString("options-") + tab, {"-window", options, "-frame"});
        Keys(options, {"alt+a"});  // the "&Advanced" tab
    }
    Keys(options, {"Escape"});
    EXPECT_TRUE(Shows(options, false));
    Shoot("main-window", {"-window", window, "-frame"});  // line 2 online

    // Minimised, the window goes to the tray; the right-click menu shows.
    screen->Xdo({"windowminimize", window});
    EXPECT_TRUE(Shows(window, false)) << "minimising did not hide the window";
    const QString menu = OpenTrayMenu();
    ASSERT_FALSE(menu.isEmpty()) << "no menu on a right click";
    const QRect m = WindowGeometry(menu);
    Shoot("tray-menu", Area(QRect(m.left() - 120, 0, m.width() + 140, m.bottom() + 30)));
    screen->Xdo({"key", "Escape"});
    EXPECT_TRUE(Shows(menu, false));
    // A left click brings the window back in the normal state.
    ClickIcon("1");
    EXPECT_TRUE(Shows(window)) << "a left click did not restore the window";
    EXPECT_TRUE(
        RunCommand("xprop", {"-id", window, "WM_STATE"}, screen->env).out.contains("Normal"));
    EXPECT_EQ(process->state(), QProcess::Running);
}

// Ctrl+P on a printer of the test's own (the default through PRINTER) on the
// system's scheduler, or on the test's own when none runs.
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
    const QStringList add = {
        "-p", printer, "-E", "-v", "cups-pdf:/", "-m", "lsb/usr/cups-pdf/CUPS-PDF_opt.ppd"};
    ASSERT_EQ(RunCommand("/usr/sbin/lpadmin", add, system, 20000).code, 0);
    const std::shared_ptr<void> removePrinter(nullptr, [&](void*) {
        RunCommand("/usr/sbin/lpadmin", {"-x", printer}, system);
    });
    const passwd* owner = ::getpwuid(::geteuid());  // cups-pdf writes into its home
    ASSERT_TRUE(owner);
    const QDir out(QString::fromLocal8Bit(owner->pw_dir) + "/PDF");
    const QStringList before = out.entryList({"*.pdf"}, QDir::Files);

    Home home;
    home.Env().insert("PRINTER", printer);
    home.Env().remove("CUPS_SERVER");
    ASSERT_TRUE(StartDocked(home) && !window.isEmpty());
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

    // Rendered beside the screenshots when they are kept.
    QTemporaryDir render;
    const QString shots = qEnvironmentVariable("VASTREL_SCREENSHOT_DIR");
    const QString png =
        (!shots.isEmpty() && QDir().mkpath(shots) ? shots : render.path()) + "/printed-page";
    QFile::remove(png + ".png");  // from an earlier run
    RunCommand("/usr/bin/pdftoppm", {"-r", "60", "-png", "-singlefile", pdf, png}, system, 20000);
    QFile::remove(pdf);
    const QImage page(png + ".png");
    ASSERT_FALSE(page.isNull());
    // Not a blank page: the list and labels, in the proportions of the window
    // without its menu bar (a few tens of pixels).
    const QRect shown = WindowGeometry(window);
    const double low = double(shown.width()) / shown.height();
    const double high = double(shown.width()) / (shown.height() - 40);
    qint64 dark = 0;
    QRect box;
    for (int y = 0; y < page.height(); ++y)
        for (int x = 0; x < page.width(); ++x)
            if (qGray(page.pixel(x, y)) <= 230) ++dark, box |= QRect(x, y, 1, 1);
    EXPECT_GT(double(dark) / (double(page.width()) * page.height()), 0.005);
    const double printed = double(box.width()) / std::max(1, box.height());
    EXPECT_TRUE(printed > low - 0.1 && printed < high + 0.1)
        << printed << " not in " << low << ".." << high;
    EXPECT_EQ(process->state(), QProcess::Running);
}

}  // namespace
