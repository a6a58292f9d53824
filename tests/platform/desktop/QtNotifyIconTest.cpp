// Shell_NotifyIconA over QSystemTrayIcon: the bookkeeping of add, modify and
// delete, the tip and icon taken from the record, and clicks turned into the
// mouse codes the program decodes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPixmap>
#include <QPointer>
#include <cstring>
#include <vector>

#include "platform/desktop/QtNotifyIcon.h"

namespace platform {
namespace {

constexpr UINT WM_MOUSEMOVE = 0x0200;

NOTIFYICONDATA Record(HWND hWnd = 7, const char* tip = "Vastrel") {
    NOTIFYICONDATA data;
    data.cbSize = sizeof data;
    data.hWnd = hWnd;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_MOUSEMOVE;
    data.hIcon = 42;
    std::memset(data.szTip, ' ', sizeof data.szTip);
    std::memcpy(data.szTip, tip, std::strlen(tip) + 1);
    return data;
}

// Forcing a tray on the offscreen platform makes Qt's X11 tray code warn
// about a signal that platform lacks; that says nothing about our code.
class QuietTray : public ::testing::Environment {
public:
    void SetUp() override {
        QLoggingCategory::setFilterRules("qt.core.qobject.connect.warning=false");
    }
};
const auto* const quietTray = ::testing::AddGlobalTestEnvironment(new QuietTray);

QIcon Coloured(Qt::GlobalColor colour) {
    QPixmap pixmap(16, 16);
    pixmap.fill(colour);
    return QIcon(pixmap);
}

struct Click {
    HWND hWnd;
    UINT message;
    UINT code;
};

TEST(QtNotifyIcon, WithoutNotificationAreaEveryCallFails) {
    QtNotifyIcon tray({}, [] { return false; });
    const NOTIFYICONDATA data = Record();
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 0);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_MODIFY, data), 0);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, data), 0);
    EXPECT_EQ(tray.TrayIcon(data.hWnd, data.uID), nullptr);
}

TEST(QtNotifyIcon, AddModifyDeleteFollowTheShell) {
    std::vector<HICON> asked;
    QtNotifyIcon tray(
        [&](HICON h) {
            asked.push_back(h);
            return Coloured(h == 42 ? Qt::red : Qt::blue);
        },
        [] { return true; });
    NOTIFYICONDATA data = Record();

    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 1);
    QSystemTrayIcon* icon = tray.TrayIcon(7, 1);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), "Vastrel");
    EXPECT_EQ(icon->icon().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::red));
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 0) << "same hWnd and uID twice";

    NOTIFYICONDATA other = Record(8);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_MODIFY, other), 0);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, other), 0);

    data = Record(7, "Vastrel - line 2");
    data.hIcon = 43;
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_MODIFY, data), 1);
    EXPECT_EQ(icon->toolTip(), "Vastrel - line 2");
    EXPECT_EQ(icon->icon().pixmap(16).toImage().pixelColor(8, 8), QColor(Qt::blue));
    EXPECT_EQ(asked, (std::vector<HICON>{42, 43}));

    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, data), 1);
    EXPECT_EQ(tray.TrayIcon(7, 1), nullptr);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, data), 0);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 1) << "can be added again";
    EXPECT_EQ(tray.Shell_NotifyIconA(99, data), 0);
}

TEST(QtNotifyIcon, TipIsCutAtItsFirstNulAndReadAsLatin1) {
    NOTIFYICONDATA data = Record(7, "Vastrel");
    EXPECT_EQ(QtNotifyIcon::TipText(data), "Vastrel");
    std::memset(data.szTip, 'x', sizeof data.szTip);
    EXPECT_EQ(QtNotifyIcon::TipText(data), QString(64, 'x')) << "no NUL: all 64 bytes";
    data = Record(7, "Caf\xe9");
    EXPECT_EQ(QtNotifyIcon::TipText(data), QString::fromUtf8("Caf\u00e9"));
}

TEST(QtNotifyIcon, ClicksReachTheSinkWithTheCallbackMessage) {
    QtNotifyIcon tray({}, [] { return true; });
    std::vector<Click> clicks;
    tray.SetSink([&](HWND h, UINT m, UINT c, QPoint) { clicks.push_back({h, m, c}); });
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, Record()), 1);
    QSystemTrayIcon* icon = tray.TrayIcon(7, 1);
    EXPECT_TRUE(icon->contextMenu() == nullptr) << "the program pops up its own menu";

    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context}) {
        emit icon->activated(reason);
    }
    ASSERT_EQ(clicks.size(), 3u);
    EXPECT_EQ(clicks[0].hWnd, 7u);
    EXPECT_EQ(clicks[0].message, WM_MOUSEMOVE);
    EXPECT_EQ(clicks[0].code, WM_LBUTTONUP);
    EXPECT_EQ(clicks[1].code, WM_LBUTTONDBLCLK);
    EXPECT_EQ(clicks[2].code, WM_RBUTTONUP);
}

TEST(QtNotifyIcon, SinkMayRemoveTheIconItWasCalledFor) {
    // Exit from the tray menu deletes the icon while its click is delivered.
    QtNotifyIcon tray({}, [] { return true; });
    const NOTIFYICONDATA data = Record();
    BOOL removed = 0;
    tray.SetSink(
        [&](HWND, UINT, UINT, QPoint) { removed = tray.Shell_NotifyIconA(NIM_DELETE, data); });
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 1);
    QPointer<QSystemTrayIcon> icon = tray.TrayIcon(7, 1);
    emit icon->activated(QSystemTrayIcon::Context);
    EXPECT_EQ(removed, 1);
    ASSERT_FALSE(icon.isNull()) << "still alive until the event loop runs";
    EXPECT_FALSE(icon->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
}

}  // namespace
}  // namespace platform
