#pragma once
#include <string>

#include <QString>

#include "platform/desktop/NotifyIcon.h"
#include "settings/Settings.h"
#include "telephony/LineTable.h"
#include "telephony/TapiSession.h"

// The program's module-level state, owned by the application object and
// handed by reference to the windows and modules that use it.
struct AppState {
    Settings settings;
    TapiSession session;
    LineTable lineTable;
    std::string crLf;
    QString windowsDir;
    platform::HWND mainHwnd = 0;
    double lastScanTime = 0;
    double lastSaveTime = 0;
    platform::NOTIFYICONDATA trayIconData;
    // The command text: from the command line, or handed over by a second start.
    std::string copyDataText;
    bool testRequested = false;
    std::string callerName;
    std::string callerNumber;
};
