#pragma once
// Caller numbers and names arrive from the network: hex encoded by the
// Kamailio configuration, or as SIP URIs and display names in dialog
// documents. They are handed over as every provider hands them:
// valid UTF-8 (platform/Utf8Text.h), cut to a bounded number of characters.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

class CallerText {
public:
    static constexpr std::size_t kMaxNumber = 64;
    static constexpr std::size_t kMaxName = 64;

    // Hex digits to bytes; nothing for odd lengths, non-hex digits or more
    // than maxBytes bytes of input.
    static std::string FromHex(std::string_view hex, std::size_t maxBytes);
    // Well-formed UTF-8 stays; any other byte is taken as Latin-1. Control
    // characters become '|', the text is cut to maxChars characters and its
    // outer blanks go.
    static std::string Safe(std::string_view bytes, std::size_t maxChars);
    // Both: what a hex field of an event or a dialog variable gives.
    static std::string Decode(std::string_view hex, std::size_t maxChars);
};

}  // namespace platform
