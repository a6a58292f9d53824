#include <gtest/gtest.h>

#include <random>

#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include "WindowHarness.h"
#include "settings/frmOptions.h"

using namespace platform;

namespace {

std::optional<std::string> RegistryValue(Registry& registry, const char* key, const char* name) {
    HKEY k = 0;
    if (registry.RegOpenKeyExA(HKEY_CURRENT_USER, key, 0, 0x2003F, &k) != 0) return std::nullopt;
    BYTE data[256];
    DWORD size = sizeof data, type = 0;
    const LONG r = registry.RegQueryValueExA(k, name, nullptr, &type, data, &size);
    registry.RegCloseKey(k);
    return r ? std::nullopt : std::optional(std::string(reinterpret_cast<char*>(data), size));
}

void SetRegistryValue(Registry& registry, const char* key, const char* name, const char* value) {
    HKEY k = 0;
    registry.RegCreateKeyA(HKEY_CURRENT_USER, key, &k);
    registry.RegSetValueExA(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                            static_cast<DWORD>(std::strlen(value)));
    registry.RegCloseKey(k);
}

using Texts = std::vector<std::string>;
const char* kProgramKey = "Software\\Orlwen\\Vastrel\\";
const char* kSessionKey = "Software\\Orlwen\\Pelmarsh";

// A first run after a killed one: the stale session is ended first, then
// every line is watched with the defaults.
TEST(Startup, AFirstRunEndsTheStaleSessionThenWatchesEveryLineWithTheDefaults) {
    WindowHarness h;
    SetRegistryValue(h.registry, kSessionKey, "hTapi", "-5");
    frmVastrel& w = h.Start();
    ASSERT_TRUE(h.started);
    ASSERT_GE(h.tapi.log.size(), 4u);
    EXPECT_EQ(Texts(h.tapi.log.begin(), h.tapi.log.begin() + 4),
              (Texts{"lineShutdown 4294967291", "lineInitialize Pelmarsh",
                     "lineNegotiateAPIVersion 0", "lineGetDevCaps 0"}));
    for (const char* open : {"lineOpen 0 2", "lineOpen 1 2", "lineOpen 2 2"})  // monitor only
        EXPECT_EQ(h.tapi.Count(open), 1) << open;
    EXPECT_EQ(RegistryValue(h.registry, kProgramKey, "hKey"),
              " " + std::to_string(h.program.Hwnd()));
    EXPECT_EQ(RegistryValue(h.registry, kSessionKey, "hTapi"), std::to_string(h.tapi.app));
    EXPECT_EQ(h.ReadFile(h.paths.settingsDir + "/vastrel.ini"),
              "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n");
    EXPECT_EQ(h.tray.calls, std::vector<DWORD>{NIM_ADD});
    EXPECT_TRUE(w.isVisible() && h.Timer1().isActive());
    EXPECT_EQ(h.Column(0), (Texts{"1", "2", "3"}));
    EXPECT_EQ(h.Label("lblSample") + h.Label("lblSaveRate"),
              "Scan rate: 0 min 1 secsSave every 720 min");
    EXPECT_TRUE(QDir(h.paths.dataDir + "/DataLogs").exists());
    EXPECT_EQ(h.windows.signalTarget, h.program.Hwnd());
}

TEST(Startup, ASecondStartHandsOverAndEndsWithoutTouchingAnything) {
    for (const std::string command : {"", "/test"}) {
        WindowHarness h;
        SetRegistryValue(h.registry, kProgramKey, "hKey", " 1234");
        h.windows.anotherRuns = true;
        frmVastrel& w = h.Start(command);
        EXPECT_FALSE(h.started || w.isVisible());
        EXPECT_TRUE(h.tapi.log.empty() && h.tray.calls.empty());
        EXPECT_FALSE(QFile::exists(h.paths.settingsDir + "/vastrel.ini"));
        ASSERT_EQ(h.windows.sent.size(), 1u);
        const auto& sent = h.windows.sent[0];
        EXPECT_EQ(std::tuple(sent.hWnd, sent.msg, sent.dwData),
                  std::tuple(HWND{1234}, UINT{WM_COPYDATA}, DWORD{command.empty() ? 1u : 3u}));
        EXPECT_EQ(sent.data, command.empty() ? std::string(1, '\0') : std::string("test\0", 5));
        w.Form_Unload();  // nothing announced: nothing withdrawn
        EXPECT_EQ(RegistryValue(h.registry, kProgramKey, "hKey"), " 1234");
    }
}

TEST(Startup, NoLineDevicesOnlyShowsTheMessageAndSetupStopsAtOptions) {
    WindowHarness h(0);
    h.Start();
    EXPECT_EQ(h.messages.shown, QStringList{"No lines to test: Nothing to do!!!"});
    EXPECT_EQ(h.Label("lblSample") + h.Label("lblLastSave"),
              "Scan rate: 0 min 1 secLast saved at: 00:00:00");
    EXPECT_EQ(h.Column(0).size() + h.tapi.Count("lineOpen"), 0u);
    // The set-up command opens Options and ends start-up there.
    WindowHarness setup;
    frmVastrel& s = setup.Start("/SETUP");
    EXPECT_TRUE(s.findChild<frmOptions*>() && s.findChild<frmOptions*>()->isVisible());
    EXPECT_FALSE(setup.tapi.Count("lineOpen") || setup.Timer1().isActive());
}

class ScanTest : public ::testing::Test {
protected:
    WindowHarness h{7};
    void SetUp() override {
        h.tapi.Block(4, true);
        h.WriteSettings({"Lines=5,2,", "Interval Seconds=10", "Alarm Limit=1"});
    }
    void Tick(double seconds) {
        h.clock.Advance(seconds);
        h.window->Timer1_Timer();
    }
};

TEST_F(ScanTest, OnlyWatchedLinesGetRowsAndARefusedLineShowsAStar) {
    h.Start();
    EXPECT_EQ(h.Column(0), (Texts{"2", "*5"}));
    EXPECT_EQ(h.Column(3), (Texts{" 0 h  00 m  00 s", ""}));
    EXPECT_EQ(h.Column(1)[1], "Line 5," + std::string(15, ' '));
    const std::string log = h.program.Log().Text().ToString();
    EXPECT_NE(log.find("\r\n 2\tLine 5," + std::string(15, ' ') + "Line cannot be monitored"),
              std::string::npos);
    EXPECT_NE(log.find("\r\n 1\tLine 2,"), std::string::npos);
    EXPECT_EQ(h.tapi.Count("lineClose"), 1);  // the refused line never was open
}

TEST_F(ScanTest, OnlineTimeGrowsByOneIntervalPerScanTheAlarmFollowsAndTestRestarts) {
    h.Start();
    h.tapi.SetCalls(1, 2);
    Tick(9);
    EXPECT_EQ(h.tapi.Count("lineOpen 1"), 1);  // not due yet
    Tick(1);
    EXPECT_EQ(h.Column(2)[0] + h.Column(3)[0], "1 0 h  00 m  10 s");
    for (int i = 0; i < 5; ++i) Tick(10);
    EXPECT_EQ(h.Column(3)[0] + h.Column(5)[0], " 0 h  01 m  00 sAlarm");
    EXPECT_EQ(h.sound.requests.back(), "beep");
    h.tapi.SetCalls(1, 0);
    Tick(10);
    EXPECT_EQ(h.Column(3)[0] + h.Column(4)[0] + h.Column(5)[0], " 0 h  00 m  00 s 0 h  01 m  00 s");
    EXPECT_EQ(h.sound.requests.back(), "1/1/0");
    // The test command rebuilds the table: the times start again.
    h.tapi.SetCalls(1, 1);
    char text[255] = "test";
    COPYDATASTRUCT cds{3, 5, text};
    h.windows.SendMessageA(h.program.Hwnd(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds));
    EXPECT_TRUE(h.state.command.testRequested);
    EXPECT_EQ(h.Column(4)[0], " 0 h  00 m  10 s");
}

// Ticks come early or late by up to 5 % (and a hair early late in the day,
// where a single-float clock has 7.8 ms steps): every due tick scans, no
// tick scans twice, whatever the interval.
TEST_F(ScanTest, JitteredTicksScanAtTheConfiguredRate) {
    h.WriteSettings({"Lines=2,", "Interval Seconds=1"});
    h.clock.SetTime(QTime(23, 55, 0));
    h.Start();
    std::mt19937 random(5);
    std::uniform_int_distribution<int> jitterMs(-50, 50);
    auto jitteredTicks = [&](int ticks) {
        const int before = h.tapi.Count("lineOpen 1");
        for (int i = 0; i < ticks; ++i) Tick(1.0 + jitterMs(random) / 1000.0);
        return h.tapi.Count("lineOpen 1") - before;
    };
    EXPECT_EQ(jitteredTicks(600), 600);  // across midnight too
    h.clock.SetTime(QTime(23, 59, 58));
    h.state.lastScanTime = 86398.0003;  // the next tick is 0.3 ms early
    const int opened = h.tapi.Count("lineOpen 1");
    Tick(1.0);
    EXPECT_EQ(h.tapi.Count("lineOpen 1"), opened + 1);
    h.state.settings.scanIntervalSeconds = 5;
    EXPECT_EQ(jitteredTicks(500), 100);
    h.state.settings.scanIntervalSeconds = 0;  // every tick
    EXPECT_EQ(jitteredTicks(50), 50);
    // The clock steps back: the next tick scans, and the rate goes on.
    h.state.settings.scanIntervalSeconds = 1;
    h.clock.Advance(-3600);
    EXPECT_EQ(jitteredTicks(20), 20);
}

// A call reaching the limit is told once on the desktop; the tray icon shows
// the alarm variant while any watched line is in alarm, with the same tip.
TEST(Alarm, OneNotificationPerCallAndTheAlarmIconWhileAnyLineIsInAlarm) {
    WindowHarness h(3);
    h.WriteSettings({"Lines=1,2,", "Interval Seconds=30", "Alarm Limit=1"});
    h.Start();
    const auto tick = [&](int n) {
        for (int i = 0; i < n; ++i) h.clock.Advance(30), h.window->Timer1_Timer();
    };
    const auto icon = [&] { return h.tray.last.hIcon; };
    h.tapi.SetCalls(1, 1);
    tick(1);
    h.tapi.SetCalls(0, 1);
    tick(1);
    EXPECT_EQ(icon(), TrayIcon::kAlarmIcon);
    EXPECT_EQ(h.tray.calls.back(), DWORD{NIM_MODIFY});
    EXPECT_STREQ(h.state.trayIconData.szTip, "Vastrel");
    EXPECT_EQ(h.notifications.shown,
              QStringList{"Vastrel: line 2 in alarm | Line 2 \u2014 online 0 h 01 m 00 s"});
    tick(3);
    EXPECT_EQ(h.notifications.shown.size(), 2);  // line 1, not line 2 again
    h.tapi.SetCalls(1, 0);
    tick(1);
    EXPECT_EQ(icon(), TrayIcon::kAlarmIcon) << "line 1 is still in alarm";
    h.tapi.SetCalls(0, 0);
    tick(1);
    EXPECT_EQ(icon(), TrayIcon::kMainIcon);
    EXPECT_EQ(h.notifications.shown.size(), 2);
    h.tapi.SetCalls(1, 1);  // a new call on line 2
    tick(2);
    EXPECT_EQ(h.notifications.shown.size(), 3);
    // An icon put up again while in alarm starts as the alarm variant.
    h.window->DeleteTrayIcon();
    h.window->AddTrayIcon();
    EXPECT_EQ(icon(), TrayIcon::kAlarmIcon);
}

// Single test with the window off: the tray icon stays, the window hides.
TEST(SingleTest, ScansOnceSavesOnceAndStopsTheTimer) {
    WindowHarness h(2);
    h.WriteSettings({"Display Data= 0", "Sample Enabled= 0"});
    frmVastrel& w = h.Start();
    EXPECT_EQ(h.tray.calls, std::vector<DWORD>{NIM_ADD});
    EXPECT_FALSE(w.isVisible() || h.Timer1().isActive());
    EXPECT_EQ(h.Label("lblSample") + h.Label("lblSaveRate"), "Single testSingle test");
    EXPECT_EQ(h.tapi.Count("lineOpen 0"), 1);
    ASSERT_TRUE(h.program.Log().Flush());
    w.mnuViewData_Click();
    EXPECT_EQ(h.desktop.calls.last(), "open " + h.DataLogsFile("Data.log"));
    const QByteArray data = h.ReadFile(h.DataLogsFile("Data.log"));
    EXPECT_EQ(std::tuple(data.count("\r\n 1\t"), data.count("\r\n 2\t")), std::tuple(1, 1));
    EXPECT_TRUE(data.endsWith("\r\n"));
    EXPECT_TRUE(h.Label("lblLastSave").startsWith("Last saved at: "));
    h.windows.SendMessageA(h.program.Hwnd(), WM_CLOSE, 0, 0);  // from outside, to the hidden window
    EXPECT_TRUE(h.program.Unloaded());
}

TEST(Shutdown, ReleasesEverythingAndSavesThePendingRecords) {
    WindowHarness h(2);
    frmVastrel& w = h.Start();
    w.mnuHelpAbout_Click();
    w.mnuOptions_Click();
    h.tapi.log.clear();
    w.mnuExit_Click();
    EXPECT_TRUE(h.program.Unloaded() && !h.Timer1().isActive());
    EXPECT_EQ(h.tapi.log.front().rfind("lineClose ", 0), 0u);  // the last line the scan held
    EXPECT_EQ(std::tuple(h.tapi.Count("lineShutdown"), h.tray.calls.back()),
              std::tuple(1, DWORD{NIM_DELETE}));
    EXPECT_FALSE(RegistryValue(h.registry, kProgramKey, "hKey") ||
                 RegistryValue(h.registry, kSessionKey, "hTapi"));
    EXPECT_TRUE(h.ReadFile(h.DataLogsFile("Data.log")).contains("Line 2,"));
    QTRY_VERIFY_WITH_TIMEOUT(
        w.findChild<frmOptions*>() == nullptr && w.findChild<FrmAbout*>() == nullptr, 2000);
    EXPECT_EQ(h.tapi.Count("lineOpen"), 0);  // no rebuild after the session ended
}

// Minimised, the window goes to the tray; the menu offers Restore only while
// it is hidden; a left click brings back only a minimised window; a genuine
// mouse movement over the window is no tray message.
TEST(Tray, MinimiseRestoreMenuAndMouseMoves) {
    // The x coordinate carries the mouse message.
    EXPECT_EQ(TrayIcon::DecodeMouseCode(7710, false, 15), 514u);
    EXPECT_EQ(TrayIcon::DecodeMouseCode(515, true, 15), 515u);
    EXPECT_EQ(TrayIcon::DecodeMouseCode(7757, false, 15), 517u);
    WindowHarness h(1);
    frmVastrel& w = h.Start();
    h.tray.Notify(WM_RBUTTONUP);
    EXPECT_FALSE(w.findChild<QAction*>("mPopRestore")->isVisible());
    w.findChild<QMenu*>("mnuSystray")->hide();
    w.showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(w.isHidden(), 2000);
    h.tray.Notify(WM_RBUTTONUP);
    EXPECT_TRUE(w.findChild<QAction*>("mPopRestore")->isVisible());
    w.findChild<QMenu*>("mnuSystray")->hide();
    h.tray.Notify(WM_LBUTTONUP);
    EXPECT_TRUE(w.isVisible() && !w.isMinimized());
    w.hide();
    h.tray.Notify(WM_LBUTTONUP);
    EXPECT_TRUE(w.isHidden());
    w.showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(w.isHidden(), 2000);
    w.show();
    w.showMinimized();
    QMouseEvent move(QEvent::MouseMove, QPointF(514, 5), QPointF(514, 5), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w.centralWidget(), &move);
    EXPECT_FALSE(w.findChild<QMenu*>("mnuSystray")->isVisible());
    EXPECT_TRUE(w.isMinimized());
}

// The menu is attached to the icon, so a tray host may show it itself: the
// Restore rule is applied whoever shows it, and a right click on a menu that
// is up already shows no second one. With no notification area a minimised
// window stays minimised, not hidden.
TEST(Tray, TheAttachedMenuAndMinimisingWithoutANotificationArea) {
    WindowHarness h(1);
    frmVastrel& w = h.Start();
    auto* menu = w.findChild<QMenu*>("mnuSystray");
    ASSERT_EQ(h.tray.menu, menu);
    QAction* restore = w.findChild<QAction*>("mPopRestore");
    int shows = 0;
    QObject::connect(menu, &QMenu::aboutToShow, [&] { ++shows; });
    w.hide();
    emit menu->aboutToShow();  // as a StatusNotifierItem host's D-Bus menu does
    EXPECT_TRUE(restore->isVisible());
    h.state.settings.displayData = 0;
    emit menu->aboutToShow();
    EXPECT_FALSE(restore->isVisible());
    h.state.settings.displayData = 1;
    w.show();
    menu->popup(QPoint(100, 100));  // as Qt does on an XEmbed tray, before the message
    h.tray.Notify(WM_RBUTTONUP);
    EXPECT_EQ(shows, 3);
    EXPECT_FALSE(restore->isVisible());
    menu->hide();

    h.tray.areaAvailable = false;
    w.showMinimized();
    QTest::qWait(50);
    EXPECT_TRUE(w.isMinimized() && w.isVisible());
    h.tray.areaAvailable = true;
    w.showNormal();
    w.showMinimized();
    QTRY_VERIFY_WITH_TIMEOUT(w.isHidden(), 2000);
    h.window.reset();
    EXPECT_EQ(h.tray.menu, nullptr) << "detached with its window";
}

// Every value and header fits its column in the font in use, in a window of
// one fixed size (a larger font too).
TEST(Window, ColumnsFitTheirWidestValuesAndTheWindowKeepsOneSize) {
    for (const double points : {9.0, 14.0}) {
        QFont font = QApplication::font();
        font.setPointSizeF(points);
        QApplication::setFont(font);
        WindowHarness h(1);
        h.clock.SetTime(QTime(22, 58, 58));
        frmVastrel& w = h.Start();
        auto* list = w.findChild<QTreeView*>("lvOutLog");
        const QFontMetrics metrics(list->font());
        const std::array<QString, 6> widest = {
            "*999", "Line 1," + QString(15, ' '), "1", " 99 h  59 m  59 s", " 99 h  59 m  59 s",
            "Alarm"};
        for (int c = 0; c < 6; ++c) {
            SCOPED_TRACE(c);
            EXPECT_GE(list->columnWidth(c), metrics.horizontalAdvance(widest[c]));
            EXPECT_GE(list->columnWidth(c), metrics.horizontalAdvance(OutLogModel::kHeaders[c]));
        }
        int columns = 0;
        for (int c = 0; c < 6; ++c) columns += list->columnWidth(c);
        EXPECT_LE(columns, list->viewport()->width());
        for (const char* name : {"lblLastSave", "lblSampleTime"}) {
            auto* label = w.findChild<QLabel*>(name);
            label->setText(QString(name) == "lblLastSave" ? "Last saved at: " + h.clock.TimeText()
                                                          : "Scan time: " + h.clock.TimeText());
            EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(label->text()));
        }
        QApplication::processEvents();
        EXPECT_EQ(w.minimumSize(), w.maximumSize());
        EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
        QApplication::setFont(QFont());
    }
}

}  // namespace
