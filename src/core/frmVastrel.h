#pragma once
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <memory>

#include "core/OutLogModel.h"
#include "core/Program.h"
#include "settings/OptionsHost.h"
#include "settings/frmOptions.h"
#include "shell/FrmAbout.h"

class QMenu;
class QAction;

// The main window: everything the operator sees of the program, whose
// start-up, scan and shut-down it drives with Timer1 and its menus.
class frmVastrel : public QMainWindow, public OptionsHost {
    Q_OBJECT
public:
    explicit frmVastrel(Program& program, QWidget* parent = nullptr);
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

    static constexpr float kTwipsPerPixel = 15;

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void SizeColumns();
    void CreateMenus();
    bool RunCommandText();
    void PutUpTrayIcon();
    void SetBuildLabels();
    void OnTrayMessage(platform::UINT mouseCode, QPoint globalPos);
    void Form_Resize();
    void UnloadOtherWindows();

    Program& program_;
    Services& services_;
    AppState& state_;

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
    bool firstShow_ = true;
    QPoint trayPointer_;
};
