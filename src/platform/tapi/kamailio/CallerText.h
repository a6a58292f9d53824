#pragma once
// Caller numbers and names arrive from the network, hex encoded by the
// server's configuration. They end up in fixed-width single-byte log columns,
// so they are cut to a bounded length and reduced to printable Latin-1.
#include <cstddef>
#include <string>
#include <string_view>

namespace platform::kamailio {

class CallerText {
public:
    static constexpr std::size_t kMaxNumber = 64;
    static constexpr std::size_t kMaxName = 64;

    // Hex digits to bytes; nothing for odd lengths, non-hex digits or more
    // than maxBytes bytes of input.
    static std::string FromHex(std::string_view hex, std::size_t maxBytes);
    // Well-formed UTF-8 sequences become their Latin-1 character, or '?' when
    // there is none; any other byte is taken as Latin-1 already. Control
    // characters become '?', outer blanks go, and the text is cut to maxChars.
    static std::string Safe(std::string_view bytes, std::size_t maxChars);
    // Both: what a hex field of an event or a dialog variable gives.
    static std::string Decode(std::string_view hex, std::size_t maxChars);
};

}  // namespace platform::kamailio
