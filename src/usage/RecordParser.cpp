#include "RecordParser.h"

#include <cstring>

namespace {
constexpr std::string_view kUnmonitored = "Line cannot be monitored";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits from pos; false when there are none or too many.
bool Number(std::string_view text, std::size_t& pos, int& value) {
    const std::size_t first = pos;
    value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - first < 9)
        value = value * 10 + (text[pos++] - '0');
    return pos > first && (pos == text.size() || !IsDigit(text[pos]));
}

bool Skip(std::string_view text, std::size_t& pos, std::string_view what) {
    if (text.substr(pos, what.size()) != what) return false;
    pos += what.size();
    return true;
}

// The tab before end, searched backwards.
std::size_t TabBefore(std::string_view text, std::size_t end) {
    if (end == 0 || end == std::string_view::npos) return std::string_view::npos;
    const void* at = memrchr(text.data(), '\t', end);
    return at ? static_cast<const char*>(at) - text.data() : std::string_view::npos;
}
}  // namespace

std::optional<int> RecordParser::ParseDuration(std::string_view text) {
    std::size_t pos = 0;
    int h = 0, m = 0, s = 0;
    if (!Skip(text, pos, " ") || !Number(text, pos, h) || !Skip(text, pos, " h  ") ||
        !Number(text, pos, m) || !Skip(text, pos, " m  ") || !Number(text, pos, s) ||
        !Skip(text, pos, " s") || pos != text.size() || m > 59 || s > 59)
        return std::nullopt;
    return h * 3600 + m * 60 + s;
}

std::optional<RecordParser::Record> RecordParser::Parse(std::string_view text) {
    Record r;
    std::size_t pos = 0;
    if (!Skip(text, pos, " ") || !Number(text, pos, r.row) || r.row < 1 || !Skip(text, pos, "\t"))
        return std::nullopt;
    if (text.size() >= pos + kUnmonitored.size() && text.ends_with(kUnmonitored)) {
        r.monitored = false;
        r.nameField = text.substr(pos, text.size() - kUnmonitored.size() - pos);
        return r;
    }
    // From the right, so that a name holding a tab still reads.
    const std::size_t total = TabBefore(text, text.size());
    const std::size_t online = TabBefore(text, total);
    const std::size_t stamp = TabBefore(text, online);
    const std::size_t state = TabBefore(text, stamp);
    if (state == std::string_view::npos || state < pos) return std::nullopt;
    const std::string_view stateText = text.substr(state + 1, stamp - state - 1);
    if (stateText != "  1" && stateText != "  0") return std::nullopt;
    r.online = stateText[2] == '1';
    r.nameField = text.substr(pos, state - pos);
    const auto when = stamps_.Read(text.substr(stamp + 1, online - stamp - 1));
    // The running total is not used: its shape is checked, not its figure.
    const std::string_view totalText = text.substr(total + 1);
    if (!when || !totalText.starts_with(' ') || !totalText.ends_with(" s")) return std::nullopt;
    r.stamp = *when;
    // An idle record's time online is 0 and never read.
    if (!r.online) return r;
    const auto seconds = ParseDuration(text.substr(online + 1, total - online - 1));
    if (!seconds) return std::nullopt;
    r.timeOnline = *seconds;
    return r;
}
