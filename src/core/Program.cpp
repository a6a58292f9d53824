#include "Program.h"

#include <algorithm>

#include "platform/clock/Clock.h"
#include "platform/desktop/DesktopNotifications.h"
#include "platform/file/RegularFile.h"

using namespace platform;

Program::Program(Services& services)
    : services_(services),
      trayIcon_(services.notifyIcon, state_.trayIconData),
      tapi_(services.tapi, services.registry, state_.session, trayIcon_),
      incomingLog_(tapi_, state_.session, services.clock, services.paths.dataDir + "/In.log"),
      callBacks_(tapi_, state_.session, state_.command, incomingLog_),
      settingsFile_(services.profile, services.paths.settingsDir),
      shortcut_(services.shellLinks, services.paths.programDir),
      lineTimes_(state_.lineTable, state_.settings, services.clock, services.sound),
      dataLog_(state_.settings, services.clock, services.paths.dataDir + "/DataLogs",
               state_.lineTable, state_.lastSaveTime),
      scanner_(state_, services.tapi, lineTimes_, dataLog_.Text(), services.clock),
      hook_(services.windows, state_.command,
            {[this] { CloseRequested(); },
             [this] {
                 if (requests_.showOptionsInFront) requests_.showOptionsInFront();
             },
             [this] { RebuildRequested(); }}),
      instance_(services.registry, services.windows, state_.session) {
    lineTimes_.OnAlarmEntered([this](std::size_t device) { TellAlarm(device); });
    hwnd_ = services.windows.CreateWindowHandle();
    // The default procedure closes the window, as the platform's own does.
    services.windows.SetWindowLongA(hwnd_, GWL_WNDPROC, [this](HWND, UINT msg, WPARAM, LPARAM) {
        if (msg == WM_CLOSE) CloseRequested();
        return LRESULT{0};
    });
}

Program::~Program() {
    services_.windows.DestroyWindowHandle(hwnd_);
}

void Program::SetWindowRequests(WindowHook::Handlers requests) {
    requests_ = std::move(requests);
}

void Program::CloseRequested() {
    if (requests_.unloadMainWindow) {
        requests_.unloadMainWindow();
    } else {
        Unload();
    }
}

void Program::RebuildRequested() {
    if (requests_.buildLineTable) {
        requests_.buildLineTable();
    } else if (!unloaded_ && BuildLineTable()) {
        std::vector<OutLogModel::Row> rows;
        TestLines(rows);
    }
}

// ---- start-up ---------------------------------------------------------------

bool Program::StartUp(const std::string& commandText) {
    // First of all, so that a SIGTERM arriving while start-up writes the
    // registry still ends in a clean shut-down rather than the default death.
    services_.windows.RouteTerminationSignalsTo(hwnd_);
    state_.command.text = commandText;
    if (!state_.command.text.empty() && state_.command.text[0] == '/')
        state_.command.text.erase(0, 1);
    const bool keyOpen = instance_.OpenKey();
    // Without the registry the running copy's handle cannot be read, but
    // this start must still not become a second full copy: it hands over
    // what it can, which fails, and says so.
    if (instance_.AnotherIsRunning()) {
        handOverError_ = instance_.HandOver(hwnd_, state_.command.text);
        return false;
    }
    if (keyOpen) StartUpFirstInstance();
    settingsFile_.PrepareSettingsFile();
    tapi_.InitializeTapi([this](DWORD h, DWORD m, DWORD_PTR i, DWORD_PTR p1, DWORD_PTR p2,
                                DWORD_PTR p3) { callBacks_.LineCallback(h, m, i, p1, p2, p3); });
    tapi_.GetLineCaps(0);
    state_.lastSaveTime = services_.clock.SecondsSinceMidnight();
    settingsFile_.LoadSettings(state_.settings);
    return true;
}

void Program::StartUpFirstInstance() {
    if (auto stale = instance_.StaleSessionHandle()) {
        state_.session.hLineApp = *stale;
        tapi_.ShutdownTapi();
    }
    incomingLog_.CutTornTail();
    hook_.Hook(hwnd_);
    instance_.Announce(hwnd_);
    instanceAnnounced_ = true;
}

