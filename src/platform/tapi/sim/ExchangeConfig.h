#pragma once
// The telephony configuration in telephon.ini: which provider serves the lines
// and, for the simulated exchange, its lines, their names and the traffic.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "platform/tapi/LineProvider.h"

namespace platform::sim {

struct LineConfig {
    std::optional<std::string> name;  // absent: "Line N"; present it may be empty
    bool capsFail = false;
    bool openFail = false;
    VersionRange versions{0x00010003, 0x00020002};
};

class ExchangeConfig {
public:
    static constexpr DWORD kMaxLines = 100000;
    static constexpr std::uint32_t kDefaultSeed = 1;
    // Any sane telephon.ini is tiny; of a huge, damaged one only this much is read.
    static constexpr std::size_t kMaxFileBytes = 4 << 20;

    std::string provider = "sim";
    DWORD lines = 4;
    bool demoTraffic = false;
    std::uint32_t seed = kDefaultSeed;
    bool acceptDrop = false;

    // Unreadable values keep their defaults; Lines is clamped to 0..kMaxLines.
    static ExchangeConfig Parse(std::string_view iniText);
    // telephon.ini in settingsDir; a missing file reads as the file
    // CreateIfMissing would write, an unreadable one (or a FIFO, a folder)
    // as the defaults.
    static ExchangeConfig Load(const QString& settingsDir);
    // Writes the starter file (four lines with demo traffic) when nothing is there.
    static void CreateIfMissing(const QString& settingsDir);
    static QString FilePath(const QString& settingsDir);
    static std::string StarterText();

    // The settings of a device (0-based).
    const LineConfig& Line(DWORD device) const;
    std::string Name(DWORD device) const;
    // For configuring an exchange in code.
    LineConfig& EditLine(DWORD device) { return overrides_[device]; }

private:
    std::unordered_map<DWORD, LineConfig> overrides_;
};

}  // namespace platform::sim
