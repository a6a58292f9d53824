// The desktop on the offscreen platform: tray clicks turned into the mouse
// codes the program decodes, printing without a print system, and the
// start-up shortcut as an XDG autostart entry.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QMenu>
#include <QPointer>
#include <QTemporaryDir>

#include <tuple>
#include <vector>

#include "NonRegularFiles.h"
#include "platform/desktop/AlarmBadge.h"
#include "platform/desktop/QtDesktop.h"
#include "platform/desktop/QtNotifyIcon.h"
#include "platform/desktop/ShellLinks.h"

namespace platform {
namespace {

constexpr UINT WM_MOUSEMOVE = 0x0200;

const NOTIFYICONDATA kIcon{.cbSize = sizeof(NOTIFYICONDATA),
                           .hWnd = 7,
                           .uID = 1,
                           .uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP,
                           .uCallbackMessage = WM_MOUSEMOVE,
                           .hIcon = 42,
                           .szTip = "Vastrel"};

// Forcing a tray on the offscreen platform makes Qt's X11 tray code warn
// about a signal that platform lacks; that says nothing about our code.
struct Quiet : ::testing::Environment {
    void SetUp() override {
        QLoggingCategory::setFilterRules("qt.core.qobject.connect.warning=false");
    }
};
const auto* const quiet = ::testing::AddGlobalTestEnvironment(new Quiet);

TEST(QtNotifyIcon, ClicksBecomeMouseCodesAndTheSinkMayRemoveTheIcon) {
    QtNotifyIcon noArea({}, [] { return false; });
    EXPECT_EQ(noArea.Shell_NotifyIconA(NIM_ADD, kIcon), 0) << "no notification area";
    EXPECT_EQ(noArea.TrayIcon(kIcon.hWnd, kIcon.uID), nullptr);

    QtNotifyIcon tray({}, [] { return true; });
    using Clicks = std::vector<std::tuple<HWND, UINT, UINT>>;
    Clicks clicks;
    BOOL removed = 0;
    tray.SetSink([&](HWND h, UINT m, UINT c, QPoint) {
        clicks.push_back({h, m, c});
        // Exit from the tray menu deletes the icon while its click is delivered.
        if (c == WM_RBUTTONUP) removed = tray.Shell_NotifyIconA(NIM_DELETE, kIcon);
    });
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, kIcon), 1);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, kIcon), 0) << "same hWnd and uID twice";
    QPointer<QSystemTrayIcon> icon = tray.TrayIcon(7, 1);
    ASSERT_FALSE(icon.isNull());
    const std::pair<QSystemTrayIcon::ActivationReason, UINT> reasons[] = {
        {QSystemTrayIcon::Trigger, WM_LBUTTONUP},
        {QSystemTrayIcon::DoubleClick, WM_LBUTTONDBLCLK},
        {QSystemTrayIcon::MiddleClick, 0},  // not passed on
        {QSystemTrayIcon::Context, WM_RBUTTONUP}};
    for (const auto& [reason, code] : reasons) {
        clicks.clear();
        emit icon->activated(reason);
        const Clicks expected = code ? Clicks{{HWND{7}, WM_MOUSEMOVE, code}} : Clicks{};
        EXPECT_EQ(clicks, expected) << reason;
    }
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(tray.TrayIcon(7, 1), nullptr);
    ASSERT_FALSE(icon.isNull()) << "still alive until the event loop runs";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, kIcon), 0) << "already gone";
}

// The menu reaches icons added before and after it is set; the alarm
// variant keeps the icon and puts a red badge on its lower right corner.
TEST(QtNotifyIcon, TheMenuReachesEveryIconAndTheAlarmVariantIsBadged) {
    QPixmap blue(32, 32);
    blue.fill(Qt::blue);
    const QIcon normal(blue), alarm = AlarmBadge(normal);
    QtNotifyIcon tray([&](HICON h) { return h == 2 ? alarm : normal; }, [] { return true; });
    QMenu menu;
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, kIcon), 1);
    tray.SetContextMenu(&menu);
    NOTIFYICONDATA second = kIcon;
    second.uID = 2;
    second.hIcon = 2;
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, second), 1);
    EXPECT_EQ(tray.TrayIcon(7, 1)->contextMenu(), &menu);
    EXPECT_EQ(tray.TrayIcon(7, 2)->contextMenu(), &menu);
    const QImage badged = tray.TrayIcon(7, 2)->icon().pixmap(32, 32).toImage();
    EXPECT_EQ(badged.pixelColor(4, 4), QColor(Qt::blue));
    const QColor badge = badged.pixelColor(24, 24);
    EXPECT_TRUE(badge.red() > 180 && badge.blue() < 80) << badge.name().toStdString();
    tray.SetContextMenu(nullptr);
    EXPECT_EQ(tray.TrayIcon(7, 1)->contextMenu(), nullptr);
}

