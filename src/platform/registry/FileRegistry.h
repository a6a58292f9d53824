#pragma once
// The per-user registry (HKEY_CURRENT_USER) kept in one text file.
//
// File format (plain ASCII text):
//
//   # Vastrel registry store (HKEY_CURRENT_USER), written by the program.
//
//   [Software\Orlwen\Vastrel]
//   "hKey"=REG_SZ:" 1234"
//
//   [Software\Orlwen\Pelmarsh]
//   "hTapi"=REG_SZ:"65537"
//
// - A line "[path]" starts a key; levels are separated by "\", compared
//   without regard to case. In a path, control bytes, bytes above 0x7E and
//   "%" are written as %HH.
// - A line "name"=TYPE:"data" is a value of the key above it. TYPE is REG_SZ
//   or type(N) with the decimal type number. Name and data are quoted; inside
//   the quotes \" and \\ stand for themselves and \xHH for any other byte
//   outside 0x20..0x7E, so every byte sequence is kept exactly (no NUL is
//   added or removed).
// - Lines starting with "#" and empty lines are ignored, as are lines that
//   cannot be read; they are not written back.
//
// Every call reads the file anew, so values written by another process are
// seen at once. Every change is a read-modify-write under an exclusive flock
// on "<store>.lock" and replaces the file atomically. HKEY_LOCAL_MACHINE
// holds nothing: opening a key there gives ERROR_FILE_NOT_FOUND.
#include <QString>
#include <map>

#include "platform/registry/Registry.h"
#include "platform/registry/RegistryStore.h"

namespace platform {

class FileRegistry : public Registry {
public:
    explicit FileRegistry(QString storeFile);

    LONG RegCreateKeyA(HKEY root, const std::string& subKey, HKEY* result) override;
    LONG RegOpenKeyExA(HKEY root, const std::string& subKey, DWORD options, DWORD samDesired,
                       HKEY* result) override;
    LONG RegQueryValueExA(HKEY key, const std::string& valueName, DWORD* reserved, DWORD* type,
                          BYTE* data, DWORD* cbData) override;
    LONG RegSetValueExA(HKEY key, const std::string& valueName, DWORD reserved, DWORD type,
                        const BYTE* data, DWORD cbData) override;
    LONG RegDeleteValueA(HKEY key, const std::string& valueName) override;
    LONG RegCloseKey(HKEY key) override;

private:
    struct OpenKey {
        std::string path;
        DWORD access = 0;
    };
    enum class Root { User, Unavailable, Invalid };

    Root Resolve(HKEY key, OpenKey& open) const;
    static LONG RootError(Root root, LONG unavailable);
    HKEY AddHandle(std::string path, DWORD access);
    LONG Load(RegistryStore& store) const;
    // Runs change on the freshly read store under the lock; writes the store
    // back when change reports that it altered it.
    template <typename Change>
    LONG Update(Change change);

    QString storeFile_;
    QString lockFile_;
    std::map<HKEY, OpenKey> handles_;
    HKEY nextHandle_ = 0x100;
};

}  // namespace platform
