// Vastrel with the other kinds of notification area, on Xvfb: a
// StatusNotifierItem host on a private session bus, where the tray menu is
// read and clicked over D-Bus and the alarm notifications are recorded by a
// server of the test's own; and no notification area at first, then trayer.
// Skipped when a tool is missing; every process is stopped by its PID.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "ProgramHome.h"

namespace {

using e2e::RunCommand;
using e2e::WaitFor;

QString Missing(const QStringList& tools) {
    for (const QString& tool : tools)
        if (QStandardPaths::findExecutable(tool).isEmpty()) return tool;
    return {};
}

// org.freedesktop.Notifications, answering as a server does and keeping
// every Notify's summary and body.
class NotificationRecorder : public QDBusVirtualObject {
public:
    QStringList received;

    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& bus) override {
        const QString member = message.member();
        QVariantList reply;
        if (member == "Notify" && message.arguments().size() == 8) {
            received << message.arguments()[3].toString() + " | " +
                            message.arguments()[4].toString();
            reply << uint(received.size());
        } else if (member == "GetCapabilities") {
            reply << QStringList{"body"};
        } else if (member == "GetServerInformation") {
            reply << "recorder"
                  << "Vastrel tests"
                  << "1"
                  << "1.2";
        } else {
            return false;
        }
        return bus.send(message.createReply(reply));
    }
};

// A session bus of the test's own: dbus-daemon, stopped by its PID.
struct PrivateBus {
    QTemporaryDir dir;
    sandbox::Processes daemon;
    QString address;

    bool Start() {
        const QString socket = dir.path() + "/bus";
        address = "unix:path=" + socket;
        return daemon.Start(
                   "dbus-daemon", {"--session", "--nofork", "--nopidfile", "--address=" + address},
                   QProcessEnvironment::systemEnvironment(), true, QProcess::MergedChannels) &&
               WaitFor([&] { return QFile::exists(socket); }, 5000);
    }
};

// The menu's items as "id label visible" from GetLayout's printed form.
QStringList MenuItems(const QString& layout) {
    static const QRegularExpression item(R"(\((\d+), \{([^{}]*)\}, (@av )?\[)");
    static const QRegularExpression label(R"('label': <'([^']*)'>)");
    QStringList items;
    for (auto it = item.globalMatch(layout); it.hasNext();) {
        const auto m = it.next();
        const QString text = label.match(m.captured(2)).captured(1).remove('_');
        if (text.isEmpty()) continue;
        const bool hidden = m.captured(2).contains("'visible': <false>");
        items << QString("%1 %2 %3").arg(m.captured(1), text, hidden ? "hidden" : "shown");
    }
    return items;
}

class TrayHosts : public ::testing::Test {
protected:
    sandbox::XDisplay display;
    e2e::ProgramHome home;

    void OnTheDisplay() {
        home.Env().insert("DISPLAY", display.env().value("DISPLAY"));
        home.Env().insert("QT_QPA_PLATFORM", "xcb");
        home.Env().insert("VASTREL_REPORT_TRAY_GEOMETRY", home.Path("tray.txt"));
    }
    e2e::Output Gdbus(const QStringList& args) {
        return RunCommand("gdbus", QStringList{"call", "--session"} + args, home.Env());
    }
};

