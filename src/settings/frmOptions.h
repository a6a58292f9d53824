#pragma once
#include <QDialog>

#include "settings/Settings.h"
#include "settings/SettingsFile.h"

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabBar;
class OptionsHost;
class SpinScrollBar;
class StartupShortcut;

namespace platform {
class MessageBoxes;
}

// The Options dialog: modeless, created on each opening and destroyed when it
// closes. Some boxes act on the running program the moment they change (main
// window, tray icon, start-up shortcut, scan timer); the rest reach Settings
// and vastrel.ini only through OK.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    // Loads the controls from settings straight away, with every effect that
    // loading has (see Form_Load).
    frmOptions(Settings& settings, SettingsFile& file, OptionsHost& host,
               platform::MessageBoxes& messages, StartupShortcut& shortcut, unsigned numLineDevices,
               QWidget* parent = nullptr);

    // Every way of closing (OK, Cancel, close box, Esc) ends up in close(),
    // so Form_Unload runs exactly once.
    void done(int result) override;

signals:
    // Form_Unload has run; the dialog is about to be destroyed. The main
    // window creates a new one on the next opening.
    void Unloaded();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // A text box and its spin scroll bar; the bar holds the last accepted value.
    struct NumberBox {
        QLineEdit* text = nullptr;
        SpinScrollBar* bar = nullptr;
    };

    void CreateControls();
    QFrame* CreateGeneralPage();
    QFrame* CreateAdvancedPage();
    void CreateButtons();
    NumberBox CreateNumberBox(QWidget* parent, const char* textName, const char* barName, int high,
                              int initial, int x, int y);
    void ConnectHandlers();
    void ConnectNumberBox(const NumberBox& box);

    void Form_Load();
    void Form_Unload();
    void tbsOptions_Click();
    void chkAlarm_Click();
    void chkKeepLogs_Click();
    void optAppend_Click();
    void optSample_Click();
    void chkDisplayData_Click();
    void chkIcon_Click();
    void chkLoad_Click();
    void NumberText_Change(const NumberBox& box);
    void NumberBar_Change(const NumberBox& box);
    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdHelp_Click();
    void ShowRangeMessage(int low, int high);

    void ProposeLines();
    void ApplyScanLabels();

    Settings& settings_;
    SettingsFile& file_;
    OptionsHost& host_;
    platform::MessageBoxes& messages_;
    StartupShortcut& shortcut_;
    unsigned numLineDevices_;
    bool unloaded_ = false;

    QTabBar* tbsOptions_ = nullptr;
    QFrame* fra_[2] = {nullptr, nullptr};

    QGroupBox* fraOptions_ = nullptr;
    QCheckBox* chkPlaySound_ = nullptr;
    QCheckBox* chkIcon_ = nullptr;
    QCheckBox* chkLoad_ = nullptr;
    QCheckBox* chkDisplayData_ = nullptr;
    NumberBox saveData_;  // txtSaveData, vsb1
    QRadioButton* optAppend_ = nullptr;
    QRadioButton* optCreate_ = nullptr;
    QCheckBox* chkKeepLogs_ = nullptr;
    NumberBox days_;  // txtDays, vsbDays
    QLabel* lblDays_ = nullptr;
    QCheckBox* chkAlarm_ = nullptr;
    NumberBox alarm_;  // txtAlarm, vsbAlarm
    QLabel* lblAlarm_ = nullptr;

    QLineEdit* txtLines_ = nullptr;
    QGroupBox* FraRedial_ = nullptr;
    QRadioButton* optSample_ = nullptr;
    QRadioButton* optClose_ = nullptr;
    NumberBox minutes_;  // txtMinutes, vsb2
    QLabel* lblMinutes_ = nullptr;
    NumberBox seconds_;  // txtSeconds, vsb3
    QLabel* lblSeconds_ = nullptr;

    QPushButton* cmdOK_ = nullptr;
    QPushButton* cmdCancel_ = nullptr;
    QPushButton* cmdHelp_ = nullptr;
};
