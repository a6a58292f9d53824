#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <optional>

#include "FakeMessageBoxes.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/OptionsHost.h"
#include "settings/SpinScrollBar.h"
#include "settings/StartupShortcut.h"
#include "settings/frmOptions.h"

namespace {

struct FakeHost : OptionsHost {
    const Settings* settings = nullptr;
    std::optional<bool> timer1, mainVisible, sampleLabelVisible;
    int timerCalls = 0, trayAdds = 0, trayDeletes = 0, helpOpens = 0;
    std::optional<std::array<QString, 4>> labels;
    std::vector<std::string> rebuildsWithLines;

    void SetTimer1Enabled(bool on) override { timer1 = on, ++timerCalls; }
    void SetMainWindowVisible(bool visible) override { mainVisible = visible; }
    void SetLabels(const QString& a, const QString& b, const QString& c,
                   const QString& d) override {
        labels = {a, b, c, d};
    }
    void SetSampleLabelVisible(bool visible) override { sampleLabelVisible = visible; }
    void AddTrayIcon() override { ++trayAdds; }
    void DeleteTrayIcon() override { ++trayDeletes; }
    void BuildLineTable() override { rebuildsWithLines.push_back(settings->lines); }
    void OpenHelp() override { ++helpOpens; }
    QString CurrentTimeText() const override { return "10:11:12"; }
};

class frmOptionsTest : public ::testing::Test {
protected:
    void SetUp() override {
        QDir().mkpath(configDir);
        file.PrepareSettingsFile();
        file.LoadSettings(settings);
        host.settings = &settings;
    }
    void TearDown() override { delete dialog.data(); }

