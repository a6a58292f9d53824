// The tray icon on a real X display with a real notification area (Xvfb and
// trayer): a left and a right click arrive as WM_LBUTTONUP and WM_RBUTTONUP.
// The test program runs itself a second time on that display, because the
// QApplication of this one is bound to the offscreen platform. Skipped when
// Xvfb, trayer or xdotool is not installed.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "platform/desktop/QtNotifyIcon.h"

namespace platform {
namespace {

constexpr const char* kChildVariable = "VASTREL_TRAY_CHILD";

bool WaitUntil(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QTest::qWait(50);
    }
    return true;
}

// Every process started here is killed by its PID when the test ends.
class Processes {
public:
    ~Processes() {
        for (auto& p : started_) {
            p->kill();
            p->waitForFinished(2000);
        }
    }
    QProcess* Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env) {
        started_.push_back(std::make_unique<QProcess>());
        QProcess* p = started_.back().get();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(QProcess::MergedChannels);
        p->start(program, args);
        return p->waitForStarted(3000) ? p : nullptr;
    }

private:
    std::vector<std::unique_ptr<QProcess>> started_;
};

int FreeDisplay() {
    for (int n = 90; n < 140; ++n) {
        if (!QFile::exists(QString("/tmp/.X11-unix/X%1").arg(n)) &&
            !QFile::exists(QString("/tmp/.X%1-lock").arg(n))) {
            return n;
        }
    }
    return -1;
}

TEST(TrayOnDisplay, ClicksOnARealTrayArriveAsMouseCodes) {
    if (qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "the child side runs";
    const QString xvfb = QStandardPaths::findExecutable("Xvfb");
    const QString trayer = QStandardPaths::findExecutable("trayer");
    if (xvfb.isEmpty() || trayer.isEmpty() || QStandardPaths::findExecutable("xdotool").isEmpty())
        GTEST_SKIP() << "needs Xvfb, trayer and xdotool";
    const int display = FreeDisplay();
    ASSERT_GT(display, 0);
    const QString name = QString(":%1").arg(display);

    Processes processes;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    ASSERT_TRUE(
        processes.Start(xvfb, {name, "-screen", "0", "640x480x24", "-nolisten", "tcp"}, env));
    ASSERT_TRUE(
        WaitUntil([&] { return QFile::exists(QString("/tmp/.X11-unix/X%1").arg(display)); }, 5000));
    env.insert("DISPLAY", name);
    env.remove("DBUS_SESSION_BUS_ADDRESS");  // XEmbed, which trayer hosts
    ASSERT_TRUE(processes.Start(trayer,
                                {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                 "--width", "120", "--height", "28", "--SetDockType", "true"},
                                env));
    env.insert("QT_QPA_PLATFORM", "xcb");
    env.insert(kChildVariable, "1");
    QProcess* child = processes.Start(QCoreApplication::applicationFilePath(),
                                      {"--gtest_filter=TrayOnDisplay.ChildSide"}, env);
    ASSERT_TRUE(child);
    ASSERT_TRUE(child->waitForFinished(15000)) << "child did not finish";
    EXPECT_EQ(child->exitCode(), 0) << child->readAll().toStdString();
}

TEST(TrayOnDisplay, ChildSide) {
    if (!qEnvironmentVariableIsSet(kChildVariable)) GTEST_SKIP() << "run by the test above";
    // The tray host may still be starting: Qt docks the icon once it is there.
    ASSERT_TRUE(WaitUntil([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 5000));
    QtNotifyIcon tray;
    std::vector<UINT> codes;
    tray.SetSink([&](HWND, UINT, UINT code, QPoint) { codes.push_back(code); });
    NOTIFYICONDATA data;
    data.hWnd = 5;
    data.uID = 1;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = 0x0200;
    std::strcpy(data.szTip, "Vastrel");
    ASSERT_EQ(tray.Shell_NotifyIconA(NIM_ADD, data), 1);
    QSystemTrayIcon* icon = tray.TrayIcon(5, 1);
    ASSERT_TRUE(WaitUntil([&] { return icon->geometry().isValid(); }, 5000));

    // The geometry is known a moment before the icon is mapped in the
    // tray, so a click is repeated (slower than a double click) until seen.
    const auto clickUntilSeen = [&](const char* button) -> UINT {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const QPoint centre = icon->geometry().center();
            QProcess xdotool;
            xdotool.start("xdotool", {"mousemove", QString::number(centre.x()),
                                      QString::number(centre.y()), "click", button});
            if (!xdotool.waitForFinished(3000)) return 0;
            if (WaitUntil([&] { return !codes.empty(); }, 700)) return codes.back();
        }
        return 0;
    };
    EXPECT_EQ(clickUntilSeen("1"), WM_LBUTTONUP);
    codes.clear();
    EXPECT_EQ(clickUntilSeen("3"), WM_RBUTTONUP);
}

}  // namespace
}  // namespace platform
