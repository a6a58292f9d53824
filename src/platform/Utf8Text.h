#pragma once
// The program's text encoding. Names and caller ids travel as std::string in
// the single-byte "ANSI" text of the original platform, which on Linux is the
// locale's character set: UTF-8 on every current desktop, and what Qt 6
// assumes for local 8-bit text on Unix. So every such std::string holds valid
// UTF-8, and QString::fromUtf8/toUtf8 are the conversions at the windows.
//
// A character here is a code point: combining marks count as characters of
// their own and wide (CJK) characters as one column. Fixed-width fields count,
// pad and cut in code points and never split one.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class Utf8Text {
public:
    // Bytes from outside (files, the network, a telephony structure) as valid
    // UTF-8: well-formed sequences stay; any other byte is read as Latin-1,
    // the encoding earlier builds and some servers wrote, so such text still
    // reads right and a stray byte never becomes an error.
    static std::string Repaired(std::string_view bytes);
    // Repaired, with every control character (C0, DEL and C1) shown as "|",
    // so that no name can break a list row or a log line.
    static std::string Barred(std::string_view bytes);

    // Whether the bytes are well-formed UTF-8 (no overlong forms, surrogates or
    // code points above U+10FFFF).
    static bool IsValid(std::string_view bytes);

    // The functions below take valid UTF-8.

    // The number of characters.
    static std::size_t Length(std::string_view text);
    // The first `count` characters (all of a shorter text).
    static std::string_view Left(std::string_view text, std::size_t count);
    // The text followed by blanks up to `width` characters; a longer text stays whole.
    static std::string Padded(std::string_view text, std::size_t width);
    // The longest start of the text of at most `maxBytes` bytes that ends
    // between two characters.
    static std::string_view FitBytes(std::string_view text, std::size_t maxBytes);

private:
    struct Sequence {
        char32_t point = 0;
        std::size_t length = 0;  // 0: no well-formed sequence starts here
    };
    static Sequence SequenceAt(std::string_view bytes, std::size_t i);
    static void Append(std::string& out, char32_t point);
    static bool IsContinuation(char byte) {
        return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
    }
};

}  // namespace platform
