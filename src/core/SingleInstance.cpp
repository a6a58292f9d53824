#include "SingleInstance.h"

#include <vector>

#include <QThread>

#include "settings/ParseLeadingNumber.h"
#include "telephony/Tapi.h"
#include "telephony/TapiSession.h"

using namespace platform;

namespace {
// A value far larger than any handle text is not believed.
constexpr DWORD kMaxValueSize = 4096;
}  // namespace

SingleInstance::SingleInstance(Registry& registry, WindowSystem& windows, TapiSession& session)
    : registry_(registry), windows_(windows), session_(session) {}

SingleInstance::~SingleInstance() {
    if (key_ != 0) registry_.RegCloseKey(key_);
}

bool SingleInstance::OpenKey() {
    session_.lastResult = registry_.RegCreateKeyA(HKEY_CURRENT_USER, kProgramKey, &key_);
    if (session_.lastResult != ERROR_SUCCESS) key_ = 0;
    return session_.lastResult == ERROR_SUCCESS;
}

std::optional<std::string> SingleInstance::ReadValue(HKEY key, const char* name, LONG sizeResult,
                                                     DWORD size) {
    if (sizeResult != ERROR_SUCCESS || size > kMaxValueSize) return std::nullopt;
    std::vector<BYTE> text(size, ' ');
    DWORD type = REG_SZ;
    DWORD count = size;
    if (registry_.RegQueryValueExA(key, name, nullptr, &type, text.data(), &count) != ERROR_SUCCESS)
        return std::nullopt;
    return std::string(text.begin(), text.begin() + std::min(count, size));
}

bool SingleInstance::AnotherIsRunning() {
    size_ = 8;
    DWORD type = REG_SZ;
    sizeResult_ = registry_.RegQueryValueExA(key_, "hKey", nullptr, &type, nullptr, &size_);
    session_.lastResult = sizeResult_;
    return windows_.PrevInstance();
}

HWND SingleInstance::ReadHandle() {
    HWND first = 0;
    if (auto text = ReadValue(key_, "hKey", sizeResult_, size_))
        first = static_cast<HWND>(RoundToInt32(ParseLeadingNumber(*text)).value_or(0));
    registry_.RegCloseKey(key_);
    key_ = 0;
    return first;
}

HWND SingleInstance::ReadHandleAgain() {
    DWORD type = REG_SZ;
    if (registry_.RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_READ, &key_) !=
        ERROR_SUCCESS) {
        key_ = 0;
        return 0;
    }
    size_ = 8;
    sizeResult_ = registry_.RegQueryValueExA(key_, "hKey", nullptr, &type, nullptr, &size_);
    return ReadHandle();
}

LONG SingleInstance::HandOver(HWND ownHwnd, const std::string& commandText) {
    std::vector<char> buffer(kCommandBuffer, '\0');
    const std::string text = commandText.substr(0, kCommandBuffer - 1);
    std::copy(text.begin(), text.end(), buffer.begin());
    COPYDATASTRUCT cds;
    cds.dwData = text.empty() ? 1 : 3;
    cds.cbData = static_cast<DWORD>(text.size() + 1);
    cds.lpData = buffer.data();
    const auto send = [&](HWND first) {
        windows_.SendMessageA(first, WM_COPYDATA, ownHwnd, reinterpret_cast<LPARAM>(&cds));
        return windows_.LastError();
    };
    LONG error = send(ReadHandle());
    // The running copy takes the lock a moment before it announces its
    // window: a start in between finds no handle, or a dead copy's, and
    // would lose its command. It looks again for a short while.
    for (int tries = 0; error == ERROR_INVALID_HANDLE && tries < kAnnounceTries; ++tries) {
        QThread::msleep(kAnnounceWaitMs);
        error = send(ReadHandleAgain());
    }
    return error;
}

void SingleInstance::Announce(HWND hWnd) {
    const std::string text = " " + std::to_string(hWnd);
    session_.lastResult = registry_.RegSetValueExA(key_, "hKey", 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(text.data()),
                                                   static_cast<DWORD>(text.size()));
    registry_.RegCloseKey(key_);
    key_ = 0;
}

void SingleInstance::Withdraw() {
    HKEY key = 0;
    if (registry_.RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_WRITE, &key) !=
        ERROR_SUCCESS)
        return;
    registry_.RegDeleteValueA(key, "hKey");
    registry_.RegCloseKey(key);
}

std::optional<std::uint32_t> SingleInstance::StaleSessionHandle() {
    HKEY key = 0;
    if (registry_.RegCreateKeyA(HKEY_CURRENT_USER, Tapi::kSessionKey, &key) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD size = 8;
    DWORD type = REG_SZ;
    const LONG result = registry_.RegQueryValueExA(key, "hTapi", nullptr, &type, nullptr, &size);
    auto text = ReadValue(key, "hTapi", result, size);
    registry_.RegCloseKey(key);
    if (!text) return std::nullopt;
    // Published as a signed decimal; the handle is its bit pattern.
    const double value = ParseLeadingNumber(*text);
    if (value < -2147483648.0 || value > 4294967295.0) return 0u;
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(value));
}
