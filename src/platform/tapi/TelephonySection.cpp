#include "TelephonySection.h"

#include "platform/AsciiCase.h"
#include "platform/Utf8Text.h"
#include "platform/tapi/EscapedText.h"

namespace platform {
namespace {

std::string_view Trim(std::string_view text) {
    // A CR too: a line ended by CR CR LF still reads as its value.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

void TelephonySection::Add(std::string_view key, std::string_view value) {
    values_.try_emplace(Folded(Trim(key)), Trim(value));
}

std::optional<std::string> TelephonySection::Value(std::string_view key) const {
    const auto it = values_.find(Folded(key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

bool TelephonySection::ValueIs(std::string_view key, std::string_view word) const {
    const auto value = Value(key);
    return value && SameText(*value, word);
}

std::vector<TelephonySection::Line> TelephonySection::Lines(
    std::size_t max, const std::function<bool(std::string_view)>& usable) const {
    std::vector<Line> lines;
    for (std::size_t n = 1; n <= max; ++n) {
        const std::string key = "Line" + std::to_string(n);
        const auto extension = Value(key);
        if (!extension || !usable(*extension)) break;
        Line line{*extension, *extension};
        if (auto name = Value(key + "Name"); name && !name->empty())
            line.name = Utf8Text::Repaired(EscapedText::Unescape(*name));
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace platform