TEST(QtDesktop, PrintingWithoutPrintSystemFailsAtOnce) {
    if (QFileInfo::exists("/run/cups/cups.sock")) GTEST_SKIP() << "a print server is running";
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    QtDesktop desktop;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(desktop.PrintImage(image) || desktop.PrintImage(QImage()));
    EXPECT_LT(timer.elapsed(), 5000);
}

constexpr const char* kStartup = "..\\..\\Start Menu\\Programs\\Startup";
constexpr const char* kLink = "Shortcut to Vastrel";

QString Read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

class ShellLinksTest : public ::testing::Test {
protected:
    QTemporaryDir root;
    QString autostart = root.path() + "/config/autostart";
    ShellLinks links{autostart};
};

TEST_F(ShellLinksTest, CreatesAPrivateAutostartEntryAndRemovesOnlyThatLink) {
    EXPECT_NE(links.fCreateShellLink(kStartup, kLink, "/opt/vastrel/vastrel", "/min"), 0);
    const QString path = autostart + "/shortcut-to-vastrel.desktop";
    EXPECT_EQ(Read(path),
              "[Desktop Entry]\nType=Application\nName=Shortcut to Vastrel\n"
              "Exec=/opt/vastrel/vastrel /min\nIcon=vastrel\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(QDir(autostart).entryList(QDir::Files | QDir::Hidden).size(), 1) << "no temporary";
    EXPECT_EQ(std::tuple(ModeOf(path), ModeOf(autostart), ModeOf(root.path() + "/config")),
              std::tuple(0600, 0700, 0700));
    ASSERT_NE(links.fCreateShellLink(kStartup, "Other", "/w", ""), 0);
    EXPECT_NE(links.fRemoveShellLink("..\\..\\START MENU/Programs\\startup", kLink), 0);
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_EQ(links.fRemoveShellLink(kStartup, kLink), 0) << "already gone";
    EXPECT_TRUE(QFile::exists(links.EntryPath(kStartup, "Other")));
}

TEST_F(ShellLinksTest, QuotesEscapesAndRefusesWhatWouldLeaveTheEntryOrTheFolder) {
    for (const char* folder : {"", "Startup", "..\\Start Menu\\Programs\\Startup", "/tmp"})
        EXPECT_EQ(links.fCreateShellLink(folder, kLink, "/v", "/min"), 0) << folder;
    EXPECT_EQ(links.fCreateShellLink(kStartup, "...", "/v", "") +
                  links.fCreateShellLink(kStartup, kLink, "", "/min"),
              0)
        << "no name, no target";
    EXPECT_FALSE(QDir(autostart).exists());
    const std::tuple<std::string, std::string, QString> execs[] = {
        // target, arguments, Exec
        {"/home/a b/vastrel", "/min", "\"/home/a b/vastrel\" /min"},
        {"/x/$HOME\"`\\", "", "\"/x/\\$HOME\\\"\\`\\\\\""},
        {"/x/100%", "", "/x/100%%"}};
    for (const auto& [target, arguments, exec] : execs)
        EXPECT_EQ(ShellLinks::ExecLine(target, arguments), exec) << target;
    ASSERT_NE(
        links.fCreateShellLink(kStartup, "Evil\nExec=/bin/rm", "/a b\\c", "/min\nHidden=true"), 0);
    const QStringList lines = Read(links.EntryPath(kStartup, "Evil\nExec=/bin/rm")).split('\n');
    EXPECT_EQ(lines.size(), 7);  // six lines and the final newline
    EXPECT_TRUE(lines.contains("Name=Evil\\nExec=/bin/rm"));
    // Four backslashes: the Exec escape, then the value escape.
    EXPECT_TRUE(lines.contains("Exec=\"/a b\\\\\\\\c\" /min Hidden=true"))
        << lines.join(" | ").toStdString();
    EXPECT_EQ(links.EntryPath(kStartup, "../../.bashrc"), autostart + "/bashrc.desktop");
}

}  // namespace
}  // namespace platform
