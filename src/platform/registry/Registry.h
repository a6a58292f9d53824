#pragma once
// The registry calls the program makes, for HKEY_CURRENT_USER only.
#include <string>

#include "platform/Win32.h"

namespace platform {

using HKEY = std::uint32_t;
inline constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
inline constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;

inline constexpr DWORD REG_NONE = 0;
inline constexpr DWORD REG_SZ = 1;
inline constexpr DWORD KEY_QUERY_VALUE = 0x0001;
inline constexpr DWORD KEY_SET_VALUE = 0x0002;
inline constexpr DWORD KEY_READ = 0x20019;
inline constexpr DWORD KEY_WRITE = 0x20006;
inline constexpr DWORD KEY_ALL_ACCESS = 0xF003F;

class Registry {
public:
    virtual ~Registry() = default;
    // Creates the key path (every missing level) or opens it.
    virtual LONG RegCreateKeyA(HKEY root, const std::string& subKey, HKEY* result) = 0;
    // Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
    virtual LONG RegOpenKeyExA(HKEY root, const std::string& subKey, DWORD options,
                               DWORD samDesired, HKEY* result) = 0;
    // data == nullptr: size query, *cbData receives the stored byte count.
    // A buffer smaller than the value: ERROR_MORE_DATA and the needed size.
    virtual LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD* reserved,
                                  DWORD* type, BYTE* data, DWORD* cbData) = 0;
    // Stores exactly cbData bytes (no NUL is added).
    virtual LONG RegSetValueExA(HKEY key, const std::string& valueName, DWORD reserved, DWORD type,
                                const BYTE* data, DWORD cbData) = 0;
    virtual LONG RegDeleteValueA(HKEY key, const std::string& valueName) = 0;
    virtual LONG RegCloseKey(HKEY key) = 0;
};

}  // namespace platform
