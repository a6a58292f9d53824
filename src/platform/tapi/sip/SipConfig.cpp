#include "SipConfig.h"

#include <charconv>

#include "platform/AsciiCase.h"
#include "platform/Utf8Text.h"
#include "platform/tapi/EscapedText.h"

namespace platform::sip {
namespace {

QString FromText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<unsigned> Number(std::string_view text) {
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// What may stand in a SIP URI's user or host part without escaping; anything
// else in an extension, user or host would let a setting rewrite the request.
bool UriSafe(std::string_view text) {
    if (text.empty() || text.size() > SipConfig::kMaxField) return false;
    for (const char c : text) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') ||
                        std::string_view("-_.!~*'()&=+$,;?/:").find(c) != std::string_view::npos;
        if (!ok) return false;
    }
    return true;
}

bool HostSafe(std::string_view host) {
    if (host.empty() || host.size() > SipConfig::kMaxField) return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':' || c == '[' ||
                        c == ']';
        if (!ok) return false;
    }
    return true;
}

// "host", "host:port", "[v6]" or "[v6]:port".
bool ReadServer(std::string_view text, SipConfig* config) {
    std::string_view host = text;
    std::optional<unsigned> port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return false;
        host = text.substr(1, close - 1);
        const std::string_view rest = text.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') return false;
            port = Number(rest.substr(1));
            if (!port) return false;
        }
    } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos) {
        host = text.substr(0, colon);
        port = Number(text.substr(colon + 1));
        if (!port) return false;
    }
    if (!HostSafe(host) || host.find_first_of("[]") != std::string_view::npos ||
        (port && (*port == 0 || *port > 65535)))
        return false;
    config->host = FromText(host);
    if (port) config->port = static_cast<quint16>(*port);
    return true;
}

}  // namespace

SipConfig SipConfig::Read(const TelephonySection& sip, bool filePrivate) {
    SipConfig config;
    bool portGiven = false;
    if (auto v = sip.Value("Server")) {
        portGiven = v->find("]:") != std::string::npos ||
                    (v->find(':') != std::string::npos && v->front() != '[');
        if (!ReadServer(*v, &config)) config.host.clear();
    }
    if (sip.ValueIs("Transport", "tcp")) config.transport = Transport::Tcp;
    if (sip.ValueIs("Transport", "tls")) config.transport = Transport::Tls;
    if (config.transport == Transport::Tls && !portGiven) config.port = kDefaultTlsPort;
    config.domain = config.host;
    if (auto v = sip.Value("Domain"); v && HostSafe(*v)) config.domain = FromText(*v);
    if (auto v = sip.Value("User"); v && UriSafe(*v)) config.user = *v;
    if (auto v = sip.Value("AuthUser"); v && !v->empty() && v->size() <= kMaxField)
        config.authUser = Utf8Text::Repaired(*v);
    if (auto v = sip.Value("Password"); v && !v->empty()) {
        if (filePrivate)
            config.password = EscapedText::Unescape(*v);
        else
            config.passwordRefused = true;
    }
    if (auto v = sip.Value("Expires")) {
        if (const auto n = Number(*v); n && *n >= kMinExpires && *n <= kMaxExpires)
            config.expires = *n;
    }
    for (TelephonySection::Line& line : sip.Lines(kMaxLines, UriSafe))
        config.lines.push_back({std::move(line.extension), std::move(line.name)});
    return config;
}

std::string SipConfig::ProxyUri() const {
    static constexpr const char* kTransports[] = {"udp", "tcp", "tls"};
    const QString bracketed = host.contains(':') ? "[" + host + "]" : host;
    return QString("%1:%2:%3;transport=%4")
        .arg(transport == Transport::Tls ? "sips" : "sip", bracketed)
        .arg(port)
        .arg(kTransports[static_cast<int>(transport)])
        .toStdString();
}

std::string SipConfig::UriOf(const std::string& extension) const {
    // A bare IPv6 address needs brackets; "host:port" and "[v6]:port" stand as written.
    const QString bracketed =
        domain.count(':') > 1 && !domain.startsWith('[') ? "[" + domain + "]" : domain;
    return "sip:" + extension + "@" + bracketed.toStdString();
}

QString SipConfig::KeyringKey() const {
    return QString::fromStdString("sip:" + DigestUser() + "@") + domain;
}

}  // namespace platform::sip
