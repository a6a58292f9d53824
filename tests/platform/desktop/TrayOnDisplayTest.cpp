// The tray icon on a real X display with a real notification area (Xvfb and
// trayer): a left and a right click arrive as WM_LBUTTONUP and WM_RBUTTONUP.
// The test program runs itself a second time on that display, because the
// QApplication of this one is bound to the offscreen platform. Skipped when
// Xvfb, trayer or xdotool is not installed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <memory>
#include <vector>

#include "platform/desktop/QtNotifyIcon.h"

namespace platform {
namespace {

constexpr const char* kChildVariable = "VASTREL_TRAY_CHILD";

TEST(TrayOnDisplay, ClicksOnARealTrayArriveAsMouseCodes) {
    if (qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "the child side runs";
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString trayer = QStandardPaths::findExecutable("trayer");
    if (xvfb.isEmpty() || trayer.isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "needs Xvfb, trayer and xdotool";
    const auto socket = [](int display) { return QString("/tmp/.X11-unix/X%1").arg(display); };
    int display = 90;
    while (display < 140 && (QFile::exists(socket(display)) ||
                             QFile::exists(QString("/tmp/.X%1-lock").arg(display))))
        ++display;
    ASSERT_LT(display, 140);
    const QString name = QString(":%1").arg(display);

    // Every process started here is killed by its pid when the test ends.
    std::vector<std::unique_ptr<QProcess>> processes;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const auto start = [&](const QString& program, const QStringList& args) {
        QProcess* p = processes.emplace_back(std::make_unique<QProcess>()).get();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(program, args);
        return p->waitForStarted(3000) ? p : nullptr;
    };
    ASSERT_TRUE(start(xvfb, {name, "-screen", "0", "640x480x24", "-nolisten", "tcp"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(socket(display)); }, 5000));
    env.insert("DISPLAY", name);
    env.remove("DBUS_SESSION_BUS_ADDRESS");  // XEmbed, which trayer hosts
    ASSERT_TRUE(start(trayer, {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                               "--width", "120", "--height", "28", "--SetDockType", "true"}));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kChildVariable, "1");
    QProcess* child =
        start(QCoreApplication::applicationFilePath(), {"--gtest_filter=TrayOnDisplay.ChildSide"});
    ASSERT_TRUE(child);
    const bool finished = child->waitForFinished(15000);
    for (auto& p : processes) p->kill(), p->waitForFinished(2000);
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
                              .uCallbackMessage = 0x0200,
                              .szTip = "Vastrel"};
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 1);
    QSystemTrayIcon* icon = tray.TrayIcon(5, 1);
    ASSERT_TRUE(QTest::qWaitFor([&] { return icon->geometry().isValid(); }, 5000));
    // The geometry is known a moment before the icon is mapped in the
    // tray, so a click is repeated (slower than a double click) until seen.
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
