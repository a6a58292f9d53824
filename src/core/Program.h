#pragma once
#include <string>
#include <vector>

#include "core/AppState.h"
#include "core/LineScanner.h"
#include "core/LineTimes.h"
#include "core/OutLogModel.h"
#include "core/Services.h"
#include "core/SingleInstance.h"
#include "datalog/DataLog.h"
#include "settings/SettingsFile.h"
#include "settings/StartupShortcut.h"
#include "shell/TrayIcon.h"
#include "shell/WindowHook.h"
#include "telephony/CallBacks.h"
#include "telephony/IncomingCallLog.h"
#include "telephony/Tapi.h"

// The program's modules and their state, built from the platform services:
// start-up, the line table, the scan and shut-down, with or without a main
// window. The window shows what this does and asks it for the rest.
class Program {
public:
    explicit Program(Services& services);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // What a close request and a second start's hand-over ask of the main
    // window. Without a window: a close unloads, a rebuild rebuilds and scans.
    void SetWindowRequests(WindowHook::Handlers requests);

    // Start-up up to the point where the window would show. False when another
    // copy runs: the command was handed over (HandOverError says whether the
    // running copy took it) and this process must end.
    bool StartUp(const std::string& commandText);
    platform::LONG HandOverError() const { return handOverError_; }

    // Starts the day's line table over. False when there are no lines.
    bool BuildLineTable();
    // The rows of a freshly built table: number and name of every device.
    std::vector<OutLogModel::Row> LineRows() const;
    // Whether a timer tick at this moment is due to scan.
    bool ScanIsDue() const;
    // One scan into rows; the tray icon shows the alarm variant while a row
    // is in alarm. False for a single test, which has now been saved and
    // needs no further tick.
    bool TestLines(std::vector<OutLogModel::Row>& rows);
    void SaveDataLog();
    // The desktop notification of a call reaching the alarm limit: the line's
    // number and name and the call's time online.
    static QString AlarmSummary(std::size_t device);
    static QString AlarmBody(const std::string& nameField, float timeOnline);
    // Shut-down: the session ends, pending records are saved, the instance
    // withdrawn. Runs once.
    void Unload();
    bool Unloaded() const { return unloaded_; }

    AppState& State() { return state_; }
    Services& Platform() { return services_; }
    platform::HWND Hwnd() const { return hwnd_; }
    DataLog& Log() { return dataLog_; }
    TrayIcon& Tray() { return trayIcon_; }
    SettingsFile& SettingsStore() { return settingsFile_; }
    StartupShortcut& Shortcut() { return shortcut_; }

    // The length of a timer tick: a tick early by less than half of it
    // still scans.
    static constexpr int kTickMs = 1000;
    // How long closing waits for the last save before giving up on the disk.
    static constexpr int kShutdownSaveMs = 10000;

private:
    void StartUpFirstInstance();
    QString DataLogsDir() const;
    void CloseRequested();
    void RebuildRequested();
    void TellAlarm(std::size_t device);

    Services& services_;
    AppState state_;
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
    WindowHook::Handlers requests_;
    platform::LONG handOverError_ = platform::ERROR_SUCCESS;
    bool instanceAnnounced_ = false;
    bool unloaded_ = false;
};
