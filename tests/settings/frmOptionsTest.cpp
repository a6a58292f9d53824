#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTemporaryDir>
#include <QTest>

#include "FakeMessageBoxes.h"
#include "platform/desktop/ShellLinks.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/OptionsHost.h"
#include "settings/SpinScrollBar.h"
#include "settings/StartupShortcut.h"
#include "settings/frmOptions.h"

namespace {

// Every call to the main window, in order; a null label shows as "~".
struct FakeHost : OptionsHost {
    const Settings* settings = nullptr;
    QStringList calls;

    void SetTimer1Enabled(bool on) override { calls << (on ? "timer on" : "timer off"); }
    void SetMainWindowVisible(bool on) override { calls << (on ? "shown" : "hidden"); }
    void SetLabels(const QString& a, const QString& b, const QString& c,
                   const QString& d) override {
        calls << QStringList{a, b, c, d.isNull() ? "~" : d}.join('|');
    }
    void SetSampleLabelVisible(bool on) override { calls << (on ? "sample on" : "sample off"); }
    void AddTrayIcon() override { calls << "tray add"; }
    void DeleteTrayIcon() override { calls << "tray delete"; }
    void BuildLineTable() override {
        calls << "rebuild " + QString::fromStdString(settings->lines);
    }
    void OpenHelp() override { calls << "help"; }
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

// A refused entry (also a negative one or one that rounds up to the limit)
// is replaced by the bar's value; an accepted one moves the bar, and the box
// shows the rounded number unless the bar was already there.
TEST_F(frmOptionsTest, EntriesRoundHalfToEvenRefusedOnesGoBackAndArrowsStopAtTheEnds) {
    Open();
    using Entry = std::tuple<const char*, const char*, const char*, int, const char*, const char*>;
    for (const auto& [box, bar, entry, position, shown, refusal] : {
             Entry{"txtAlarm", "vsbAlarm", "1000", 120, "120", "0 - 999"},
             Entry{"txtAlarm", "vsbAlarm", "999", 999, "999", nullptr},
             Entry{"txtMinutes", "vsb2", "99.5", 0, "0", "0 - 99"},
             Entry{"txtMinutes", "vsb2", "-1", 0, "0", "0 - 99"},
             Entry{"txtMinutes", "vsb2", "98.5", 98, "98", nullptr},
             Entry{"txtSeconds", "vsb3", "60", 1, "1", "0 - 59"},
             Entry{"txtDays", "vsbDays", "&H3E8", 30, "30", "0 - 999"},
             Entry{"txtSaveData", "vsb1", "abc", 0, "0", nullptr},
             Entry{"txtSaveData", "vsb1", "", 0, "", nullptr},
         }) {
        SCOPED_TRACE(std::string(box) + " " + entry);
        messages.shown.clear();
        Text(box)->setText(entry);
        EXPECT_EQ(std::pair(Get<SpinScrollBar>(bar)->Position(), Text(box)->text()),
                  std::pair(position, QString(shown)));
        EXPECT_EQ(messages.shown,
                  refusal ? QStringList{QString("Wrong value: The valid range is ") + refusal}
                          : QStringList());
    }
    // The up arrow adds; both arrows stop at the ends; the box follows the bar.
    Get<QTabBar>("tbsOptions")->setCurrentIndex(1);
    SpinScrollBar* vsb3 = Get<SpinScrollBar>("vsb3");
    const QPoint up(vsb3->width() / 2, 2), down(vsb3->width() / 2, vsb3->height() - 3);
    for (const auto& [from, at, to] : {std::tuple{1, up, 2}, {59, up, 59}, {0, down, 0}}) {
        vsb3->SetPosition(from);
        QTest::mouseClick(vsb3, Qt::LeftButton, {}, at);
        EXPECT_EQ(vsb3->Position(), to) << from;
        EXPECT_EQ(Text("txtSeconds")->text(), QString::number(to)) << from;
    }
    // From the keyboard, in the box: Up, Down and the page keys step the bar
    // by one, as its arrows do; a label and a name tell what the box is.
    QLineEdit* seconds = Text("txtSeconds");
    vsb3->SetPosition(58);
    for (const auto& [key, to] : {std::pair{Qt::Key_Up, 59},
                                  {Qt::Key_Up, 59},
                                  {Qt::Key_PageDown, 58},
                                  {Qt::Key_Down, 57},
                                  {Qt::Key_PageUp, 58}}) {
        QTest::keyClick(seconds, key);
        EXPECT_EQ(std::pair(vsb3->Position(), seconds->text()), std::pair(to, QString::number(to)));
    }
}

TEST_F(frmOptionsTest, LoadingRunsOnlyTheHandlersOfChangedControlsAndAppliesTheEnablingRules) {
    Open();
    EXPECT_EQ(Text("txtAlarm")->text(), " 120");  // equal to the design value
    EXPECT_TRUE(host.calls.isEmpty() && !QFile::exists(LinkPath()));
    EXPECT_FALSE(Enabled("chkKeepLogs", "fra1"));  // appended log
    EXPECT_TRUE(Enabled("txtDays", "fra1"));
    EXPECT_FALSE(Get("fra2")->isVisible() || Get("fra2")->isEnabled());  // first page only
    delete dialog.data();

    settings.loadAtStartup = 1;
    settings.sysTrayEnabled = settings.displayData = settings.sampleEnabled = settings.keepLog = 0;
    settings.alarmEnabled = 2;    // only 1 counts as on
    settings.keepLogDays = 5000;  // hand-edited file
    Open();
    EXPECT_TRUE(QFile::exists(LinkPath()));
    EXPECT_EQ(host.calls, (QStringList{"tray delete", "hidden", "timer off"}));
    EXPECT_EQ(Text("txtDays")->text(), "999");
    EXPECT_TRUE(messages.shown.empty());
    for (const auto& [name, page] :
         {std::pair{"vsb3", "fra2"}, {"vsbDays", "fra1"}, {"lblAlarm", "fra1"}})
        EXPECT_FALSE(Enabled(name, page)) << name;
    // Daily logs: the keep box becomes available, still unchecked, days still off.
    Get<QRadioButton>("optCreate")->setChecked(true);
    EXPECT_TRUE(Enabled("chkKeepLogs", "fra1"));
    EXPECT_FALSE(Enabled("txtDays", "fra1"));
}

// Cancel re-applies the icon box and writes nothing; closing in any way
// unloads once, which rebuilds the table only while data is displayed.
TEST_F(frmOptionsTest, LiveActionsOutlastCancelAndEveryWayOfClosingUnloadsOnce) {
    const QByteArray stored = Ini();
    Open(4);
    Get<QRadioButton>("optClose")->setChecked(true);  // single test: Timer1 stops at once
    Get<QCheckBox>("chkDisplayData")->setChecked(false);
    EXPECT_EQ(settings.displayData, 0);
    Get<QCheckBox>("chkIcon")->setChecked(false);
    Get<QCheckBox>("chkLoad")->setChecked(true);
    QFile entry(LinkPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    EXPECT_TRUE(entry.readAll().contains("/opt vastrel/vastrel\" /min\n"));
    Get<QCheckBox>("chkLoad")->setChecked(false);
    EXPECT_FALSE(QFile::exists(LinkPath()));
    Click("cmdHelp");
    Click("cmdCancel");
    EXPECT_EQ(dialog, nullptr);
    EXPECT_EQ(host.calls,
              (QStringList{"timer off", "hidden", "tray delete", "help", "tray delete"}));
    EXPECT_EQ(Ini(), stored);
    EXPECT_EQ(std::tuple(settings.sampleEnabled, settings.lines), std::tuple(1, std::string()));

    settings.displayData = 1;
    for (auto closeIt : {+[](frmOptions& d) { d.close(); }, +[](frmOptions& d) { d.reject(); }}) {
        host.calls.clear();
        QSignalSpy unloaded(&Open(), &frmOptions::Unloaded);
        closeIt(*dialog);
        dialog->close();  // again before the deferred delete: still one unload
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(std::tuple(dialog.data(), unloaded.count()), std::tuple(nullptr, 1));
        EXPECT_EQ(host.calls, QStringList{"rebuild "});
    }
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
    EXPECT_EQ(host.calls, (QStringList{"timer on", "sample on",
                                       "Scan rate: 0 min 1 secs|Scan time: 10:11:12|"
                                       "Save every 720 min|~",
                                       "rebuild 1,2,"}));
    EXPECT_EQ(settings.closeLineTest, 0);

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
    host.calls.clear();
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
    EXPECT_EQ(host.calls, (QStringList{"timer off", "Scanning disabled|||"}));
    // Each control shows what it stored.
    Open();
    Click("cmdOK");
    EXPECT_EQ(Ini(), changed);
}

}  // namespace
