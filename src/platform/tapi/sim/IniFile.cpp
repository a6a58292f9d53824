#include "IniFile.h"

#include <cctype>

namespace platform::sim {
namespace {

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

}  // namespace

std::string IniFile::Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile ini;
    std::map<std::string, std::string>* current = nullptr;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        const std::string_view line = Trim(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos) {
                current = nullptr;  // a damaged header: ignore its keys rather than misfile them
                continue;
            }
            const std::string_view name = Trim(line.substr(1, close - 1));
            auto [it, added] = ini.sections_.try_emplace(Lower(name));
            if (added) ini.sectionOrder_.emplace_back(name);
            current = &it->second;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (current == nullptr || equals == std::string_view::npos) continue;
        current->try_emplace(Lower(Trim(line.substr(0, equals))),
                             std::string(Trim(line.substr(equals + 1))));
    }
    return ini;
}

std::optional<std::string> IniFile::Value(std::string_view section, std::string_view key) const {
    const auto s = sections_.find(Lower(section));
    if (s == sections_.end()) return std::nullopt;
    const auto k = s->second.find(Lower(key));
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

}  // namespace platform::sim
