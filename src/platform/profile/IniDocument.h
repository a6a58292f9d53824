#pragma once
// The text of one private-profile file, searched the way the profile
// functions search it. Lines are found by scanning, never stored, so a huge
// or damaged file costs one linear pass and no extra memory per line.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class IniDocument {
public:
    explicit IniDocument(std::string text) : text_(std::move(text)) {}

    // The value of key in the first section of that name (case ignored),
    // with the blanks after "=" skipped; the first of repeated keys counts.
    std::optional<std::string_view> Find(std::string_view section, std::string_view key) const;

    // Every key line Find can see, in one pass and in file order: those of
    // the first section of each name, repeated keys included (Find gives the
    // first). For reading a whole file without one pass per key.
    using KeyVisitor =
        std::function<void(std::string_view section, std::string_view key, std::string_view value)>;
    void ForEachKey(const KeyVisitor& visit) const;

    // The whole text with "key=value" replacing the key's line, or added at
    // the end of its section, or in a new section at the end of the text.
    // Every other byte stays as it was.
    std::string WithValue(std::string_view section, std::string_view key,
                          std::string_view value) const;

private:
    struct Line {
        std::size_t begin = 0;
        std::size_t length = 0;  // without the line end
        std::size_t ending = 0;  // 0 (last line), 1 (LF) or 2 (CR LF)
        std::size_t End() const { return begin + length + ending; }
    };
    struct Location {
        bool sectionFound = false;
        std::optional<Line> keyLine;
        Line lastFilled;  // the section's last non-blank line (its header at least)
    };

    Line LineAt(std::size_t begin) const;
    std::string_view Content(const Line& line) const;
    Location Locate(std::string_view section, std::string_view key) const;
    std::string_view LineEnd() const;

    std::string text_;
};

}  // namespace platform
