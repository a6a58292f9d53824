#include "RegistryStore.h"

#include <algorithm>
#include <optional>

#include "platform/AsciiCase.h"
#include "platform/HexDigit.h"

namespace platform {
namespace {

constexpr std::string_view kHeader =
    "# Vastrel registry store (HKEY_CURRENT_USER), written by the program.\n";
constexpr std::string_view kHexDigits = "0123456789ABCDEF";
constexpr DWORD kRegSz = 1;

void AppendHex(std::string& out, unsigned char byte) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

std::optional<char> HexPair(std::string_view text, std::size_t at) {
    if (at + 1 >= text.size()) return std::nullopt;
    const int high = HexDigit(text[at]);
    const int low = HexDigit(text[at + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    return static_cast<char>(high * 16 + low);
}

// Key paths stay readable: the backslash is the level separator, so only
// control bytes, bytes above 0x7E and '%' itself are written as %HH.
std::string EscapePath(std::string_view path) {
    std::string out;
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte > 0x7E || c == '%') {
            out += '%';
            AppendHex(out, byte);
        } else {
            out += c;
        }
    }
    return out;
}

std::optional<std::string> UnescapePath(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const auto byte = HexPair(text, i + 1);
        if (!byte) return std::nullopt;
        out += *byte;
        i += 2;
    }
    return out;
}

std::string Quote(std::string_view bytes) {
    std::string out = "\"";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte > 0x7E) {
            out += "\\x";
            AppendHex(out, byte);
        } else {
            out += c;
        }
    }
    return out + '"';
}

// Reads a quoted text starting at text[pos] == '"'; pos ends after the
// closing quote.
std::optional<std::string> Unquote(std::string_view text, std::size_t& pos) {
    if (pos >= text.size() || text[pos] != '"') return std::nullopt;
    std::string out;
    for (std::size_t i = pos + 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            pos = i + 1;
            return out;
        }
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 1 >= text.size()) return std::nullopt;
        const char next = text[i + 1];
        if (next == '"' || next == '\\') {
            out += next;
            i += 1;
        } else if (next == 'x') {
            const auto byte = HexPair(text, i + 2);
            if (!byte) return std::nullopt;
            out += *byte;
            i += 3;
        } else {
            return std::nullopt;
        }
    }
    return std::nullopt;
}

std::string TypeName(DWORD type) {
    return type == kRegSz ? std::string("REG_SZ") : "type(" + std::to_string(type) + ")";
}

std::optional<DWORD> ParseType(std::string_view text) {
    if (text == "REG_SZ") return kRegSz;
    if (text.size() < 7 || text.substr(0, 5) != "type(" || text.back() != ')') return std::nullopt;
    const std::string_view digits = text.substr(5, text.size() - 6);
    if (digits.empty() || digits.size() > 10) return std::nullopt;
    unsigned long long value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<DWORD>(value);
}

// "name"=TYPE:"data"
std::optional<RegistryStore::Value> ParseValueLine(std::string_view line) {
    std::size_t pos = 0;
    auto name = Unquote(line, pos);
    if (!name || pos >= line.size() || line[pos] != '=') return std::nullopt;
    const std::size_t colon = line.find(':', pos + 1);
    if (colon == std::string_view::npos) return std::nullopt;
    const auto type = ParseType(line.substr(pos + 1, colon - pos - 1));
    pos = colon + 1;
    auto data = Unquote(line, pos);
    if (!type || !data || pos != line.size()) return std::nullopt;
    return RegistryStore::Value{std::move(*name), *type, std::move(*data)};
}

}  // namespace

std::string RegistryStore::NormalizePath(std::string_view path) {
    std::string out;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) {
            if (!out.empty()) out += '\\';
            out.append(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return out;
}

std::string RegistryStore::JoinPath(const std::string& parent, std::string_view subKey) {
    const std::string sub = NormalizePath(subKey);
    if (parent.empty()) return sub;
    if (sub.empty()) return parent;
    return parent + '\\' + sub;
}

RegistryStore RegistryStore::Parse(std::string_view text) {
    RegistryStore store;
    std::size_t current = kNoKey;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        store.ParseLine(line, current);
        start = end + 1;
    }
    return store;
}

