#pragma once
// HTTP digest authentication as SIP uses it (RFC 3261, RFC 7616, and
// SHA-256 for SIP per RFC 8760). The SIP library answers MD5 challenges on
// its own; a server that offers only SHA-256 is answered from here.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sip {

struct DigestChallenge {
    enum class Algorithm { Md5, Md5Sess, Sha256, Sha256Sess };

    std::string realm;
    std::string nonce;
    std::string opaque;
    Algorithm algorithm = Algorithm::Md5;
    bool qopAuth = false;  // the server offers qop "auth"
    bool stale = false;    // the last answer was right, only its nonce had expired

    // From the challenge's "name=value" parameters (values may be quoted).
    // Nothing for unknown algorithms, qop offers without "auth", or a
    // challenge without realm or nonce.
    static std::optional<DigestChallenge> FromParams(const std::vector<std::string_view>& params);
    bool IsSha256() const;
};

class DigestAuth {
public:
    // The Authorization (or Proxy-Authorization) value, "Digest username=...".
    // cnonce and nc count only when the challenge offers qop=auth.
    static std::string Answer(const DigestChallenge& challenge, std::string_view user,
                              std::string_view password, std::string_view method,
                              std::string_view uri, std::string_view cnonce, unsigned nc);
    // A fresh client nonce: 16 random bytes as hex.
    static std::string NewCnonce();
};

}  // namespace platform::sip
