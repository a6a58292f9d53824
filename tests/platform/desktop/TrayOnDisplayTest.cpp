// A left and a right click on a real tray (Xvfb and trayer) arrive as
// WM_LBUTTONUP and WM_RBUTTONUP. The program runs itself again on that display,
// as this one is bound to the offscreen platform. Needs Xvfb, trayer, xdotool.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <deque>
#include <vector>

#include "platform/desktop/QtNotifyIcon.h"

namespace platform {
namespace {

constexpr const char* kChildVariable = "VASTREL_TRAY_CHILD";

TEST(TrayOnDisplay, ClicksOnARealTrayArriveAsMouseCodes) {
    if (qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "the child side runs";
    const QString xvfb = QStandardPaths::findExecutable("Xvfb"),
                  trayer = QStandardPaths::findExecutable("trayer");
    if (xvfb.isEmpty() || trayer.isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "needs Xvfb, trayer and xdotool";
    const auto socket = [](int display) { return QString("/tmp/.X11-unix/X%1").arg(display); };
    int display = 90;
    while (QFile::exists(socket(display)) || QFile::exists(QString("/tmp/.X%1-lock").arg(display)))
        ++display;
    const QString name = QString(":%1").arg(display);

    std::deque<QProcess> processes;  // each killed by its pid when the test ends
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const auto start = [&](const QString& program, const QString& args) {
        QProcess& p = processes.emplace_back();
        p.setProcessEnvironment(env);
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start(program, args.split(' '));
        return p.waitForStarted(3000) ? &p : nullptr;
    };
    ASSERT_TRUE(start(xvfb, name + " -screen 0 640x480x24 -nolisten tcp"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket(display)); }, 5000));
    env.insert("DISPLAY", name);
    env.remove("DBUS_SESSION_BUS_ADDRESS");  // XEmbed, which trayer hosts
    ASSERT_TRUE(start(trayer,
                      "--edge top --align right --widthtype pixel --width 120 --height 28 "
                      "--SetDockType true"));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kChildVariable, "1");
    QProcess* child =
        start(QCoreApplication::applicationFilePath(), "--gtest_filter=TrayOnDisplay.ChildSide");
    const bool finished = child && child->waitForFinished(15000);
    for (QProcess& p : processes) p.kill(), p.waitForFinished(2000);
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
