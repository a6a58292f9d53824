#pragma once
// The simulated exchange's part of telephon.ini: its lines, their names and
// the traffic.
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/tapi/LineProvider.h"
#include "platform/tapi/TelephonySection.h"

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

    DWORD lines = 4;
    bool demoTraffic = false;
    std::uint32_t seed = kDefaultSeed;
    bool acceptDrop = false;

    // From [Exchange] and the [LineN] sections by device (0-based). Unreadable
    // values keep their defaults; Lines is clamped to 0..kMaxLines.
    static ExchangeConfig Read(const TelephonySection& exchange,
                               const std::map<DWORD, const TelephonySection*>& lines);
    // Writes the starter telephon.ini (four lines with demo traffic) when
    // nothing is there.
    static void CreateIfMissing(const QString& settingsDir);
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
