#include "SettingsFile.h"

#include <array>
#include <limits>
#include <variant>

#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/ParseLeadingNumber.h"

namespace {

constexpr int kBufferSize = 1000;

using FlagField = std::uint8_t Settings::*;
using NumberField = std::int32_t Settings::*;
using TextField = std::string Settings::*;

// One preference: its key, field and default. hasDefault false: the field
// keeps its start value when the key is missing (which is the default).
struct Preference {
    const char* key;
    std::variant<FlagField, NumberField, TextField> field;
    std::int32_t defaultValue;
    bool hasDefault;
    // A number below this does not fit and takes the default.
    std::int32_t minimum = std::numeric_limits<std::int32_t>::min();
};

// In the order LoadSettings reads them.
const std::array<Preference, 15> kPreferences = {{
    {"Load @ startup", &Settings::loadAtStartup, 0, true},
    {"SysTray Enabled", &Settings::sysTrayEnabled, 1, true},
    {"Sample Enabled", &Settings::sampleEnabled, 1, true},
    {"Save Data", &Settings::saveDataMinutes, 720, true},
    {"Append Data", &Settings::appendData, 1, true},
    {"Close LineTest", &Settings::closeLineTest, 1, true},
    {"Display Data", &Settings::displayData, 1, true},
    {"Play Sound", &Settings::playSound, 0, false},
    {"Keep Log", &Settings::keepLog, 1, true},
    {"KeepLog Days", &Settings::keepLogDays, 30, true, 0},
    {"Alarm", &Settings::alarmEnabled, 1, true},
    {"Alarm Limit", &Settings::alarmLimitMinutes, 120, true},
    {"Interval Minutes", &Settings::intervalMinutes, 0, false},
    {"Interval Seconds", &Settings::intervalSeconds, 1, true},
    {"Lines", &Settings::lines, 0, false},
}};

struct Store {
    Settings& settings;
    const Preference& pref;
    const std::string& text;

    // A number that does not fit its field takes the key's default.
    void operator()(FlagField f) const {
        const auto v = RoundToInt32(ParseLeadingNumber(text));
        settings.*f =
            static_cast<std::uint8_t>((v && *v >= 0 && *v <= 255) ? *v : pref.defaultValue);
    }
    void operator()(NumberField f) const {
        const auto v = RoundToInt32(ParseLeadingNumber(text));
        settings.*f = (v && *v >= pref.minimum) ? *v : pref.defaultValue;
    }
    void operator()(TextField f) const { settings.*f = text; }
};

struct StoreDefault {
    Settings& settings;
    std::int32_t value;
    void operator()(FlagField f) const { settings.*f = static_cast<std::uint8_t>(value); }
    void operator()(NumberField f) const { settings.*f = value; }
    void operator()(TextField) const {}
};

std::string Flag(bool on) {
    return on ? " 1" : " 0";
}

}  // namespace

SettingsFile::SettingsFile(platform::PrivateProfile& profile, QString windowsDir)
    : profile_(profile), windowsDir_(std::move(windowsDir)) {}

QString SettingsFile::FilePath() const {
    return windowsDir_ + "/" + kFileName;
}

void SettingsFile::PrepareSettingsFile() const {
    const QString path = FilePath();
    // Bounded: a damaged file may hold one enormous line.
    std::string start;
    switch (platform::RegularFile::Read(path, start, 256)) {
        case platform::RegularFile::Status::Ok:
            start = start.substr(0, start.find('\n'));
            while (!start.empty() && start.back() == '\r') start.pop_back();
            if (start == kHeader) return;
            break;
        case platform::RegularFile::Status::Missing:
            break;
        default:
            // A FIFO, device or folder in its place, or a file we may not
            // read: left as it is, the defaults apply.
            return;
    }
    platform::AtomicFile::Replace(path, std::string(kHeader) + "\r\n\r\n");
}

std::string SettingsFile::Read(const char* key) const {
    std::array<char, kBufferSize> buffer{};
    const auto count =
        profile_.GetPrivateProfileStringA(kSection, key, "", buffer.data(), kBufferSize, kFileName);
    return std::string(buffer.data(), count);
}

void SettingsFile::LoadSettings(Settings& settings) const {
    for (const Preference& pref : kPreferences) {
        const std::string text = Read(pref.key);
        if (text.empty()) {
            if (pref.hasDefault) std::visit(StoreDefault{settings, pref.defaultValue}, pref.field);
        } else {
            std::visit(Store{settings, pref, text}, pref.field);
        }
        if (pref.field.index() == 0 && std::get<FlagField>(pref.field) == &Settings::sampleEnabled)
            settings.closeLineTest = settings.sampleEnabled != 1 ? 1 : 0;
    }
    const std::int64_t interval =
        std::int64_t{settings.intervalMinutes} * 60 + settings.intervalSeconds;
    if (interval < INT32_MIN || interval > INT32_MAX) {
        settings.intervalMinutes = 0;
        settings.intervalSeconds = 1;
    }
    settings.scanIntervalSeconds = settings.intervalMinutes * 60 + settings.intervalSeconds;
}

void SettingsFile::Write(const char* key, const std::string& value) {
    profile_.WritePrivateProfileStringA(kSection, key, value, kFileName);
}

void SettingsFile::SaveSettings(Settings& s, const SettingsControls& c) {
    s.loadAtStartup = c.chkLoad;
    Write("Load @ startup", Flag(c.chkLoad));
    s.sysTrayEnabled = c.chkIcon;
    Write("SysTray Enabled", Flag(c.chkIcon));
    s.displayData = c.chkDisplayData;
    Write("Display Data", Flag(c.chkDisplayData));
    s.playSound = c.chkPlaySound;
    Write("Play Sound", Flag(c.chkPlaySound));
    s.sampleEnabled = c.optSample ? 1 : 0;
    s.closeLineTest = c.optSample ? 0 : 1;
    Write("Sample Enabled", Flag(c.optSample));
    s.saveDataMinutes = c.vsb1;
    Write("Save Data", c.txtSaveData);
    s.intervalMinutes = c.vsb2;
    Write("Interval Minutes", c.txtMinutes);
    s.intervalSeconds = c.vsb3;
    Write("Interval Seconds", c.txtSeconds);
    s.appendData = c.optAppend ? 1 : 0;
    Write("Append Data", Flag(c.optAppend));
    s.keepLog = c.chkKeepLogs;
    Write("Keep Log", Flag(c.chkKeepLogs));
    s.keepLogDays = c.vsbDays;
    Write("KeepLog Days", c.txtDays);
    s.alarmEnabled = c.chkAlarm;
    Write("Alarm", Flag(c.chkAlarm));
    s.alarmLimitMinutes = c.vsbAlarm;
    Write("Alarm Limit", c.txtAlarm);
    s.lines = c.txtLines;
    Write("Lines", c.txtLines);
}
