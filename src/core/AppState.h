#pragma once
#include <string>

#include <QString>

#include "platform/desktop/NotifyIcon.h"
#include "settings/Settings.h"
#include "shell/CommandText.h"
#include "telephony/LineTable.h"
#include "telephony/TapiSession.h"

// The program's module-level state, owned by the application object and
// handed by reference to the windows and modules that use it.
struct AppState {
    Settings settings;
    TapiSession session;
    LineTable lineTable;
    double lastScanTime = 0;
    double lastSaveTime = 0;
    platform::NOTIFYICONDATA trayIconData;
    CommandText command;
};
