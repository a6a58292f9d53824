// A left and a right click on a real tray (Xvfb and trayer) arrive as
// WM_LBUTTONUP and WM_RBUTTONUP. The program runs itself again on that display,
// as this one is bound to the offscreen platform. Needs Xvfb, trayer, xdotool.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <vector>

#include "Sandbox.h"
#include "platform/desktop/QtNotifyIcon.h"

namespace platform {
namespace {

constexpr const char* kChildVariable = "VASTREL_TRAY_CHILD";

TEST(TrayOnDisplay, ClicksOnARealTrayArriveAsMouseCodes) {
    if (qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "the child side runs";
    for (const char* tool : {"Xvfb", "trayer", "xdotool"})
        if (QStandardPaths::findExecutable(tool).isEmpty())
            GTEST_SKIP() << "needs Xvfb, trayer and xdotool";
    sandbox::XDisplay display;  // stops, with trayer, by PID when the test ends
    ASSERT_TRUE(display.Start(90, "640x480"));
    display.env().remove("DBUS_SESSION_BUS_ADDRESS");  // XEmbed, which trayer hosts
    ASSERT_TRUE(display.StartOnIt("trayer", QString("--edge top --align right --widthtype pixel "
                                                    "--width 120 --height 28 --SetDockType true")
                                                .split(' ')));
    display.env().insert("QT_QPA_PLATFORM", "xcb");
    display.env().insert(kChildVariable, "1");
    QProcess* child = display.StartOnIt(QCoreApplication::applicationFilePath(),
                                        {"--gtest_filter=TrayOnDisplay.ChildSide"});
    const bool finished = child && child->waitForFinished(15000 * sandbox::Slowdown());
    ASSERT_TRUE(finished) << "child did not finish";
    EXPECT_EQ(child->exitCode(), 0) << child->readAll().toStdString();
}

TEST(TrayOnDisplay, ChildSide) {
    if (!qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "run by the test above";
    // The tray host may still be starting: Qt docks the icon once it is there.
    ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000));
    QtNotifyIcon tray;
    std::vector<UINT> codes;
    tray.SetSink([&](HWND, UINT, UINT code, QPoint) { codes.push_back(code); });
    const NOTIFYICONDATA data{.hWnd = 5,
                              .uID = 1,
                              .uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP,
                              .uCallbackMessage = 0x0200};
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 1);
    QSystemTrayIcon* icon = tray.TrayIcon(5, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon->geometry().isValid(); }, 5000));
    // The icon is mapped a moment after its geometry is known: click (slower than a double click)
    // until seen.
    for (const auto& [button, expected] : {std::pair{"1", WM_LBUTTONUP}, {"3", WM_RBUTTONUP}}) {
        codes.clear();
        for (int attempt = 0; attempt < 8 && codes.empty(); ++attempt) {
            const QPoint centre = icon->geometry().center();
            QProcess xdotool;
            xdotool.start("xdotool", {"mousemove", QString::number(centre.x()),
                                      QString::number(centre.y()), "click", button});
            ASSERT_TRUE(xdotool.waitForFinished(3000));
            static_cast<void>(QTest::qWaitFor([&] { return !codes.empty(); }, 700));
        }
        ASSERT_FALSE(codes.empty()) << "button " << button;
        EXPECT_EQ(codes.back(), expected) << "button " << button;
    }
}

}  // namespace
}  // namespace platform
