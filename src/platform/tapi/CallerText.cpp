#include "CallerText.h"

#include "platform/HexDigit.h"
#include "platform/Utf8Text.h"

namespace platform {

std::string CallerText::FromHex(std::string_view hex, std::size_t maxBytes) {
    if (hex.size() % 2 != 0 || hex.size() / 2 > maxBytes) return {};
    std::string out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigit(hex[i]);
        const int low = HexDigit(hex[i + 1]);
        if (high < 0 || low < 0) return {};
        out.push_back(static_cast<char>(high * 16 + low));
    }
    return out;
}

std::string CallerText::Safe(std::string_view bytes, std::size_t maxChars) {
    const std::string text = Utf8Text::Barred(bytes);
    const std::string_view cut = Utf8Text::Left(text, maxChars);
    const std::size_t first = cut.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(cut.substr(first, cut.find_last_not_of(' ') - first + 1));
}

std::string CallerText::Decode(std::string_view hex, std::size_t maxChars) {
    // A character takes at most four bytes; more input cannot be shown.
    return Safe(FromHex(hex.substr(0, std::min(hex.size(), maxChars * 8)), maxChars * 4), maxChars);
}

}  // namespace platform
