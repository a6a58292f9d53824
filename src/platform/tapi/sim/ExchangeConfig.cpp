#include "ExchangeConfig.h"

#include <QFileInfo>
#include <charconv>

#include "platform/Utf8Text.h"
#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"
#include "platform/tapi/EscapedText.h"
#include "platform/tapi/TelephonyConfig.h"

namespace platform::sim {
namespace {

template <typename T>
std::optional<T> ParseNumber(std::string_view text, int base = 10) {
    if (base == 16 && text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (error != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

DWORD ParseLines(std::string_view text, DWORD fallback) {
    if (!text.empty() && text.front() == '-') {
        return ParseNumber<std::uint64_t>(text.substr(1)) ? 0 : fallback;
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos)
        return fallback;
    while (text.size() > 1 && text.front() == '0') text.remove_prefix(1);
    // More digits than the clamp has is absurd anyway; this also avoids overflow.
    if (text.size() > 9) return ExchangeConfig::kMaxLines;
    const auto value = ParseNumber<std::uint64_t>(text);
    return value ? static_cast<DWORD>(std::min<std::uint64_t>(*value, ExchangeConfig::kMaxLines))
                 : fallback;
}

std::optional<VersionRange> ParseVersions(std::string_view text) {
    const std::size_t dash = text.find('-');
    if (dash == std::string_view::npos) return std::nullopt;
    const auto low = ParseNumber<DWORD>(text.substr(0, dash), 16);
    const auto high = ParseNumber<DWORD>(text.substr(dash + 1), 16);
    if (!low || !high || *low > *high) return std::nullopt;
    return VersionRange{*low, *high};
}

}  // namespace

ExchangeConfig ExchangeConfig::Read(const TelephonySection& exchange,
                                    const std::map<DWORD, const TelephonySection*>& lines) {
    ExchangeConfig config;
    if (auto v = exchange.Value("Lines")) config.lines = ParseLines(*v, config.lines);
    config.demoTraffic = exchange.ValueIs("Traffic", "demo");
    if (auto v = exchange.Value("Seed")) {
        if (auto seed = ParseNumber<std::uint32_t>(*v)) config.seed = *seed;
    }
    config.acceptDrop = exchange.ValueIs("Drop", "async");

    for (const auto& [device, section] : lines) {
        if (device >= config.lines) break;
        LineConfig& line = config.EditLine(device);
        if (auto v = section->Value("Name"))
            line.name = Utf8Text::Repaired(EscapedText::Unescape(*v));
        line.capsFail = section->ValueIs("Caps", "fail");
        line.openFail = section->ValueIs("Open", "fail");
        if (auto v = section->Value("Versions")) {
            if (auto range = ParseVersions(*v)) line.versions = *range;
        }
    }
    return config;
}

std::string ExchangeConfig::StarterText() {
    return "; Telephony configuration of Vastrel.\n"
           "; [Provider] Name=sim selects the simulated exchange, driven by vastrel-phone.\n"
           "; [Exchange] Lines=N, Traffic=none|demo, Seed=number, Drop=refuse|async\n"
           "; [LineN] Name=text (escapes \\xHH \\t \\\\), Caps=fail, Open=fail,\n"
           ";         Versions=LOW-HIGH (hexadecimal API versions)\n"
           "[Provider]\n"
           "Name=sim\n"
           "\n"
           "[Exchange]\n"
           "Lines=4\n"
           "Traffic=demo\n"
           "Drop=refuse\n";
}

void ExchangeConfig::CreateIfMissing(const QString& settingsDir) {
    const QString path = TelephonyConfig::FilePath(settingsDir);
    // Whatever is there, a FIFO or a dangling link too, is left alone.
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) return;
    RegularFile::MakeFolders(settingsDir);
    // A failure leaves no file, which TelephonyConfig reads as this same text.
    AtomicFile::Replace(path, StarterText());
}

const LineConfig& ExchangeConfig::Line(DWORD device) const {
    static const LineConfig kDefault;
    const auto it = overrides_.find(device);
    return it == overrides_.end() ? kDefault : it->second;
}

std::string ExchangeConfig::Name(DWORD device) const {
    const LineConfig& line = Line(device);
    return line.name ? *line.name : "Line " + std::to_string(device + 1);
}

}  // namespace platform::sim
