#include "IniDocument.h"

#include <cstring>
#include <set>

#include "platform/AsciiCase.h"

namespace platform {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// "[name]" with optional blanks around; anything after "]" is ignored.
std::optional<std::string_view> SectionName(std::string_view line) {
    line = TrimBlanks(line);
    if (line.empty() || line.front() != '[') return std::nullopt;
    const std::size_t close = line.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return TrimBlanks(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> ParseKeyLine(std::string_view line) {
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) return std::nullopt;
    std::string_view value = line.substr(equals + 1);
    while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
    return KeyLine{TrimBlanks(line.substr(0, equals)), value};
}

bool IsBlankLine(std::string_view line) {
    return TrimBlanks(line).empty();
}

}  // namespace

IniDocument::Line IniDocument::LineAt(std::size_t begin) const {
    const char* start = text_.data() + begin;
    const auto* newline = static_cast<const char*>(std::memchr(start, '\n', text_.size() - begin));
    Line line{begin, text_.size() - begin, 0};
    if (newline != nullptr) {
        line.length = static_cast<std::size_t>(newline - start);
        line.ending = 1;
        if (line.length > 0 && start[line.length - 1] == '\r') {
            --line.length;
            line.ending = 2;
        }
    } else if (line.length > 0 && start[line.length - 1] == '\r') {
        // A last line cut off after its CR reads like a complete CR LF line.
        --line.length;
        line.ending = 1;
    }
    return line;
}

std::string_view IniDocument::Content(const Line& line) const {
    return std::string_view(text_).substr(line.begin, line.length);
}

IniDocument::Location IniDocument::Locate(std::string_view section, std::string_view key) const {
    Location location;
    section = TrimBlanks(section);
    key = TrimBlanks(key);
    for (std::size_t pos = 0; pos < text_.size();) {
        const Line line = LineAt(pos);
        pos = line.End();
        const std::string_view content = Content(line);
        if (const auto name = SectionName(content)) {
            // Only the first section of that name is ever used.
            if (location.sectionFound) break;
            if (!SameText(*name, section)) continue;
            location.sectionFound = true;
            location.lastFilled = line;
            continue;
        }
        if (!location.sectionFound) continue;
        if (!IsBlankLine(content)) location.lastFilled = line;
        const auto keyLine = ParseKeyLine(content);
        if (keyLine && SameText(keyLine->key, key)) {
            location.keyLine = line;
            break;
        }
    }
    return location;
}

std::optional<std::string_view> IniDocument::Find(std::string_view section,
                                                  std::string_view key) const {
    const Location location = Locate(section, key);
    if (!location.keyLine) return std::nullopt;
    return ParseKeyLine(Content(*location.keyLine))->value;
}

void IniDocument::ForEachKey(const KeyVisitor& visit) const {
    std::set<std::string> seen;  // folded names: a section's later blocks are not read
    std::optional<std::string_view> section;
    for (std::size_t pos = 0; pos < text_.size();) {
        const Line line = LineAt(pos);
        pos = line.End();
        const std::string_view content = Content(line);
        if (const auto name = SectionName(content)) {
            section = seen.insert(Folded(*name)).second ? name : std::nullopt;
            continue;
        }
        if (!section) continue;
        if (const auto keyLine = ParseKeyLine(content))
            visit(*section, keyLine->key, keyLine->value);
    }
}

std::string_view IniDocument::LineEnd() const {
    // New lines follow the file's own line ends; a new file gets CR LF.
    if (text_.empty()) return "\r\n";
    return LineAt(0).ending == 1 ? "\n" : "\r\n";
}

std::string IniDocument::WithValue(std::string_view section, std::string_view key,
                                   std::string_view value) const {
    // Complete a CR left at the very end first, so the line it ends keeps
    // reading the same after the write.
    if (!text_.empty() && text_.back() == '\r')
        return IniDocument(text_ + "\n").WithValue(section, key, value);
    const Location location = Locate(section, key);
    const std::string_view text(text_);
    const std::string_view eol = LineEnd();
    std::string keyText;
    keyText.reserve(key.size() + value.size() + 1);
    keyText.append(key).append("=").append(value);

    std::string out;
    out.reserve(text_.size() + keyText.size() + section.size() + 8);
    if (location.keyLine) {
        const Line& line = *location.keyLine;
        out.append(text.substr(0, line.begin)).append(keyText);
        out.append(text.substr(line.begin + line.length));
        return out;
    }
    if (location.sectionFound) {
        const Line& after = location.lastFilled;
        out.append(text.substr(0, after.End()));
        if (after.ending == 0) out.append(eol);
        out.append(keyText).append(eol);
        out.append(text.substr(after.End()));
        return out;
    }
    out.append(text);
    if (!text.empty() && text.back() != '\n') out.append(eol);
    out.append("[").append(section).append("]").append(eol);
    out.append(keyText).append(eol);
    return out;
}

}  // namespace platform
