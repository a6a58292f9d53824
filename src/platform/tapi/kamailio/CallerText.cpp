#include "CallerText.h"

#include "platform/HexDigit.h"

#include <cstdint>

namespace platform::kamailio {
namespace {

// The code point of a well-formed UTF-8 sequence at text[i] and its length,
// or length 0 when there is none (overlong forms and surrogates included).
std::pair<std::uint32_t, std::size_t> Utf8At(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length = 0;
    std::uint32_t point = 0;
    std::uint32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, minimum = 0x10000;
    } else {
        return {0, 0};
    }
    if (i + length > text.size()) return {0, 0};
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return {0, 0};
        point = (point << 6) | (byte(i + k) & 0x3F);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {0, 0};
    return {point, length};
}

bool Printable(std::uint32_t point) {
    return point >= 0x20 && point != 0x7F && !(point >= 0x80 && point < 0xA0);
}

}  // namespace

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
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && out.size() < maxChars;) {
        auto [point, length] = Utf8At(bytes, i);
        if (length == 0) {
            point = static_cast<unsigned char>(bytes[i]);
            length = 1;
        }
        i += length;
        out.push_back(point <= 0xFF && Printable(point) ? static_cast<char>(point) : '?');
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

std::string CallerText::Decode(std::string_view hex, std::size_t maxChars) {
    // A UTF-8 character takes at most four bytes; more input cannot be shown.
    return Safe(FromHex(hex.substr(0, std::min(hex.size(), maxChars * 8)), maxChars * 4), maxChars);
}

}  // namespace platform::kamailio
