#include "ExchangeConfig.h"

#include <QFileInfo>
#include <cctype>
#include <charconv>
#include <optional>

#include "EscapedText.h"
#include "IniFile.h"
#include "platform/file/AtomicFile.h"
#include "platform/file/RegularFile.h"

namespace platform::sim {
namespace {

bool SameText(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

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

// "Line12" -> device 11; anything else -> nothing.
std::optional<DWORD> LineSectionDevice(std::string_view section) {
    if (section.size() < 5 || !SameText(section.substr(0, 4), "line")) return std::nullopt;
    const auto number = ParseNumber<DWORD>(section.substr(4));
    if (!number || *number == 0) return std::nullopt;
    return *number - 1;
}

}  // namespace

ExchangeConfig ExchangeConfig::Parse(std::string_view iniText) {
    const IniFile ini = IniFile::Parse(iniText);
    ExchangeConfig config;
    if (auto v = ini.Value("Provider", "Name"); v && !v->empty()) config.provider = *v;
    if (auto v = ini.Value("Exchange", "Lines")) config.lines = ParseLines(*v, config.lines);
    if (auto v = ini.Value("Exchange", "Traffic")) config.demoTraffic = SameText(*v, "demo");
    if (auto v = ini.Value("Exchange", "Seed")) {
        if (auto seed = ParseNumber<std::uint32_t>(*v)) config.seed = *seed;
    }
    if (auto v = ini.Value("Exchange", "Drop")) config.acceptDrop = SameText(*v, "async");

    for (const std::string& section : ini.Sections()) {
        const auto device = LineSectionDevice(section);
        if (!device || *device >= config.lines) continue;
        LineConfig& line = config.EditLine(*device);
        if (auto v = ini.Value(section, "Name")) line.name = EscapedText::Unescape(*v);
        if (auto v = ini.Value(section, "Caps")) line.capsFail = SameText(*v, "fail");
        if (auto v = ini.Value(section, "Open")) line.openFail = SameText(*v, "fail");
        if (auto v = ini.Value(section, "Versions")) {
            if (auto range = ParseVersions(*v)) line.versions = *range;
        }
    }
    return config;
}

QString ExchangeConfig::FilePath(const QString& settingsDir) {
    return settingsDir + "/telephon.ini";
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

ExchangeConfig ExchangeConfig::Load(const QString& settingsDir) {
    std::string text;
    switch (RegularFile::Read(FilePath(settingsDir), text, kMaxFileBytes)) {
        case RegularFile::Status::Ok:
            return Parse(text);
        case RegularFile::Status::Missing:
            return Parse(StarterText());
        default:
            return ExchangeConfig{};
    }
}

void ExchangeConfig::CreateIfMissing(const QString& settingsDir) {
    const QString path = FilePath(settingsDir);
    // Whatever is there, a FIFO or a dangling link too, is left alone.
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink()) return;
    RegularFile::MakeFolders(settingsDir);
    // A failure leaves no file; Load then uses the same starter values.
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
