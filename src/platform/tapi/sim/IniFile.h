#pragma once
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sim {

// A forgiving reader for telephon.ini: "[Section]" headers, "Key=Value" lines,
// ';' or '#' comments. Section and key names compare without regard to case,
// the first occurrence of a key wins, and lines it cannot read are skipped.
class IniFile {
public:
    static IniFile Parse(std::string_view text);

    // The value with surrounding blanks removed, or nothing when absent.
    std::optional<std::string> Value(std::string_view section, std::string_view key) const;
    // Section names as written, in file order.
    const std::vector<std::string>& Sections() const { return sectionOrder_; }

private:
    static std::string Lower(std::string_view text);

    std::map<std::string, std::map<std::string, std::string>> sections_;
    std::vector<std::string> sectionOrder_;
};

}  // namespace platform::sim
