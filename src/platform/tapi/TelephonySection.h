#pragma once
// One section of telephon.ini as a provider gets it: its keys and values,
// looked up without regard to case.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class TelephonySection {
public:
    TelephonySection() = default;
    explicit TelephonySection(std::string_view name) : name_(name) {}

    // As written in its header.
    const std::string& Name() const { return name_; }
    // The first of repeated keys counts; blanks around the value are dropped.
    void Add(std::string_view key, std::string_view value);
    std::optional<std::string> Value(std::string_view key) const;
    // The value is word, case ignored (Traffic=Demo is demo).
    bool ValueIs(std::string_view key, std::string_view word) const;

    // The watched extensions of a network provider: Line1=, Line2=, ... up to
    // the first one missing or not usable, at most max. Each comes with its
    // LineNName= (\xHH escapes, made valid UTF-8), or the extension when none.
    struct Line {
        std::string extension;
        std::string name;
    };
    std::vector<Line> Lines(std::size_t max,
                            const std::function<bool(std::string_view)>& usable) const;

private:
    std::string name_;
    std::map<std::string, std::string> values_;  // by folded key
};

}  // namespace platform
