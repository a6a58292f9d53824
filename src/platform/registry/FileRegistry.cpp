#include "FileRegistry.h"

#include <cstring>
#include <utility>

#include "platform/file/AtomicFile.h"
#include "platform/file/FileLock.h"

namespace platform {
namespace {

// Writers hold the lock for one read-modify-write of a small file; waiting
// longer than this means the holder hangs.
constexpr int kLockTimeoutMs = 5000;

bool IsPredefinedRoot(HKEY key) {
    return key >= 0x80000000u;
}

}  // namespace

// The result a call gives for the root it was handed; `unavailable` for a
// root this store does not hold.
LONG FileRegistry::RootError(Root root, LONG unavailable) {
    if (root == Root::Invalid) return ERROR_INVALID_HANDLE;
    return root == Root::Unavailable ? unavailable : ERROR_SUCCESS;
}

FileRegistry::FileRegistry(QString storeFile)
    : storeFile_(std::move(storeFile)), lockFile_(storeFile_ + ".lock") {}

LONG FileRegistry::RegCreateKeyA(HKEY root, const std::string& subKey, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    OpenKey parent;
    if (const LONG error = RootError(Resolve(root, parent), ERROR_ACCESS_DENIED);
        error != ERROR_SUCCESS)
        return error;
    std::string path = RegistryStore::JoinPath(parent.path, subKey);
    const LONG status = Update([&](RegistryStore& store) {
        if (store.HasKey(path)) return false;
        store.AddKey(path);
        return true;
    });
    if (status != ERROR_SUCCESS) return status;
    *result = AddHandle(std::move(path), KEY_ALL_ACCESS);
    return ERROR_SUCCESS;
}

LONG FileRegistry::RegOpenKeyExA(HKEY root, const std::string& subKey, DWORD /*options*/,
                                 DWORD samDesired, HKEY* result) {
    if (result == nullptr) return ERROR_INVALID_PARAMETER;
    OpenKey parent;
    if (const LONG error = RootError(Resolve(root, parent), ERROR_FILE_NOT_FOUND);
        error != ERROR_SUCCESS)
        return error;
    RegistryStore store;
    if (const LONG status = Load(store); status != ERROR_SUCCESS) return status;
    std::string path = RegistryStore::JoinPath(parent.path, subKey);
    if (!store.HasKey(path)) return ERROR_FILE_NOT_FOUND;
    *result = AddHandle(std::move(path), samDesired);
    return ERROR_SUCCESS;
}

LONG FileRegistry::RegQueryValueExA(HKEY key, const std::string& valueName, DWORD* reserved,
                                    DWORD* type, BYTE* data, DWORD* cbData) {
    OpenKey open;
    if (const LONG error = RootError(Resolve(key, open), ERROR_FILE_NOT_FOUND);
        error != ERROR_SUCCESS)
        return error;
    if (reserved != nullptr || (data != nullptr && cbData == nullptr)) {
        return ERROR_INVALID_PARAMETER;
    }
    if ((open.access & KEY_QUERY_VALUE) == 0) return ERROR_ACCESS_DENIED;
    RegistryStore store;
    if (const LONG status = Load(store); status != ERROR_SUCCESS) return status;
    const RegistryStore::Value* value = store.FindValue(open.path, valueName);
    if (value == nullptr) return ERROR_FILE_NOT_FOUND;

    const auto size = static_cast<DWORD>(value->data.size());
    if (type != nullptr) *type = value->type;
    if (cbData == nullptr) return ERROR_SUCCESS;
    const DWORD offered = *cbData;
    *cbData = size;
    if (data == nullptr) return ERROR_SUCCESS;
    if (offered < size) return ERROR_MORE_DATA;
    if (size > 0) std::memcpy(data, value->data.data(), size);
    return ERROR_SUCCESS;
}

LONG FileRegistry::RegSetValueExA(HKEY key, const std::string& valueName, DWORD /*reserved*/,
                                  DWORD type, const BYTE* data, DWORD cbData) {
    OpenKey open;
    if (const LONG error = RootError(Resolve(key, open), ERROR_ACCESS_DENIED);
        error != ERROR_SUCCESS)
        return error;
    if (data == nullptr && cbData > 0) return ERROR_INVALID_PARAMETER;
    if ((open.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    RegistryStore::Value value{valueName, type, {}};
    if (cbData > 0) value.data.assign(reinterpret_cast<const char*>(data), cbData);
    return Update([&](RegistryStore& store) {
        // A key that another process's store no longer lists comes back.
        store.SetValue(open.path, value);
        return true;
    });
}

LONG FileRegistry::RegDeleteValueA(HKEY key, const std::string& valueName) {
    OpenKey open;
    if (const LONG error = RootError(Resolve(key, open), ERROR_FILE_NOT_FOUND);
        error != ERROR_SUCCESS)
        return error;
    if ((open.access & KEY_SET_VALUE) == 0) return ERROR_ACCESS_DENIED;
    bool found = false;
    const LONG status = Update([&](RegistryStore& store) {
        found = store.DeleteValue(open.path, valueName);
        return found;
    });
    if (status != ERROR_SUCCESS) return status;
    return found ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LONG FileRegistry::RegCloseKey(HKEY key) {
    // Closing a predefined root is allowed and does nothing.
    if (IsPredefinedRoot(key)) return ERROR_SUCCESS;
    return handles_.erase(key) == 1 ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

FileRegistry::Root FileRegistry::Resolve(HKEY key, OpenKey& open) const {
    if (key == HKEY_CURRENT_USER) {
        open = OpenKey{std::string(), KEY_ALL_ACCESS};
        return Root::User;
    }
    // HKEY_LOCAL_MACHINE and the other machine-wide roots hold nothing here.
    if (IsPredefinedRoot(key)) return Root::Unavailable;
    const auto it = handles_.find(key);
    if (it == handles_.end()) return Root::Invalid;
    open = it->second;
    return Root::User;
}

HKEY FileRegistry::AddHandle(std::string path, DWORD access) {
    // Handles stay below the predefined roots and are never 0 or reused
    // while open.
    while (nextHandle_ == 0 || IsPredefinedRoot(nextHandle_) || handles_.count(nextHandle_) > 0) {
        nextHandle_ = IsPredefinedRoot(nextHandle_) ? 0x100 : nextHandle_ + 1;
    }
    const HKEY handle = nextHandle_++;
    handles_.emplace(handle, OpenKey{std::move(path), access});
    return handle;
}

LONG FileRegistry::Load(RegistryStore& store) const {
    std::string text;
    switch (AtomicFile::ReadAll(storeFile_, text)) {
        case AtomicFile::ReadStatus::Missing:
            store = RegistryStore();
            return ERROR_SUCCESS;
        case AtomicFile::ReadStatus::Failed:
            return ERROR_ACCESS_DENIED;
        case AtomicFile::ReadStatus::Ok:
            break;
    }
    store = RegistryStore::Parse(text);
    return ERROR_SUCCESS;
}

template <typename Change>
LONG FileRegistry::Update(Change change) {
    const FileLock lock(lockFile_, kLockTimeoutMs);
    if (!lock.Locked()) return ERROR_WRITE_FAULT;
    RegistryStore store;
    // A store that cannot be read is never overwritten: its values would be lost.
    if (const LONG status = Load(store); status != ERROR_SUCCESS) return status;
    if (!change(store)) return ERROR_SUCCESS;
    return AtomicFile::Replace(storeFile_, store.Format()) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace platform
