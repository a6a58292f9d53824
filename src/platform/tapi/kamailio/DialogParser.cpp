#include "DialogParser.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include "KamailioConfig.h"
#include "platform/tapi/CallerText.h"

namespace platform::kamailio {
namespace {

// Callers control parts of what the server prints (the From URI, for one)
// and Kamailio passes their bytes on raw. Raw control bytes are only legal
// JSON as blanks between tokens, and invalid UTF-8 would fail the whole
// document, so both are neutralised before parsing; no structural character
// is touched.
std::optional<QJsonDocument> ParseLenient(const QByteArray& json, qsizetype limit) {
    if (json.size() > limit) return std::nullopt;
    QByteArray text = QString::fromUtf8(json).toUtf8();
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError) return std::nullopt;
    return document;
}

std::string Text(const QJsonValue& value) {
    return value.isString() ? value.toString().toStdString() : std::string();
}

// "123:4567", bounded, digits only.
std::optional<std::string> DialogKey(const QString& text) {
    static constexpr qsizetype kMaxKey = 24;
    const qsizetype colon = text.indexOf(':');
    if (text.size() > kMaxKey || colon <= 0 || colon == text.size() - 1) return std::nullopt;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // ASCII only: other scripts' digits name no dialog a snapshot could list.
        const QChar c = text[i];
        if (i != colon && (c < u'0' || c > u'9')) return std::nullopt;
    }
    return text.toStdString();
}

std::optional<std::string> DialogKey(const QJsonValue& entry, const QJsonValue& id) {
    if (!entry.isDouble() || !id.isDouble()) return std::nullopt;
    const qint64 e = entry.toInteger(-1);
    const qint64 i = id.toInteger(-1);
    if (e < 0 || i < 0) return std::nullopt;
    return std::to_string(e) + ":" + std::to_string(i);
}

std::string Extension(const QJsonValue& hex) {
    // An extension is compared, never shown: decoded bytes as they are.
    return CallerText::FromHex(Text(hex), KamailioConfig::kMaxExtension);
}

}  // namespace

DWORD DialogParser::CallState(qint64 dialogState) {
    if (dialogState == 1 || dialogState == 2) return LINECALLSTATE_OFFERING;
    if (dialogState == 3 || dialogState == 4) return LINECALLSTATE_CONNECTED;
    return 0;
}

std::optional<DialogRecord> DialogParser::ParseEvent(const QByteArray& json) {
    const auto document = ParseLenient(json, kMaxEvent);
    if (!document || !document->isObject()) return std::nullopt;
    const QJsonObject event = document->object();
    const QString kind = event.value("event").toString();
    DialogRecord record;
    if (kind == "offering") {
        record.state = LINECALLSTATE_OFFERING;
    } else if (kind == "answered") {
        record.state = LINECALLSTATE_CONNECTED;
    } else if (kind != "ended") {
        return std::nullopt;
    }
    const auto key = DialogKey(event.value("dialog").toString());
    if (!key) return std::nullopt;
    record.key = *key;
    record.line = Extension(event.value("line"));
    record.number = CallerText::Decode(Text(event.value("number")), CallerText::kMaxNumber);
    record.name = CallerText::Decode(Text(event.value("name")), CallerText::kMaxName);
    return record;
}

std::optional<std::vector<DialogRecord>> DialogParser::ParseProfileList(const QByteArray& json) {
    const auto document = ParseLenient(json, kMaxReply);
    if (!document || !document->isObject()) return std::nullopt;
    const QJsonValue result = document->object().value("result");
    if (!result.isArray()) return std::nullopt;
    std::vector<DialogRecord> dialogs;
    for (const QJsonValue& item : result.toArray()) {
        const QJsonObject dialog = item.toObject();
        DialogRecord record;
        record.state = CallState(dialog.value("state").toInteger(0));
        const auto key = DialogKey(dialog.value("h_entry"), dialog.value("h_id"));
        if (record.state == 0 || !key) continue;
        record.key = *key;
        for (const QJsonValue& profile : dialog.value("profiles").toArray()) {
            const QJsonValue value = profile.toObject().value(kProfile);
            if (value.isString()) record.line = Text(value);
        }
        // Kamailio lists variables as one-member objects.
        for (const QJsonValue& variable : dialog.value("variables").toArray()) {
            const QJsonObject v = variable.toObject();
            if (v.contains("vastrel_number"))
                record.number =
                    CallerText::Decode(Text(v.value("vastrel_number")), CallerText::kMaxNumber);
            if (v.contains("vastrel_name"))
                record.name =
                    CallerText::Decode(Text(v.value("vastrel_name")), CallerText::kMaxName);
            if (record.line.empty() && v.contains("vastrel_line"))
                record.line = Extension(v.value("vastrel_line"));
        }
        dialogs.push_back(std::move(record));
    }
    return dialogs;
}

QByteArray DialogParser::ProfileListRequest(int id) {
    const QJsonObject request{{"jsonrpc", "2.0"},
                              {"method", "dlg.profile_list"},
                              {"params", QJsonArray{QString::fromLatin1(kProfile)}},
                              {"id", id}};
    return QJsonDocument(request).toJson(QJsonDocument::Compact);
}

}  // namespace platform::kamailio
