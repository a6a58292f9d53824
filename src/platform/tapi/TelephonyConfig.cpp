#include "TelephonyConfig.h"
#include "platform/AsciiCase.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <charconv>

#include "platform/file/RegularFile.h"
#include "platform/profile/IniDocument.h"
#include "platform/tapi/kamailio/KamailioConfig.h"
#include "platform/tapi/sim/ExchangeConfig.h"
#include "platform/tapi/sip/SipConfig.h"

namespace platform {
namespace {

// "Line12" -> device 11; anything else -> nothing.
std::optional<DWORD> LineDevice(std::string_view section) {
    if (section.size() < 5 || !SameText(section.substr(0, 4), "line")) return std::nullopt;
    const std::string_view digits = section.substr(4);
    DWORD number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size() || number == 0)
        return std::nullopt;
    return number - 1;
}

// Ours, and no group or other permission bits: what ssh asks of a key file.
bool OwnerOnly(const QString& path) {
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode) &&
           info.st_uid == ::geteuid() && (info.st_mode & 077) == 0;
}

}  // namespace

QString TelephonyConfig::FilePath(const QString& settingsDir) {
    return settingsDir + "/telephon.ini";
}

TelephonyConfig TelephonyConfig::Load(const QString& settingsDir) {
    std::string text;
    switch (RegularFile::Read(FilePath(settingsDir), text, kMaxFileBytes)) {
        case RegularFile::Status::Ok: {
            TelephonyConfig config = Parse(std::move(text));
            config.filePrivate_ = OwnerOnly(FilePath(settingsDir));
            return config;
        }
        case RegularFile::Status::Missing:
            return Parse(sim::ExchangeConfig::StarterText());
        default:
            return TelephonyConfig{};
    }
}

TelephonyConfig TelephonyConfig::Parse(std::string iniText) {
    TelephonyConfig config;
    IniDocument(std::move(iniText))
        .ForEachKey([&](std::string_view section, std::string_view key, std::string_view value) {
            config.sections_.try_emplace(Folded(section), section).first->second.Add(key, value);
        });
    if (auto name = config.Section("Provider").Value("Name"); name && !name->empty())
        config.provider_ = std::move(*name);
    return config;
}

bool TelephonyConfig::ProviderIs(std::string_view name) const {
    return SameText(provider_, name);
}

const TelephonySection& TelephonyConfig::Section(std::string_view name) const {
    static const TelephonySection kEmpty;
    const auto it = sections_.find(Folded(name));
    return it == sections_.end() ? kEmpty : it->second;
}

sim::ExchangeConfig TelephonyConfig::Exchange() const {
    std::map<DWORD, const TelephonySection*> lines;
    for (const auto& [folded, section] : sections_) {
        if (const auto device = LineDevice(folded)) lines.try_emplace(*device, &section);
    }
    return sim::ExchangeConfig::Read(Section("Exchange"), lines);
}

kamailio::KamailioConfig TelephonyConfig::Kamailio() const {
    return kamailio::KamailioConfig::Read(Section("Kamailio"));
}

sip::SipConfig TelephonyConfig::Sip() const {
    return sip::SipConfig::Read(Section("Sip"), filePrivate_);
}

}  // namespace platform