// ---- the line table ---------------------------------------------------------

QString Program::DataLogsDir() const {
    if (const QString found = DataLog::FindFolder(services_.paths.dataDir); !found.isEmpty())
        return found;
    const QString made = services_.paths.dataDir + "/DataLogs";
    RegularFile::MakeFolders(made);
    return made;
}

bool Program::BuildLineTable() {
    const DWORD devices = state_.session.numLineDevices;
    if (devices == 0) return false;
    state_.lineTable.Reset(devices);
    dataLog_.SetDir(DataLogsDir());
    dataLog_.StartDay();
    if (state_.settings.lines.empty()) state_.settings.lines = LineTable::AllLines(devices);
    for (DWORD d = 0; d < devices; ++d)
        state_.lineTable.lineNames[d] = LineTable::NameField(Tapi::LineName(tapi_.GetLineCaps(d)));
    state_.lastScanTime = services_.clock.SecondsSinceMidnight();
    return true;
}

std::vector<OutLogModel::Row> Program::LineRows() const {
    const DWORD devices = state_.session.numLineDevices;
    std::vector<OutLogModel::Row> rows(devices);
    for (DWORD d = 0; d < devices; ++d) {
        rows[d][0] = std::to_string(d + 1);
        rows[d][1] = state_.lineTable.lineNames[d];
    }
    return rows;
}

// ---- the scan ---------------------------------------------------------------

bool Program::ScanIsDue() const {
    // A tick may come a little early; one that is early by less than half a
    // tick still scans, or the scan would wait a whole interval more.
    const double now = services_.clock.SecondsSinceMidnight();
    const double due = state_.settings.scanIntervalSeconds - kTickMs / 2000.0;
    return now - state_.lastScanTime >= due || state_.lastScanTime - now >= due;
}

bool Program::TestLines(std::vector<OutLogModel::Row>& rows) {
    const bool sampling = state_.settings.sampleEnabled == 1;
    if (sampling) dataLog_.CompleteMissedRollover();
    state_.lastScanTime = services_.clock.SecondsSinceMidnight();
    scanner_.ScanWatchedLines(rows);
    trayIcon_.SetAlarm(std::any_of(rows.begin(), rows.end(),
                                   [](const OutLogModel::Row& row) { return row[5] == "Alarm"; }));
    if (sampling) {
        dataLog_.CheckSaveSchedule();
    } else {
        SaveDataLog();
    }
    return sampling;
}

void Program::SaveDataLog() {
    dataLog_.SaveDataLog();
}

// ---- the alarm's notification -----------------------------------------------

void Program::TellAlarm(std::size_t d) {
    const LineTable& table = state_.lineTable;
    services_.notifications.Notify(AlarmSummary(d),
                                   AlarmBody(table.lineNames[d], table.timeOnline[d]));
}

QString Program::AlarmSummary(std::size_t d) {
    return QString("Vastrel: line %1 in alarm").arg(d + 1);
}

QString Program::AlarmBody(const std::string& nameField, float timeOnline) {
    // The name column's comma and padding are for the list, not for a sentence.
    QString name = QString::fromUtf8(nameField.data(), qsizetype(nameField.size())).trimmed();
    if (name.endsWith(',')) name.chop(1);
    const QString online = QString::fromLatin1(LineTimes::FormatDuration(timeOnline)).simplified();
    return QString("%1 \u2014 online %2").arg(name.trimmed(), online);
}

// ---- shut-down --------------------------------------------------------------

void Program::Unload() {
    if (unloaded_) return;
    unloaded_ = true;
    hook_.Unhook();
    tapi_.CloseLine();
    tapi_.ShutdownTapi();
    // Records gathered since the last save would otherwise be lost.
    SaveDataLog();
    dataLog_.Flush(kShutdownSaveMs);
    incomingLog_.WaitWritten(kShutdownSaveMs);
    trayIcon_.Delete();
    if (instanceAnnounced_) instance_.Withdraw();
}
