// The registry store's reader over arbitrary file bytes: it never fails, and
// what it keeps survives being written and read again unchanged.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "platform/registry/RegistryStore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::RegistryStore store = platform::RegistryStore::Parse(text);
    const std::string once = store.Format();
    const std::string twice = platform::RegistryStore::Parse(once).Format();
    if (once != twice) std::abort();

    // The program's own key and values can always be added and found again.
    const std::string key = "Software\\Orlwen\\Pelmarsh";
    store.AddKey(key);
    store.SetValue(key, {"hKey", 1, std::string(text.substr(0, 64))});
    const platform::RegistryStore reread = platform::RegistryStore::Parse(store.Format());
    const auto* value = reread.FindValue(key, "hkey");
    if (value == nullptr || value->data != text.substr(0, 64)) std::abort();
    return 0;
}
