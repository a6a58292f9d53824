#pragma once
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "core/AppState.h"
#include "core/LineScanner.h"
#include "core/LineTimes.h"
#include "core/OutLogModel.h"
#include "core/Services.h"
#include "core/SingleInstance.h"
#include "datalog/DataLog.h"
#include "settings/OptionsHost.h"
#include "settings/SettingsFile.h"
#include "settings/StartupShortcut.h"
#include "settings/frmOptions.h"
#include "shell/FrmAbout.h"
#include "shell/TrayIcon.h"
#include "shell/WindowHook.h"
#include "telephony/CallBacks.h"
#include "telephony/IncomingCallLog.h"
#include "telephony/Tapi.h"

class QMenu;
class QAction;

// The main window: start-up, shut-down, the scan cycle and everything the
// operator sees.
class frmVastrel : public QMainWindow, public OptionsHost {
    Q_OBJECT
public:
    frmVastrel(Services& services, AppState& state, QWidget* parent = nullptr);
    ~frmVastrel() override;

    // The whole start-up. False when another copy runs: the command was
    // handed over and this process must end without showing anything.
    bool Form_Load(const std::string& commandText);
    void Form_Unload();
    void Form_MouseMove(int button, int shift, float x, float y);
    void BringToFront(QWidget* window);

    void Timer1_Timer();
    void TestLines();
    void BuildLineTable() override;
    void SaveDataLog();

    void mnuPrint_Click();
    void mnuSave_Click();
    void mnuExit_Click();
    void mnuViewData_Click();
    void mnuOptions_Click();
    void mnuHelpTop_Click();
    void mnuHelpAbout_Click();
    void mPopRestore_Click();
    void mPopOptions_Click();
    void mPopExit_Click();

    // OptionsHost
    void SetTimer1Enabled(bool enabled) override;
    void SetMainWindowVisible(bool visible) override;
    void SetLabels(const QString& sample, const QString& sampleTime, const QString& saveRate,
                   const QString& lastSave) override;
    void SetSampleLabelVisible(bool visible) override;
    void AddTrayIcon() override;
    void DeleteTrayIcon() override;
    void OpenHelp() override;
    QString CurrentTimeText() const override;

    // For tests and the tray.
    platform::HWND Hwnd() const { return hwnd_; }
    const OutLogModel& Rows() const { return model_; }
    QTimer& Timer1() { return timer1_; }
    QLabel* lblSaveRate() const { return lblSaveRate_; }
    QLabel* lblLastSave() const { return lblLastSave_; }
    QLabel* lblSample() const { return lblSample_; }
    QLabel* lblSampleTime() const { return lblSampleTime_; }
    QMenu* mnuSystray() const { return mnuSystray_; }
    QAction* mPopRestore() const { return mPopRestore_; }
    frmOptions* Options() const { return options_; }
    FrmAbout* About() const { return about_; }
    DataLog& Log() { return dataLog_; }
    bool Unloaded() const { return unloaded_; }
    // After a Form_Load that handed over: ERROR_SUCCESS, or why the running
    // copy did not take the command.
    platform::LONG HandOverError() const { return handOverError_; }

    static constexpr float kTwipsPerPixel = 15;
    static constexpr int kTickMs = 1000;
    // How long closing waits for the last save before giving up on the disk.
    static constexpr int kShutdownSaveMs = 10000;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    void StartUpFirstInstance(SingleInstance& instance);
    bool RunCommandText();
    void PutUpTrayIcon();
    void SetBuildLabels();
    void BuildRows();
    QString DataLogsDir();
    void OnTrayMessage(platform::UINT mouseCode, QPoint globalPos);
    void Form_Resize();
    void UnloadOtherWindows();

    Services& services_;
    AppState& state_;
    platform::HWND hwnd_ = 0;
    TrayIcon trayIcon_;
    Tapi tapi_;
    IncomingCallLog incomingLog_;
    CallBacks callBacks_;
    SettingsFile settingsFile_;
    StartupShortcut shortcut_;
    LineTimes lineTimes_;
    DataLog dataLog_;
    LineScanner scanner_;
    WindowHook hook_;
    SingleInstance instance_;
    platform::LONG handOverError_ = platform::ERROR_SUCCESS;

    OutLogModel model_;
    std::vector<OutLogModel::Row> scanRows_;
    QTreeView* lvOutLog_ = nullptr;
    QLabel* lblSaveRate_ = nullptr;
    QLabel* lblLastSave_ = nullptr;
    QLabel* lblSample_ = nullptr;
    QLabel* lblSampleTime_ = nullptr;
    QMenu* mnuSystray_ = nullptr;
    QAction* mPopRestore_ = nullptr;
    QTimer timer1_;
    QPointer<frmOptions> options_;
    QPointer<FrmAbout> about_;
    bool instanceAnnounced_ = false;
    bool unloading_ = false;
    bool unloaded_ = false;
    bool firstShow_ = true;
    QPoint trayPointer_;
};
