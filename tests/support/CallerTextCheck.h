#pragma once
// What every provider hands over as a caller's number or name, checked by the
// fuzz targets of both network providers.
#include <QString>
#include <algorithm>
#include <string>

#include "platform/Utf8Text.h"

// Valid UTF-8 without control characters, no outer blanks, cut to max
// characters: what every provider hands over.
inline bool IsCallerText(const std::string& text, std::size_t max) {
    using platform::Utf8Text;
    if (!Utf8Text::IsValid(text) || Utf8Text::Length(text) > max ||
        (!text.empty() && (text.front() == ' ' || text.back() == ' ')))
        return false;
    const QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    return std::none_of(shown.begin(), shown.end(), [](QChar c) {
        return c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() < 0xA0);
    });
}
