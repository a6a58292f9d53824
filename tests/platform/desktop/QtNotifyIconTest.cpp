// Shell_NotifyIconA over QSystemTrayIcon: nothing without a notification
// area, and clicks turned into the mouse codes the program decodes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <vector>

#include "platform/desktop/QtNotifyIcon.h"

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

TEST(QtNotifyIcon, WithoutNotificationAreaAddingFails) {
    QtNotifyIcon tray({}, [] { return false; });
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_ADD, kIcon), 0);
    EXPECT_EQ(tray.TrayIcon(kIcon.hWnd, kIcon.uID), nullptr);
}

TEST(QtNotifyIcon, ClicksBecomeMouseCodesAndTheSinkMayRemoveTheIcon) {
    QtNotifyIcon tray({}, [] { return true; });
    std::vector<std::tuple<HWND, UINT, UINT>> clicks;
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
        EXPECT_EQ(clicks.size(), code ? 1u : 0u) << reason;
        if (code) {
            EXPECT_EQ(clicks.at(0), std::tuple(HWND{7}, WM_MOUSEMOVE, code)) << reason;
        }
    }
    EXPECT_EQ(removed, 1);
    EXPECT_EQ(tray.TrayIcon(7, 1), nullptr);
    ASSERT_FALSE(icon.isNull()) << "still alive until the event loop runs";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(icon.isNull());
    EXPECT_EQ(tray.Shell_NotifyIconA(NIM_DELETE, kIcon), 0) << "already gone";
}

}  // namespace
}  // namespace platform
