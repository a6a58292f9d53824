#include "Utf8Text.h"

namespace platform {
namespace {

bool IsControl(char32_t point) {
    return point < 0x20 || (point >= 0x7F && point < 0xA0);
}

}  // namespace

Utf8Text::Sequence Utf8Text::SequenceAt(std::string_view bytes, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) return {lead, 1};
    std::size_t length = 0;
    char32_t point = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, minimum = 0x10000;
    } else {
        return {};
    }
    if (i + length > bytes.size()) return {};
    for (std::size_t k = 1; k < length; ++k) {
        if (!IsContinuation(bytes[i + k])) return {};
        point = (point << 6) | (byte(i + k) & 0x3F);
    }
    if (point < minimum || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF)) return {};
    return {point, length};
}

void Utf8Text::Append(std::string& out, char32_t point) {
    if (point < 0x80) {
        out.push_back(static_cast<char>(point));
        return;
    }
    static constexpr char32_t kLead[] = {0, 0xC0, 0xE0, 0xF0};
    const int extra = point < 0x800 ? 1 : point < 0x10000 ? 2 : 3;
    out.push_back(static_cast<char>(kLead[extra] | (point >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k)
        out.push_back(static_cast<char>(0x80 | ((point >> (6 * k)) & 0x3F)));
}

std::string Utf8Text::Repaired(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const Sequence s = SequenceAt(bytes, i);
        if (s.length == 0) {
            Append(out, static_cast<unsigned char>(bytes[i++]));
        } else {
            out.append(bytes.substr(i, s.length));
            i += s.length;
        }
    }
    return out;
}

std::string Utf8Text::Barred(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        Sequence s = SequenceAt(bytes, i);
        if (s.length == 0) s = {static_cast<unsigned char>(bytes[i]), 1};
        i += s.length;
        Append(out, IsControl(s.point) ? U'|' : s.point);
    }
    return out;
}

bool Utf8Text::IsValid(std::string_view bytes) {
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = SequenceAt(bytes, i).length;
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::size_t Utf8Text::Length(std::string_view text) {
    std::size_t count = 0;
    for (const char c : text) count += !IsContinuation(c);
    return count;
}

std::string_view Utf8Text::Left(std::string_view text, std::size_t count) {
    std::size_t seen = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!IsContinuation(text[i]) && seen++ == count) return text.substr(0, i);
    }
    return text;
}

std::string Utf8Text::Padded(std::string_view text, std::size_t width) {
    std::string out(text);
    const std::size_t length = Length(text);
    if (length < width) out.append(width - length, ' ');
    return out;
}

std::string_view Utf8Text::FitBytes(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    std::size_t end = maxBytes;
    while (end > 0 && IsContinuation(text[end])) --end;
    return text.substr(0, end);
}

}  // namespace platform
