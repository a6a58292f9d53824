#pragma once
#include <QString>
#include <string>

#include "settings/Settings.h"

namespace platform {
class PrivateProfile;
}

// What the Options dialog's controls hold when OK is pressed: the source of
// every value SaveSettings stores and writes.
struct SettingsControls {
    bool chkLoad = false;
    bool chkIcon = false;
    bool chkDisplayData = false;
    bool chkPlaySound = false;
    bool optSample = false;
    bool optAppend = false;
    bool chkKeepLogs = false;
    bool chkAlarm = false;
    std::string txtSaveData, txtMinutes, txtSeconds, txtDays, txtAlarm, txtLines;
    int vsb1 = 0, vsb2 = 0, vsb3 = 0, vsbDays = 0, vsbAlarm = 0;
};

// vastrel.ini, section "Preferences": preparing, reading and writing it.
class SettingsFile {
public:
    static constexpr const char* kFileName = "vastrel.ini";
    static constexpr const char* kSection = "Preferences";
    static constexpr const char* kHeader =
        "The following lines are required by Vastrel - do NOT edit or remove";

    SettingsFile(platform::PrivateProfile& profile, QString windowsDir);

    // The file exists and begins with the header line; a missing, empty or
    // wrongly headed file is (re)written as the header and one empty line.
    // Anything but a regular file there (a FIFO, a folder) is left alone.
    void PrepareSettingsFile() const;
    // Every field from the file, defaults included, then scanIntervalSeconds.
    void LoadSettings(Settings& settings) const;
    // The fourteen writes, each field taken from its control just before.
    void SaveSettings(Settings& settings, const SettingsControls& controls);

    QString FilePath() const;

private:
    std::string Read(const char* key) const;
    void Write(const char* key, const std::string& value);

    platform::PrivateProfile& profile_;
    QString windowsDir_;
};
