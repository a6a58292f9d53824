#include "DialogInfo.h"

#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>
#include <algorithm>

#include "platform/AsciiCase.h"
#include "platform/HexDigit.h"
#include "platform/Utf8Text.h"
#include "platform/tapi/CallerText.h"

namespace platform::sip {
namespace {

constexpr QStringView kNamespace = u"urn:ietf:params:xml:ns:dialog-info";
constexpr std::string_view kStates[] = {"trying", "proceeding", "early", "confirmed", "terminated"};

// The elements read; everything else, and all below it, is skipped.
enum class Node { Other, Root, Dialog, State, Remote, Identity, Target };

enum class Verdict { Read, Refused, Unreadable };

std::string Utf8(QStringView text) {
    return text.toUtf8().toStdString();
}

std::string Lower(QStringView text) {
    return Folded(Utf8(text.trimmed()));
}

// Attributes of these elements are unprefixed, so they have no namespace.
std::optional<QString> Attribute(const QXmlStreamAttributes& attributes, QStringView name) {
    for (const QXmlStreamAttribute& attribute : attributes) {
        if (attribute.namespaceUri().isEmpty() && attribute.name() == name)
            return attribute.value().toString();
    }
    return std::nullopt;
}

// An unsigned decimal that fits 32 bits; blanks around it are allowed.
std::optional<std::uint32_t> Version(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    const QString digits = text->trimmed();
    if (digits.isEmpty() || digits.size() > 10) return std::nullopt;
    std::uint64_t value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    if (value > UINT32_MAX) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

std::string PercentDecoded(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
            i += 2;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The user part of a sip:, sips: or tel: URI; nothing for other schemes.
std::string NumberOf(QStringView uriText) {
    std::string uri = Utf8(uriText.trimmed());
    if (uri.size() >= 2 && uri.front() == '<' && uri.back() == '>')
        uri = uri.substr(1, uri.size() - 2);
    const std::size_t colon = uri.find(':');
    if (colon == std::string::npos) return {};
    const std::string scheme = Folded(std::string_view(uri).substr(0, colon));
    const std::string_view rest = std::string_view(uri).substr(colon + 1);
    std::string_view user;
    if (scheme == "tel") {
        user = rest.substr(0, rest.find(';'));
    } else if (scheme == "sip" || scheme == "sips") {
        const std::size_t at = rest.find('@');
        user = at != std::string_view::npos ? rest.substr(0, at)
                                            : rest.substr(0, rest.find_first_of(";?"));
        // "user:password@host": a password is never shown.
        user = user.substr(0, user.find(':'));
    } else {
        return {};
    }
    return CallerText::Safe(PercentDecoded(user), CallerText::kMaxNumber);
}

// One <dialog> while it is read.
struct Reading {
    DialogEntry entry;
    std::optional<QString> state;
    std::optional<QString> identity;  // the first <identity> URI
    std::optional<QString> target;    // the first <target> URI
    std::string display;
};

void Finish(Reading& reading, DialogInfo& info) {
    if (!reading.state) return;
    const std::string state = Lower(*reading.state);
    if (std::find(std::begin(kStates), std::end(kStates), state) == std::end(kStates)) return;
    DialogEntry& entry = reading.entry;
    entry.state = state;
    if (reading.identity) entry.remoteNumber = NumberOf(*reading.identity);
    if (entry.remoteNumber.empty() && reading.target)
        entry.remoteNumber = NumberOf(*reading.target);
    entry.remoteName = CallerText::Safe(reading.display, CallerText::kMaxName);
    const auto same = std::find_if(info.dialogs.begin(), info.dialogs.end(),
                                   [&](const DialogEntry& d) { return d.id == entry.id; });
    if (same != info.dialogs.end()) {
        *same = std::move(entry);
    } else if (info.dialogs.size() < DialogInfo::kMaxDialogs) {
        info.dialogs.push_back(std::move(entry));
    }
}

bool ReadRoot(const QXmlStreamAttributes& attributes, DialogInfo& info) {
    const auto version = Version(Attribute(attributes, u"version"));
    const auto state = Attribute(attributes, u"state");
    if (!version || !state) return false;
    const std::string kind = Lower(*state);
    if (kind != "full" && kind != "partial") return false;
    info.version = *version;
    info.full = kind == "full";
    return true;
}

Verdict Read(const QByteArray& bytes, DialogInfo& info, QString* encoding) {
    QXmlStreamReader xml(bytes);
    std::vector<Node> path;
    std::optional<Reading> dialog;
    bool rootSeen = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
            case QXmlStreamReader::StartDocument:
                *encoding = xml.documentEncoding().toString();
                break;
            // No DTD is needed to read these documents, and with none there are
            // no entities to expand: a body that brings one is refused whole.
            case QXmlStreamReader::DTD:
            case QXmlStreamReader::EntityReference:
                return Verdict::Refused;
            case QXmlStreamReader::StartElement: {
                const Node parent = path.empty() ? Node::Other : path.back();
                const bool ours = xml.namespaceUri() == kNamespace;
                const QStringView name = xml.name();
                Node node = Node::Other;
                if (path.empty()) {
                    if (rootSeen || !ours || name != u"dialog-info" ||
                        !ReadRoot(xml.attributes(), info))
                        return Verdict::Refused;
                    rootSeen = true;
                    node = Node::Root;
                } else if (!ours) {
                } else if (parent == Node::Root && name == u"dialog") {
                    const auto id = Attribute(xml.attributes(), u"id");
                    if (id && !id->isEmpty()) {
                        node = Node::Dialog;
                        dialog.emplace();
                        dialog->entry.id = Utf8(*id);
                        const std::string direction =
                            Lower(Attribute(xml.attributes(), u"direction").value_or(QString()));
                        if (direction == "initiator")
                            dialog->entry.direction = DialogDirection::Initiator;
                        if (direction == "recipient")
                            dialog->entry.direction = DialogDirection::Recipient;
                    }
                } else if (parent == Node::Dialog && name == u"state") {
                    if (!dialog->state) {
                        node = Node::State;
                        dialog->state.emplace();
                    }
                } else if (parent == Node::Dialog && name == u"remote") {
                    node = Node::Remote;
                } else if (parent == Node::Remote && name == u"identity") {
                    if (!dialog->identity) {
                        node = Node::Identity;
                        dialog->identity.emplace();
                        dialog->display =
                            Utf8(Attribute(xml.attributes(), u"display").value_or(QString()));
                    }
                } else if (parent == Node::Remote && name == u"target") {
                    if (!dialog->target) dialog->target = Attribute(xml.attributes(), u"uri");
                    node = Node::Target;
                }
                // Below a skipped element everything is skipped, as no branch
                // above takes Other for a parent.
                path.push_back(node);
                break;
            }
            case QXmlStreamReader::Characters:
                if (path.empty()) break;
                if (path.back() == Node::State) dialog->state->append(xml.text());
                if (path.back() == Node::Identity) dialog->identity->append(xml.text());
                break;
            case QXmlStreamReader::EndElement:
                if (path.empty()) break;  // not well-formed: the reader says so next
                if (path.back() == Node::Dialog) {
                    Finish(*dialog, info);
                    dialog.reset();
                }
                path.pop_back();
                break;
            default:
                break;
        }
    }
    return xml.hasError() || !rootSeen ? Verdict::Unreadable : Verdict::Read;
}

bool IsUtf8Name(const QString& encoding) {
    return encoding.isEmpty() || encoding.compare(u"utf-8", Qt::CaseInsensitive) == 0 ||
           encoding.compare(u"utf8", Qt::CaseInsensitive) == 0;
}

// Servers copy a caller's display name into the document as its bytes came,
// so one stray byte would hide a line's calls for as long as the call lasts.
// Such a body is read again with bytes that are not UTF-8 taken as Latin-1
// and control bytes as blanks, as the other providers read caller ids; no
// markup character is touched, so the structure stays as it was.
std::optional<QByteArray> Mended(std::string_view body, const QString& encoding) {
    std::string text(body);
    if (IsUtf8Name(encoding) && !Utf8Text::IsValid(text)) text = Utf8Text::Repaired(text);
    for (char& c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') c = ' ';
    }
    if (text == body) return std::nullopt;
    return QByteArray::fromStdString(text);
}

}  // namespace

bool DialogInfo::IsEmptyBody(std::string_view body) {
    return body.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

std::optional<DialogInfo> DialogInfo::Parse(std::string_view body) {
    if (body.size() > kMaxBytes || IsEmptyBody(body)) return std::nullopt;
    DialogInfo info;
    QString encoding;
    Verdict verdict =
        Read(QByteArray(body.data(), static_cast<qsizetype>(body.size())), info, &encoding);
    if (verdict == Verdict::Unreadable) {
        if (const auto mended = Mended(body, encoding)) {
            info = DialogInfo();
            verdict = Read(*mended, info, &encoding);
        }
    }
    if (verdict != Verdict::Read) return std::nullopt;
    return info;
}

}  // namespace platform::sip
