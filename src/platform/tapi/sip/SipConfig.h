#pragma once
// The [Sip] section of telephon.ini: the phone system that publishes each
// extension's call state (the dialog event package), who we are to it, and
// one line device per watched extension.
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "platform/tapi/TelephonySection.h"

namespace platform::sip {

struct SipLine {
    std::string extension;  // the user part subscribed to: sip:<extension>@<domain>
    std::string name;       // shown as the line's name; the extension when not given
};

class SipConfig {
public:
    // The accounting counts devices 0..255 only; more lines are not read.
    static constexpr std::size_t kMaxLines = 256;
    static constexpr std::size_t kMaxField = 128;
    static constexpr unsigned kDefaultExpires = 3600;
    static constexpr unsigned kMinExpires = 60;
    static constexpr unsigned kMaxExpires = 86400;
    static constexpr quint16 kDefaultPort = 5060;
    static constexpr quint16 kDefaultTlsPort = 5061;

    enum class Transport { Udp, Tcp, Tls };

    QString host;  // empty: no usable Server=
    quint16 port = kDefaultPort;
    Transport transport = Transport::Udp;
    QString domain;        // the server's host when not given
    std::string user;      // who subscribes; also the digest user name
    std::string authUser;  // AuthUser=, when the digest name differs from User=
    // Password= of telephon.ini, only when that file is the owner's alone.
    std::optional<std::string> password;
    // Password= was there but the file is readable by others: not used.
    bool passwordRefused = false;
    unsigned expires = kDefaultExpires;
    std::vector<SipLine> lines;

    // filePrivate: telephon.ini is a regular file of ours that no other user
    // can read (mode without group or other bits).
    static SipConfig Read(const TelephonySection& sip, bool filePrivate);

    std::string DigestUser() const { return authUser.empty() ? user : authUser; }
    // "sip:127.0.0.1:5060;transport=udp": where every request is sent.
    std::string ProxyUri() const;
    // "sip:101@example.org": what one line subscribes to.
    std::string UriOf(const std::string& extension) const;
    // The keyring entry that holds the password: "sip:<user>@<domain>".
    QString KeyringKey() const;
};

}  // namespace platform::sip
