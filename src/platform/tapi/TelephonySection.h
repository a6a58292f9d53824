#pragma once
// One section of telephon.ini as a provider gets it: its keys and values,
// looked up without regard to case.
#include <map>
#include <optional>
#include <string>
#include <string_view>

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

private:
    std::string name_;
    std::map<std::string, std::string> values_;  // by folded key
};

}  // namespace platform
