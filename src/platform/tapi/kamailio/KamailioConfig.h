#pragma once
// The [Kamailio] section of telephon.ini: where the server's RPC and event
// socket are, and one line device per watched extension.
#include <QString>
#include <QUrl>
#include <string>
#include <vector>

#include "platform/tapi/TelephonySection.h"

namespace platform::kamailio {

struct KamailioLine {
    std::string extension;  // the dialog profile value, the called user part
    std::string name;       // shown as the line's name; the extension when not given
};

class KamailioConfig {
public:
    // The accounting counts devices 0..255 only; more lines are not read.
    static constexpr std::size_t kMaxLines = 256;
    static constexpr std::size_t kMaxExtension = 64;

    QUrl rpc{QStringLiteral("http://127.0.0.1:5080/RPC")};
    QString eventsHost = QStringLiteral("127.0.0.1");
    quint16 eventsPort = 8448;
    std::vector<KamailioLine> lines;

    // Line1, Line2, ... up to the first one missing or empty. Unreadable
    // addresses keep their defaults.
    static KamailioConfig Read(const TelephonySection& kamailio);
};

}  // namespace platform::kamailio