void RegistryStore::ParseLine(std::string_view line, std::size_t& current) {
    if (line.empty() || line.front() == '#') return;
    if (line.front() == '[') {
        // Values under a key line that cannot be read belong nowhere.
        current = kNoKey;
        if (line.size() < 2 || line.back() != ']') return;
        const auto path = UnescapePath(line.substr(1, line.size() - 2));
        if (!path) return;
        const Key& key = AddOrFindKey(NormalizePath(*path));
        current = static_cast<std::size_t>(&key - keys_.data());
        return;
    }
    if (current == kNoKey) return;
    auto value = ParseValueLine(line);
    if (!value) return;
    // Of a value written twice by hand, the first counts.
    std::vector<Value>& values = keys_[current].values;
    const bool known = std::any_of(values.begin(), values.end(),
                                   [&](const Value& v) { return SameText(v.name, value->name); });
    if (!known) values.push_back(std::move(*value));
}

std::string RegistryStore::Format() const {
    std::string out(kHeader);
    for (const Key& key : keys_) {
        out += "\n[" + EscapePath(key.path) + "]\n";
        for (const Value& value : key.values) {
            out += Quote(value.name) + '=' + TypeName(value.type) + ':' + Quote(value.data) + '\n';
        }
    }
    return out;
}

bool RegistryStore::HasKey(const std::string& path) const {
    if (path.empty() || FindKey(path) != nullptr) return true;
    const std::string prefix = Folded(path) + '\\';
    return std::any_of(keys_.begin(), keys_.end(), [&](const Key& key) {
        return key.path.size() > prefix.size() &&
               SameText(key.path.substr(0, prefix.size()), prefix);
    });
}

void RegistryStore::AddKey(const std::string& path) {
    AddOrFindKey(path);
}

const RegistryStore::Value* RegistryStore::FindValue(const std::string& path,
                                                     std::string_view name) const {
    const Key* key = FindKey(path);
    if (key == nullptr) return nullptr;
    const auto it = std::find_if(key->values.begin(), key->values.end(),
                                 [&](const Value& v) { return SameText(v.name, name); });
    return it == key->values.end() ? nullptr : &*it;
}

void RegistryStore::SetValue(const std::string& path, const Value& value) {
    Key& key = AddOrFindKey(path);
    const auto it = std::find_if(key.values.begin(), key.values.end(),
                                 [&](const Value& v) { return SameText(v.name, value.name); });
    if (it == key.values.end()) {
        key.values.push_back(value);
    } else {
        // The name keeps the spelling it was created with, as in the Windows registry.
        it->type = value.type;
        it->data = value.data;
    }
}

bool RegistryStore::DeleteValue(const std::string& path, std::string_view name) {
    Key* key = FindKey(path);
    if (key == nullptr) return false;
    const auto it = std::find_if(key->values.begin(), key->values.end(),
                                 [&](const Value& v) { return SameText(v.name, name); });
    if (it == key->values.end()) return false;
    key->values.erase(it);
    return true;
}

RegistryStore::Key* RegistryStore::FindKey(const std::string& path) {
    const auto it = index_.find(Folded(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

const RegistryStore::Key* RegistryStore::FindKey(const std::string& path) const {
    const auto it = index_.find(Folded(path));
    return it == index_.end() ? nullptr : &keys_[it->second];
}

RegistryStore::Key& RegistryStore::AddOrFindKey(const std::string& path) {
    if (Key* key = FindKey(path)) return *key;
    index_.emplace(Folded(path), keys_.size());
    keys_.push_back(Key{path, {}});
    return keys_.back();
}

}  // namespace platform