    frmOptions& Open(unsigned devices = 0) {
        dialog = new frmOptions(settings, file, host, messages, shortcut, devices);
        dialog->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(dialog));
        return *dialog;
    }
    template <typename W = QWidget>
    W* Get(const char* name) {
        W* widget = dialog->findChild<W*>(name);
        if (!widget) ADD_FAILURE() << "no widget " << name;
        return widget;
    }
    QLineEdit* Text(const char* name) { return Get<QLineEdit>(name); }
    bool Enabled(const char* name, const char* page) { return Get(name)->isEnabledTo(Get(page)); }
    void Click(const char* button) {
        Get<QPushButton>(button)->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    QByteArray Ini() const {
        QFile ini(file.FilePath());
        return ini.open(QIODevice::ReadOnly) ? ini.readAll() : QByteArray();
    }
    QString LinkPath() const {
        return links.EntryPath(StartupShortcut::kFolder, StartupShortcut::kLinkName);
    }

    QTemporaryDir root;
    QString configDir = root.path() + "/config";
    platform::PrivateProfile profile{configDir};
    SettingsFile file{profile, configDir};
    platform::ShellLinks links{configDir + "/autostart"};
    StartupShortcut shortcut{links, root.path() + "/opt vastrel"};
    Settings settings;
    FakeHost host;
    FakeMessageBoxes messages;
    QPointer<frmOptions> dialog;
};

TEST_F(frmOptionsTest, EntriesRoundHalfToEvenRefusedOnesGoBackAndArrowsStopAtTheEnds) {
    Open();
    // A negative number or one that rounds up to the limit is refused too.
    using Entry = std::tuple<const char*, const char*, const char*>;
    for (const auto& [box, entry, range] : std::vector<Entry>{{"txtAlarm", "1000", "0 - 999"},
                                                              {"txtMinutes", "99.5", "0 - 99"},
                                                              {"txtMinutes", "-1", "0 - 99"},
                                                              {"txtSeconds", "60", "0 - 59"},
                                                              {"txtSaveData", "1000", "0 - 999"},
                                                              {"txtDays", "&H3E8", "0 - 999"}}) {
        messages.shown.clear();
        const QString before = Text(box)->text();
        Text(box)->setText(entry);
        EXPECT_EQ(messages.shown, QStringList{QString("Wrong value: The valid range is ") + range})
            << box << " " << entry;
        EXPECT_EQ(Text(box)->text().trimmed(), before.trimmed()) << box << " " << entry;
    }
    messages.shown.clear();
    // Accepted: the bar takes the rounded number and the box shows it, unless
    // the bar was already there ("" after "abc" stays as typed).
    for (const auto& [box, bar, entry, position, shown] :
         std::vector<std::tuple<const char*, const char*, const char*, int, const char*>>{
             {"txtAlarm", "vsbAlarm", "999", 999, "999"},
             {"txtMinutes", "vsb2", "98.5", 98, "98"},
             {"txtSaveData", "vsb1", "abc", 0, "0"},
             {"txtSaveData", "vsb1", "", 0, ""}}) {
        Text(box)->setText(entry);
        EXPECT_EQ(Get<SpinScrollBar>(bar)->Position(), position) << box << " " << entry;
        EXPECT_EQ(Text(box)->text(), shown) << box << " " << entry;
    }
    EXPECT_TRUE(messages.shown.empty());
    // The up arrow adds; both arrows stop at the ends; the box follows the bar.
    Get<QTabBar>("tbsOptions")->setCurrentIndex(1);  // only the chosen page is shown and enabled
    EXPECT_TRUE(Get("fra2")->isVisible() && Get("fra2")->isEnabled());
    EXPECT_FALSE(Get("fra1")->isVisible() || Get("fra1")->isEnabled());
    SpinScrollBar* vsb3 = Get<SpinScrollBar>("vsb3");
    const QPoint up(vsb3->width() / 2, 2), down(vsb3->width() / 2, vsb3->height() - 3);
    for (const auto& [from, at, to] : {std::tuple{1, up, 2}, {59, up, 59}, {0, down, 0}}) {
        vsb3->SetPosition(from);
        QTest::mouseClick(vsb3, Qt::LeftButton, {}, at);
        EXPECT_EQ(vsb3->Position(), to) << from;
        EXPECT_EQ(Text("txtSeconds")->text(), QString::number(to)) << from;
    }
}

TEST_F(frmOptionsTest, LoadingRunsOnlyTheHandlersOfChangedControlsAndAppliesTheEnablingRules) {
    Open();
    EXPECT_EQ(Text("txtAlarm")->text(), " 120");  // equal to the design value
    EXPECT_FALSE(host.timer1 || host.mainVisible || host.trayAdds || host.trayDeletes ||
                 QFile::exists(LinkPath()));
    EXPECT_FALSE(Enabled("chkKeepLogs", "fra1"));  // appended log
    EXPECT_TRUE(Enabled("txtDays", "fra1"));
    EXPECT_FALSE(Get("fra2")->isVisible() || Get("fra2")->isEnabled());  // first page first
    delete dialog.data();

    settings.loadAtStartup = 1;
    settings.sysTrayEnabled = settings.displayData = settings.sampleEnabled = settings.keepLog = 0;
    settings.alarmEnabled = 2;    // only 1 counts as on
    settings.keepLogDays = 5000;  // hand-edited file
    Open();
    EXPECT_TRUE(QFile::exists(LinkPath()));
    EXPECT_EQ(std::tuple(host.trayDeletes, host.mainVisible, host.timer1),
              std::tuple(1, false, false));
    EXPECT_EQ(Text("txtDays")->text(), "999");
    EXPECT_TRUE(messages.shown.empty());
    for (const char* name :
         {"txtMinutes", "vsb2", "lblMinutes", "txtSeconds", "vsb3", "lblSeconds"})
        EXPECT_FALSE(Enabled(name, "fra2")) << name;
    for (const char* name : {"txtDays", "vsbDays", "lblDays", "txtAlarm", "vsbAlarm", "lblAlarm"})
        EXPECT_FALSE(Enabled(name, "fra1")) << name;
    // Daily logs: the keep box becomes available, still unchecked, days still off.
    Get<QRadioButton>("optCreate")->setChecked(true);
    EXPECT_TRUE(Enabled("chkKeepLogs", "fra1"));
    EXPECT_FALSE(Enabled("txtDays", "fra1"));
}

TEST_F(frmOptionsTest, LiveActionsOutlastCancel) {
    const QByteArray stored = Ini();
    Open(4);
    Get<QRadioButton>("optClose")->setChecked(true);  // single test: Timer1 stops at once
    EXPECT_EQ(host.timer1, false);
    Get<QCheckBox>("chkDisplayData")->setChecked(false);
    EXPECT_EQ(std::tuple(host.mainVisible, settings.displayData), std::tuple(false, 0));
    Get<QCheckBox>("chkIcon")->setChecked(false);
    EXPECT_EQ(host.trayDeletes, 1);
    Get<QCheckBox>("chkLoad")->setChecked(true);
    QFile entry(LinkPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains(
        ("Exec=\"" + root.path() + "/opt vastrel/vastrel\" /min\n").toUtf8()));
    Get<QCheckBox>("chkLoad")->setChecked(false);
    EXPECT_FALSE(QFile::exists(LinkPath()));
    Click("cmdHelp");
    EXPECT_EQ(host.helpOpens, 1);

    const int timerCalls = host.timerCalls;
    Click("cmdCancel");
    EXPECT_EQ(dialog, nullptr);
    EXPECT_EQ(std::tuple(host.timerCalls, host.trayDeletes),
              std::tuple(timerCalls, 2));  // box re-applied
    EXPECT_EQ(Ini(), stored);
    EXPECT_EQ(std::tuple(settings.sampleEnabled, settings.displayData, settings.lines),
              std::tuple(1, 0, std::string()));
    EXPECT_TRUE(host.rebuildsWithLines.empty());
}

TEST_F(frmOptionsTest, EveryWayOfClosingUnloadsOnce) {
    for (auto closeIt : {+[](frmOptions& d) { d.close(); }, +[](frmOptions& d) { d.reject(); }}) {
        QSignalSpy unloaded(&Open(), &frmOptions::Unloaded);
        closeIt(*dialog);
        dialog->close();  // again before the deferred delete: still one unload
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(std::tuple(dialog.data(), unloaded.count()), std::tuple(nullptr, 1));
    }
    EXPECT_EQ(host.rebuildsWithLines.size(), 2u);
}

TEST_F(frmOptionsTest, OkWritesEveryControlInKeyOrderAndSetsTheScanLabels) {
    const QByteArray head = QByteArray(SettingsFile::kHeader) + "\r\n\r\n[Preferences]\r\n";
    Open(2);
    Click("cmdOK");
    EXPECT_EQ(
        Ini(),
        head +
            "Load @ startup= 0\r\nSysTray Enabled= 1\r\nDisplay Data= 1\r\nPlay Sound= 0\r\n"
            "Sample Enabled= 1\r\nSave Data= 720\r\nInterval Minutes= 0\r\nInterval Seconds= 1\r\n"
            "Append Data= 1\r\nKeep Log= 1\r\nKeepLog Days= 30\r\nAlarm= 1\r\nAlarm Limit= 120\r\n"
            "Lines=1,2,\r\n");
    EXPECT_EQ(std::tuple(host.timer1, host.sampleLabelVisible, settings.closeLineTest),
              std::tuple(true, true, 0));
    ASSERT_TRUE(host.labels);
    EXPECT_EQ(*host.labels, (std::array<QString, 4>{"Scan rate: 0 min 1 secs",
                                                    "Scan time: 10:11:12", "Save every 720 min"}));
    EXPECT_TRUE((*host.labels)[3].isNull());
    EXPECT_EQ(host.rebuildsWithLines, std::vector<std::string>{"1,2,"});

    // Every control away from its default: each key takes its own control.
    Open();
    for (const char* box :
         {"chkIcon", "chkDisplayData", "chkKeepLogs", "chkAlarm", "chkLoad", "chkPlaySound"})
        Get<QCheckBox>(box)->toggle();
    for (const char* opt : {"optCreate", "optClose"}) Get<QRadioButton>(opt)->setChecked(true);
    for (const auto& [box, text] : {std::pair{"txtSaveData", "15"},
                                    {"txtMinutes", "2"},
                                    {"txtSeconds", "30"},
                                    {"txtDays", "7"},
                                    {"txtAlarm", "45.5"},
                                    {"txtLines", "3,"}})
        Text(box)->setText(text);
    Click("cmdOK");
    const QByteArray changed = Ini();
    EXPECT_EQ(
        changed,
        head +
            "Load @ startup= 1\r\nSysTray Enabled= 0\r\nDisplay Data= 0\r\nPlay Sound= 1\r\n"
            "Sample Enabled= 0\r\nSave Data=15\r\nInterval Minutes=2\r\nInterval Seconds=30\r\n"
            "Append Data= 0\r\nKeep Log= 0\r\nKeepLog Days=7\r\nAlarm= 0\r\nAlarm Limit=46\r\n"
            "Lines=3,\r\n");
    EXPECT_EQ(std::tuple(settings.playSound, settings.lines, settings.intervalSeconds,
                         settings.closeLineTest),
              std::tuple(1, std::string("3,"), 30, 1));
    EXPECT_EQ((*host.labels)[0], "Scanning disabled");
    for (int i = 1; i < 4; ++i)
        EXPECT_TRUE(!(*host.labels)[i].isNull() && (*host.labels)[i].isEmpty()) << i;
    // Each control shows what it stored.
    Open();
    Click("cmdOK");
    EXPECT_EQ(Ini(), changed);
}

}  // namespace