TEST_F(TrayHosts, AStatusNotifierHostGetsTheMenuAndEachAlarmedCallOneNotification) {
    if (const QString tool = Missing({"Xvfb", "dbus-daemon", "gdbus", "gtk-sni-tray-standalone"});
        !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    PrivateBus bus;
    ASSERT_TRUE(bus.Start()) << "no private session bus";
    QDBusConnection test = QDBusConnection::connectToBus(bus.address, "tray-hosts-test");
    ASSERT_TRUE(test.isConnected());
    NotificationRecorder recorder;
    const std::shared_ptr<void> disconnect(
        nullptr, [](void*) { QDBusConnection::disconnectFromBus("tray-hosts-test"); });
    ASSERT_TRUE(test.registerVirtualObject("/org/freedesktop/Notifications", &recorder));
    ASSERT_TRUE(test.registerService("org.freedesktop.Notifications"));

    ASSERT_TRUE(display.Start(160, "800x600"));
    display.env().insert("DBUS_SESSION_BUS_ADDRESS", bus.address);
    ASSERT_TRUE(
        display.StartOnIt("gtk-sni-tray-standalone", {"--watcher", "--bottom", "-s", "32"}));
    ASSERT_TRUE(WaitFor(
        [&] { return test.interface()->isServiceRegistered("org.kde.StatusNotifierWatcher"); },
        10000))
        << "the host's watcher never came up";

    // Line 2 watched, in alarm from its call's first scan.
    OnTheDisplay();
    home.Env().insert("DBUS_SESSION_BUS_ADDRESS", bus.address);
    home.Write("config/vastrel.ini", QByteArray(e2e::ProgramHome::kHeader) +
                                         "[Preferences]\r\nLines=2,\r\nAlarm Limit=0\r\n");
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(vastrel);
    QString items;
    ASSERT_TRUE(WaitFor(
        [&] {
            items = QString::fromUtf8(
                Gdbus({"-d", "org.kde.StatusNotifierWatcher", "-o", "/StatusNotifierWatcher", "-m",
                       "org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierWatcher",
                       "RegisteredStatusNotifierItems"})
                    .out);
            return items.contains("'");
        },
        10000))
        << "no item registered: " << items.toStdString();
    const QString item = items.section('\'', 1, 1);
    const QString service = item.section('/', 0, 0);
    const QString path = item.contains('/') ? "/" + item.section('/', 1) : "/StatusNotifierItem";
    const QString menuPath = QString::fromUtf8(Gdbus({"-d", service, "-o", path, "-m",
                                                      "org.freedesktop.DBus.Properties.Get",
                                                      "org.kde.StatusNotifierItem", "Menu"})
                                                   .out)
                                 .section('\'', 1, 1);
    ASSERT_FALSE(menuPath.isEmpty() || menuPath == "/NO_DBUSMENU") << menuPath.toStdString();

    // What a host does before showing the menu: the Restore rule applies.
    Gdbus({"-d", service, "-o", menuPath, "-m", "com.canonical.dbusmenu.AboutToShow", "0"});
    const QString layout =
        QString::fromUtf8(Gdbus({"-d", service, "-o", menuPath, "-m",
                                 "com.canonical.dbusmenu.GetLayout", "--", "0", "-1", "[]"})
                              .out);
    const QStringList menu = MenuItems(layout);
    ASSERT_EQ(menu.size(), 3) << layout.toStdString();
    EXPECT_TRUE(menu[0].endsWith(" Restore hidden")) << "the window is shown";
    EXPECT_TRUE(menu[1].endsWith(" Options shown"));
    EXPECT_TRUE(menu[2].endsWith(" Exit shown"));

    // One notification per call that reaches the limit, not per scan.
    ASSERT_EQ(home.Phone({"ring", "2", "--number", "5551234"}) + home.Phone({"answer", "2"}), 0);
    ASSERT_TRUE(WaitFor([&] { return !recorder.received.isEmpty(); }, 10000))
        << "no notification arrived";
    WaitFor([] { return false; }, 2500);  // two more scans of the same call
    EXPECT_EQ(recorder.received,
              QStringList{"Vastrel: line 2 in alarm | Line 2 \u2014 online 0 h 00 m 01 s"});
    ASSERT_EQ(home.Phone({"hangup", "2"}), 0);
    WaitFor([] { return false; }, 1500);
    ASSERT_EQ(home.Phone({"ring", "2"}) + home.Phone({"answer", "2"}), 0);
    EXPECT_TRUE(WaitFor([&] { return recorder.received.size() == 2; }, 10000))
        << recorder.received.join('\n').toStdString();

    // Exit clicked in the host's menu ends the program.
    const QString exitId = menu[2].section(' ', 0, 0);
    Gdbus({"-d", service, "-o", menuPath, "-m", "com.canonical.dbusmenu.Event", "--", exitId,
           "clicked", "<0>", "0"});
    ASSERT_TRUE(vastrel->waitForFinished(10000 * e2e::Slowdown())) << "Exit did not end it";
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_EQ(recorder.received.size(), 2);
}

// No notification area: minimising leaves the window iconic in the task bar;
// a tray started later takes the icon.
TEST_F(TrayHosts, WithoutANotificationAreaMinimisingKeepsTheWindowAndALaterTrayDocksTheIcon) {
    if (const QString tool = Missing({"Xvfb", "openbox", "trayer", "xdotool", "xprop"});
        !tool.isEmpty())
        GTEST_SKIP() << "needs " << tool.toStdString();
    ASSERT_TRUE(display.Start(170, "800x600"));
    display.env().remove("DBUS_SESSION_BUS_ADDRESS");
    const auto xprop = [&](const QStringList& args) {
        return QString::fromLatin1(RunCommand("xprop", args, display.env()).out);
    };
    // The server's socket may be there a moment before it takes clients.
    ASSERT_TRUE(WaitFor(
        [&] {
            return RunCommand("xprop", {"-root", "-len", "0"}, display.env()).code == 0;
        },
        5000));
    QProcess* openbox = display.StartOnIt("openbox", {});
    ASSERT_TRUE(openbox);
    ASSERT_TRUE(WaitFor(
        [&] {
            return xprop({"-root", "_NET_SUPPORTING_WM_CHECK"}).contains("id");
        },
        10000))
        << "openbox: " << openbox->readAll().toStdString();
    OnTheDisplay();
    home.Env().remove("DBUS_SESSION_BUS_ADDRESS");
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(vastrel);
    QString window;
    ASSERT_TRUE(WaitFor(
        [&] {
            window = QString::fromLatin1(
                         RunCommand("xdotool",
                                    {"search", "--onlyvisible", "--pid",
                                     QString::number(vastrel->processId()), "--name", "^Vastrel$"},
                                    display.env())
                             .out)
                         .section('\n', 0, 0);
            return !window.isEmpty();
        },
        10000));
    RunCommand("xdotool", {"windowminimize", window}, display.env());
    ASSERT_TRUE(WaitFor(
        [&] {
            return xprop({"-id", window, "WM_STATE"}).contains("Iconic");
        },
        5000));
    WaitFor([] { return false; }, 1000);  // a hide would come a moment later
    EXPECT_TRUE(xprop({"-id", window, "WM_STATE"}).contains("Iconic")) << "not left minimised";
    EXPECT_TRUE(xprop({"-id", window, "_NET_WM_STATE"}).contains("_NET_WM_STATE_HIDDEN"));

    ASSERT_TRUE(
        display.StartOnIt("trayer", {"--edge", "top", "--align", "right", "--widthtype", "pixel",
                                     "--width", "120", "--height", "28", "--SetDockType", "true"}));
    EXPECT_TRUE(WaitFor(
        [&] {
            const QStringList p =
                QString::fromUtf8(home.Read("tray.txt")).section('\t', 0, 0).split(' ');
            return p.size() == 7 && p[4].toInt() > 0 && p[6] == "1";
        },
        10000))
        << "the icon never docked: " << home.Read("tray.txt").toStdString();
    EXPECT_EQ(vastrel->state(), QProcess::Running);
}

}  // namespace
