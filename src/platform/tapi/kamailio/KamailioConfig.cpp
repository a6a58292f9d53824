#include "KamailioConfig.h"

#include <charconv>

namespace platform::kamailio {
namespace {

QString FromText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// "host:port" or "[v6]:port".
bool ParseHostPort(std::string_view text, QString* host, quint16* port) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    std::string_view hostPart = text.substr(0, colon);
    const std::string_view portPart = text.substr(colon + 1);
    if (hostPart.size() > 2 && hostPart.front() == '[' && hostPart.back() == ']')
        hostPart = hostPart.substr(1, hostPart.size() - 2);
    unsigned value = 0;
    const auto [end, error] =
        std::from_chars(portPart.data(), portPart.data() + portPart.size(), value);
    if (error != std::errc() || end != portPart.data() + portPart.size() || value == 0 ||
        value > 65535)
        return false;
    *host = FromText(hostPart);
    *port = static_cast<quint16>(value);
    return true;
}

}  // namespace

KamailioConfig KamailioConfig::Read(const TelephonySection& kamailio) {
    KamailioConfig config;
    if (auto v = kamailio.Value("Rpc")) {
        const QUrl url(FromText(*v), QUrl::StrictMode);
        // The RPC client speaks plain HTTP only.
        if (url.isValid() && url.scheme() == "http" && !url.host().isEmpty()) config.rpc = url;
    }
    if (auto v = kamailio.Value("Events")) {
        ParseHostPort(*v, &config.eventsHost, &config.eventsPort);
    }
    for (TelephonySection::Line& line : kamailio.Lines(kMaxLines, [](std::string_view extension) {
             return !extension.empty() && extension.size() <= kMaxExtension;
         }))
        config.lines.push_back({std::move(line.extension), std::move(line.name)});
    return config;
}

}  // namespace platform::kamailio
