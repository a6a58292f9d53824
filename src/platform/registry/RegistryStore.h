#pragma once
// The content of the registry store file as keys and values, and its text
// form (described in FileRegistry.h).
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/Win32.h"

namespace platform {

class RegistryStore {
public:
    struct Value {
        std::string name;
        DWORD type = 0;
        std::string data;
    };

    // Lines that cannot be read are skipped; a damaged file never fails.
    static RegistryStore Parse(std::string_view text);
    std::string Format() const;

    // "a\\b\\" and "\\A\\B" name the same key: empty levels are dropped.
    static std::string NormalizePath(std::string_view path);
    static std::string JoinPath(const std::string& parent, std::string_view subKey);

    // A key exists when it was created itself or any key below it was; the
    // root (the empty path) always exists.
    bool HasKey(const std::string& path) const;
    void AddKey(const std::string& path);

    const Value* FindValue(const std::string& path, std::string_view name) const;
    void SetValue(const std::string& path, const Value& value);
    bool DeleteValue(const std::string& path, std::string_view name);

private:
    struct Key {
        std::string path;
        std::vector<Value> values;
    };

    Key* FindKey(const std::string& path);
    const Key* FindKey(const std::string& path) const;
    Key& AddOrFindKey(const std::string& path);
    static constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
    void ParseLine(std::string_view line, std::size_t& current);

    std::vector<Key> keys_;
    std::unordered_map<std::string, std::size_t> index_;  // folded path -> keys_
};

}  // namespace platform
