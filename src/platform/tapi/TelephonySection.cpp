#include "TelephonySection.h"

#include <algorithm>

namespace platform {
namespace {

std::string_view Trim(std::string_view text) {
    // A CR too: a line ended by CR CR LF still reads as its value.
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

char FoldChar(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

std::string TelephonySection::Fold(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), FoldChar);
    return out;
}

bool TelephonySection::SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldChar(x) == FoldChar(y);
           });
}

void TelephonySection::Add(std::string_view key, std::string_view value) {
    values_.try_emplace(Fold(Trim(key)), Trim(value));
}

std::optional<std::string> TelephonySection::Value(std::string_view key) const {
    const auto it = values_.find(Fold(key));
    if (it == values_.end()) return std::nullopt;
    return it->second;
}

bool TelephonySection::ValueIs(std::string_view key, std::string_view word) const {
    const auto value = Value(key);
    return value && SameText(*value, word);
}

}  // namespace platform
