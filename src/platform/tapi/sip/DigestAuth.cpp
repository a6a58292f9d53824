#include "DigestAuth.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <cstdio>

#include "platform/AsciiCase.h"

namespace platform::sip {
namespace {

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.substr(1, value.size() - 2);
    return value;
}

// A quoted-string may carry backslash escapes; none are expected, so any
// quote or backslash in what we send is dropped rather than escaped wrongly.
std::string Quoted(std::string_view value) {
    std::string out = "\"";
    for (const char c : value) {
        if (c != '"' && c != '\\' && c != '\r' && c != '\n') out += c;
    }
    return out + "\"";
}

bool OffersAuth(std::string_view qop) {
    while (!qop.empty()) {
        const std::size_t comma = qop.find(',');
        std::string_view item = qop.substr(0, comma);
        while (!item.empty() && item.front() == ' ') item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ') item.remove_suffix(1);
        if (SameText(item, "auth")) return true;
        if (comma == std::string_view::npos) break;
        qop.remove_prefix(comma + 1);
    }
    return false;
}

std::string Hex(QCryptographicHash::Algorithm algorithm, std::string_view text) {
    return QCryptographicHash::hash(
               QByteArrayView(text.data(), static_cast<qsizetype>(text.size())), algorithm)
        .toHex()
        .toStdString();
}

}  // namespace

std::optional<DigestChallenge> DigestChallenge::FromParams(
    const std::vector<std::string_view>& params) {
    DigestChallenge challenge;
    bool qopOffered = false;
    for (const std::string_view param : params) {
        const std::size_t equals = param.find('=');
        if (equals == std::string_view::npos) continue;
        std::string_view name = param.substr(0, equals);
        while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
        std::string_view value = param.substr(equals + 1);
        while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
        value = Unquoted(value);
        if (SameText(name, "realm")) {
            challenge.realm = value;
        } else if (SameText(name, "nonce")) {
            challenge.nonce = value;
        } else if (SameText(name, "opaque")) {
            challenge.opaque = value;
        } else if (SameText(name, "stale")) {
            challenge.stale = SameText(value, "true");
        } else if (SameText(name, "qop")) {
            qopOffered = true;
            challenge.qopAuth = OffersAuth(value);
        } else if (SameText(name, "algorithm")) {
            if (SameText(value, "MD5")) {
                challenge.algorithm = Algorithm::Md5;
            } else if (SameText(value, "MD5-sess")) {
                challenge.algorithm = Algorithm::Md5Sess;
            } else if (SameText(value, "SHA-256")) {
                challenge.algorithm = Algorithm::Sha256;
            } else if (SameText(value, "SHA-256-sess")) {
                challenge.algorithm = Algorithm::Sha256Sess;
            } else {
                return std::nullopt;
            }
        }
    }
    if (challenge.realm.empty() || challenge.nonce.empty()) return std::nullopt;
    if (qopOffered && !challenge.qopAuth) return std::nullopt;  // auth-int only
    return challenge;
}

bool DigestChallenge::IsSha256() const {
    return algorithm == Algorithm::Sha256 || algorithm == Algorithm::Sha256Sess;
}

std::string DigestAuth::Answer(const DigestChallenge& challenge, std::string_view user,
                               std::string_view password, std::string_view method,
                               std::string_view uri, std::string_view cnonce, unsigned nc) {
    using A = DigestChallenge::Algorithm;
    const auto hash = challenge.IsSha256() ? QCryptographicHash::Sha256 : QCryptographicHash::Md5;
    const auto h = [&](const std::string& text) { return Hex(hash, text); };
    std::string ha1 = h(std::string(user) + ":" + challenge.realm + ":" + std::string(password));
    if (challenge.algorithm == A::Md5Sess || challenge.algorithm == A::Sha256Sess)
        ha1 = h(ha1 + ":" + challenge.nonce + ":" + std::string(cnonce));
    const std::string ha2 = h(std::string(method) + ":" + std::string(uri));
    char count[9];
    std::snprintf(count, sizeof count, "%08x", nc);
    const std::string response = challenge.qopAuth ? h(ha1 + ":" + challenge.nonce + ":" + count +
                                                       ":" + std::string(cnonce) + ":auth:" + ha2)
                                                   : h(ha1 + ":" + challenge.nonce + ":" + ha2);
    static constexpr const char* kNames[] = {"MD5", "MD5-sess", "SHA-256", "SHA-256-sess"};
    std::string answer = "Digest username=" + Quoted(user) + ", realm=" + Quoted(challenge.realm) +
                         ", nonce=" + Quoted(challenge.nonce) + ", uri=" + Quoted(uri) +
                         ", response=" + Quoted(response) +
                         ", algorithm=" + kNames[static_cast<int>(challenge.algorithm)];
    if (!challenge.opaque.empty()) answer += ", opaque=" + Quoted(challenge.opaque);
    if (challenge.qopAuth)
        answer += std::string(", qop=auth, nc=") + count + ", cnonce=" + Quoted(cnonce);
    return answer;
}

std::string DigestAuth::NewCnonce() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex().toStdString();
}

}  // namespace platform::sip
