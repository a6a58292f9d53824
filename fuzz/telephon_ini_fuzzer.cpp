// telephon.ini as arbitrary bytes: what the Kamailio provider and the
// simulated exchange take from it stays within bounds, and the single pass
// over the file sees each value exactly as the profile functions find it.
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "platform/AsciiCase.h"
#include "platform/profile/IniDocument.h"
#include "platform/tapi/TelephonyConfig.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/sim/ExchangeConfig.h"

using namespace platform;

namespace {

void CheckKamailio(const kamailio::KamailioConfig& config) {
    if (config.lines.size() > kamailio::KamailioConfig::kMaxLines || config.eventsPort == 0 ||
        config.rpc.scheme() != "http" || config.rpc.host().isEmpty())
        std::abort();
    for (const kamailio::KamailioLine& line : config.lines) {
        if (line.extension.empty() ||
            line.extension.size() > kamailio::KamailioConfig::kMaxExtension || line.name.empty())
            std::abort();
    }
}

void CheckExchange(const sim::ExchangeConfig& config) {
    if (config.lines > sim::ExchangeConfig::kMaxLines) std::abort();
    for (DWORD device = 0; device < std::min<DWORD>(config.lines, 64); ++device) {
        const VersionRange versions = config.Line(device).versions;
        if (versions.low > versions.high) std::abort();
    }
}

// The first value the pass gives for a section and key is the one Find gives.
void CheckSinglePass(const std::string& text) {
    const IniDocument document(text);
    std::set<std::pair<std::string, std::string>> seen;
    document.ForEachKey(
        [&](std::string_view section, std::string_view key, std::string_view value) {
            if (!seen.emplace(Folded(section), Folded(key)).second) return;
            if (document.Find(section, key) != value) std::abort();
        });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const TelephonyConfig config = TelephonyConfig::Parse(text);
    if (config.Provider().empty()) std::abort();
    CheckKamailio(config.Kamailio());
    CheckExchange(config.Exchange());
    CheckSinglePass(text);
    return 0;
}
