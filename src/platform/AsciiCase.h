#pragma once
// Letters in any case, for the names and numbers in the files we read (INI
// sections and keys, registry keys and values, "&H" numbers): ASCII letters
// only, whatever the process locale (Qt sets it from the environment).
#include <algorithm>
#include <string>
#include <string_view>

namespace platform {

inline char FoldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// For keys of maps that ignore case.
inline std::string Folded(std::string_view text) {
    std::string folded(text);
    std::transform(folded.begin(), folded.end(), folded.begin(), FoldCase);
    return folded;
}

inline bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return FoldCase(x) == FoldCase(y);
           });
}

}  // namespace platform
