#include "SettingsFile.h"

#include <array>
#include <variant>

#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/ParseLeadingNumber.h"

namespace {

constexpr int kBufferSize = 1000;

using FlagField = Preference::FlagField;
using NumberField = Preference::NumberField;
using TextField = Preference::TextField;

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

// Keeps a control's value in its field and gives the text the file takes.
struct Keep {
    Settings& settings;
    const Preference::Value& value;

    std::string operator()(FlagField f) const {
        settings.*f = value.on ? 1 : 0;
        return value.on ? " 1" : " 0";
    }
    std::string operator()(NumberField f) const {
        settings.*f = value.position;
        return value.text;
    }
    std::string operator()(TextField f) const {
        settings.*f = value.text;
        return value.text;
    }
};

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
    for (const Preference& pref : Preference::All()) {
        const std::string text = Read(pref.key);
        if (text.empty()) {
            if (pref.hasDefault) std::visit(StoreDefault{settings, pref.defaultValue}, pref.field);
        } else {
            std::visit(Store{settings, pref, text}, pref.field);
        }
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

void SettingsFile::SaveSettings(Settings& settings, const ControlReader& read) {
    for (const Preference& pref : Preference::All()) {
        if (pref.control.kind == Preference::Kind::NoControl) continue;
        Write(pref.key, std::visit(Keep{settings, read(pref.control)}, pref.field));
    }
    // Close LineTest has no control: it follows the Scan option, in memory
    // only; the file keeps whatever it held.
    settings.closeLineTest = settings.sampleEnabled == 1 ? 0 : 1;
}
