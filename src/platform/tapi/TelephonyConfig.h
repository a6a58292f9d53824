#pragma once
// telephon.ini, read once: which provider serves the lines, and each
// provider's own sections ([Exchange] and [LineN] for the simulated exchange,
// [Kamailio] for a Kamailio server, [Sip] for any SIP phone system).
#include <QString>
#include <cstddef>
#include <map>
#include <string>
#include <string_view>

#include "platform/tapi/TelephonySection.h"

// Each provider's configuration comes with its own header; this one names
// them only, so that a provider may use FilePath without seeing the others.
namespace platform::sim {
class ExchangeConfig;
}
namespace platform::kamailio {
class KamailioConfig;
}
namespace platform::sip {
class SipConfig;
}

namespace platform {

class TelephonyConfig {
public:
    // Any sane telephon.ini is tiny; of a huge, damaged one only this much is read.
    static constexpr std::size_t kMaxFileBytes = 4 << 20;

    static QString FilePath(const QString& settingsDir);
    // A missing file reads as the starter file the simulated exchange
    // writes; an unreadable one (or a FIFO, a folder) as an empty one.
    static TelephonyConfig Load(const QString& settingsDir);
    static TelephonyConfig Parse(std::string iniText);
    // Whether the file Load read is one no other user can read: only then
    // may it hold a password.
    bool FilePrivate() const { return filePrivate_; }

    // [Provider] Name=, "sim" when absent or empty.
    const std::string& Provider() const { return provider_; }
    bool ProviderIs(std::string_view name) const;

    sim::ExchangeConfig Exchange() const;
    kamailio::KamailioConfig Kamailio() const;
    sip::SipConfig Sip() const;

private:
    const TelephonySection& Section(std::string_view name) const;

    std::string provider_ = "sim";
    bool filePrivate_ = false;
    std::map<std::string, TelephonySection> sections_;  // by folded name
};

}  // namespace platform
