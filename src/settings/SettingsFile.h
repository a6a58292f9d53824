#pragma once
#include <QString>
#include <functional>
#include <string>

#include "settings/Preference.h"
#include "settings/Settings.h"

namespace platform {
class PrivateProfile;
}

// vastrel.ini, section "Preferences": preparing, reading and writing it.
class SettingsFile {
public:
    static constexpr const char* kFileName = "vastrel.ini";
    static constexpr const char* kSection = "Preferences";
    static constexpr const char* kHeader =
        "The following lines are required by Vastrel - do NOT edit or remove";

    // What a preference's control holds when OK is pressed.
    using ControlReader = std::function<Preference::Value(const Preference::Control&)>;

    SettingsFile(platform::PrivateProfile& profile, QString windowsDir);

    // The file exists and begins with the header line; a missing, empty or
    // wrongly headed file is (re)written as the header and one empty line.
    // Anything but a regular file there (a FIFO, a folder) is left alone.
    void PrepareSettingsFile() const;
    // Every field from the file, defaults included, then scanIntervalSeconds.
    void LoadSettings(Settings& settings) const;
    // Every preference with a control, in table order: its field takes the
    // control's value and its key is written.
    void SaveSettings(Settings& settings, const ControlReader& read);

    QString FilePath() const;

private:
    std::string Read(const char* key) const;
    void Write(const char* key, const std::string& value);

    platform::PrivateProfile& profile_;
    QString windowsDir_;
};
