// Shell_NotifyIconA over QSystemTrayIcon: nothing without a notification
// area, the bookkeeping of add, modify and delete, and clicks turned into the
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

NOTIFYICONDATA Record(HWND hWnd = 7, const char* tip = "Vastrel", HICON icon = 42) {
    NOTIFYICONDATA data;
    data.cbSize = sizeof data;
    data.hWnd = hWnd;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = WM_MOUSEMOVE;
    data.hIcon = icon;
    std::memset(data.szTip, ' ', sizeof data.szTip);
    std::memcpy(data.szTip, tip, std::strlen(tip) + 1);
    return data;
}

// Forcing a tray on the offscreen platform makes Qt's X11 tray code warn
// about a signal that platform lacks; that says nothing about our code.
struct Quiet : ::testing::Environment {
    void SetUp() override {
        QLoggingCategory::setFilterRules("qt.core.qobject.connect.warning=false");
    }
};
const auto* const quiet = ::testing::AddGlobalTestEnvironment(new Quiet);

TEST(QtNotifyIcon, WithoutNotificationAreaEveryCallFails) {
    QtNotifyIcon tray({}, [] { return false; });
    const NOTIFYICONDATA data = Record();
    for (const DWORD message : {NIM_ADD, NIM_MODIFY, NIM_DELETE})
        EXPECT_EQ(tray.Shell_NotifyIconA(message, data), 0) << message;
    EXPECT_EQ(tray.TrayIcon(data.hWnd, data.uID), nullptr);
}

TEST(QtNotifyIcon, AddModifyDeleteFollowTheShell) {
    std::vector<HICON> asked;
    QtNotifyIcon tray(
        [&](HICON h) {
            asked.push_back(h);
            QPixmap pixmap(16, 16);
            pixmap.fill(h == 42 ? Qt::red : Qt::blue);
            return QIcon(pixmap);
        },
        [] { return true; });
    const auto colour = [](QSystemTrayIcon* icon) {
        return icon->icon().pixmap(16).toImage().pixelColor(8, 8);
    };
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, Record()), 1);
    QSystemTrayIcon* icon = tray.TrayIcon(7, 1);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(icon->toolTip(), "Vastrel");
    EXPECT_EQ(colour(icon), QColor(Qt::red));
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, Record()), 0) << "same hWnd and uID twice";
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_MODIFY, Record(8)), 0);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, Record(8)), 0);

    const NOTIFYICONDATA changed = Record(7, "Vastrel - line 2", 43);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_MODIFY, changed), 1);
    EXPECT_EQ(icon->toolTip(), "Vastrel - line 2");
    EXPECT_EQ(colour(icon), QColor(Qt::blue));
    EXPECT_EQ(asked, (std::vector<HICON>{42, 43}));

    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, changed), 1);
    EXPECT_EQ(tray.TrayIcon(7, 1), nullptr);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, changed), 0);
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, changed), 1) << "can be added again";
    EXPECT_EQ(tray.Shell_NotifyIconA(99, changed), 0);

    NOTIFYICONDATA full = Record(7, "Caf\xe9");
    EXPECT_EQ(QtNotifyIcon::TipText(full), QString::fromUtf8("Caf\u00e9")) << "read as Latin-1";
    std::memset(full.szTip, 'x', sizeof full.szTip);
    EXPECT_EQ(QtNotifyIcon::TipText(full), QString(64, 'x')) << "no NUL: all 64 bytes";
}

TEST(QtNotifyIcon, ClicksReachTheSinkAndTheSinkMayRemoveTheIcon) {
    QtNotifyIcon tray({}, [] { return true; });
    std::vector<std::pair<HWND, UINT>> clicks;
    std::vector<UINT> codes;
    BOOL removed = 0;
    tray.SetSink([&](HWND h, UINT m, UINT c, QPoint) {
        clicks.push_back({h, m});
        codes.push_back(c);
        // Exit from the tray menu deletes the icon while its click is delivered.
        if (c == WM_RBUTTONUP) removed = tray.Shell_NotifyIconA(NIM_DELETE, Record());
    });
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, Record()), 1);
    QPointer<QSystemTrayIcon> icon = tray.TrayIcon(7, 1);
    EXPECT_TRUE(icon->contextMenu() == nullptr) << "the program pops up its own menu";
    for (auto reason : {QSystemTrayIcon::Trigger, QSystemTrayIcon::DoubleClick,
                        QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Context})
        emit icon->activated(reason);
    EXPECT_EQ(codes, (std::vector<UINT>{WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_RBUTTONUP}));
    EXPECT_EQ(clicks[0], std::make_pair(HWND{7}, WM_MOUSEMOVE));

    EXPECT_EQ(removed, 1);
    ASSERT_FALSE(icon.isNull()) << "still alive until the event loop runs";
    EXPECT_FALSE(icon->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
}

}  // namespace
}  // namespace platform
