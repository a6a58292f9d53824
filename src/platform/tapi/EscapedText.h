#pragma once
#include <string>
#include <string_view>

namespace platform {

// Backslash escapes that let any byte stand in a one-line text field:
// \xHH, \t, \n, \r, \\. Used for device names in telephon.ini and for caller
// ids in the shared exchange state.
class EscapedText {
public:
    // Unknown escapes and a lone trailing backslash are kept as written.
    static std::string Unescape(std::string_view text);
    // Control bytes, DEL and the backslash are escaped; everything else,
    // blanks and bytes above 0x7F included, stays as it is.
    static std::string Escape(std::string_view text);
};

}  // namespace platform
