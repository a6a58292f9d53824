#include "Tapi.h"

#include "shell/TrayIcon.h"
#include "telephony/VarText.h"

using namespace platform;

Tapi::Tapi(Tapi32& api, Registry& registry, TapiSession& session, TrayIcon& tray)
    : api_(api), registry_(registry), session_(session), tray_(tray) {}

void Tapi::InitializeTapi(LINECALLBACK callback) {
    session_.hInstance = 1;  // the program's module handle
    session_.lastResult =
        api_.lineInitialize(&session_.hLineApp, session_.hInstance, std::move(callback), "Pelmarsh",
                            &session_.numLineDevices);
    const std::string text = std::to_string(static_cast<LONG>(session_.hLineApp));
    HKEY key = 0;
    session_.lastResult = registry_.RegCreateKeyA(HKEY_CURRENT_USER, kSessionKey, &key);
    session_.lastResult = registry_.RegSetValueExA(key, "hTapi", 0, REG_SZ,
                                                   reinterpret_cast<const BYTE*>(text.data()),
                                                   static_cast<DWORD>(text.size()));
    registry_.RegCloseKey(key);
}

std::vector<BYTE> Tapi::GetLineCaps(DWORD device) {
    std::vector<BYTE> caps(kDevCapsSize, 0);
    DWORD version = 0;
    LINEEXTENSIONID extension;
    session_.lastResult = api_.lineNegotiateAPIVersion(session_.hLineApp, device, kApiLow, kApiHigh,
                                                       &version, &extension);
    if (session_.lastResult < 0) return caps;
    session_.apiVersion = version;
    WriteDword(caps.data(), kDevCapsSize, linedevcaps::dwTotalSize, kDevCapsSize);
    session_.lastResult =
        api_.lineGetDevCaps(session_.hLineApp, device, session_.apiVersion, 0, caps.data());
    if (session_.lastResult != 0) {
        caps.assign(kDevCapsSize, 0);
        return caps;
    }
    return caps;
}

std::optional<std::string> Tapi::LineName(const std::vector<BYTE>& caps) {
    const auto size = static_cast<DWORD>(caps.size());
    if (ReadDword(caps.data(), size, linedevcaps::dwUsedSize) == 0) return std::nullopt;
    const DWORD fixed = linedevcaps::kFixedSize;
    if (size <= fixed) return std::string();
    const std::string_view area(reinterpret_cast<const char*>(caps.data()) + fixed, size - fixed);
    return vartext::Field(area, ReadDword(caps.data(), size, linedevcaps::dwLineNameOffset),
                          ReadDword(caps.data(), size, linedevcaps::dwLineNameSize), fixed);
}

void Tapi::ShutdownTapi() {
    session_.lastResult = api_.lineShutdown(session_.hLineApp);
    if (session_.lastResult != 0) return;
    HKEY key = 0;
    session_.lastResult = registry_.RegOpenKeyExA(
        HKEY_CURRENT_USER, std::string(kSessionKey) + "\\", 0, KEY_WRITE, &key);
    session_.lastResult = registry_.RegDeleteValueA(key, "hTapi");
    session_.lastResult = registry_.RegCloseKey(key);
}

void Tapi::DropCall() {
    if (session_.hCall == 0) return;
    session_.lastResult = api_.lineDrop(session_.hCall, "", 1);
    if (session_.lastResult > 0) session_.pendingDropRequest = session_.lastResult;
}

void Tapi::DeallocateCall(HCALL& handle) {
    if (handle != 0) session_.lastResult = api_.lineDeallocateCall(handle);
    handle = 0;
}

void Tapi::GetRequest() {
    std::vector<BYTE> request(kLineReqMakeCallSize, 0);
    session_.lastResult =
        api_.lineGetRequest(session_.hLineApp, LINEREQUESTMODE_MAKECALL, request.data());
}

void Tapi::CloseLine() {
    if (session_.hLine != 0) session_.lastResult = api_.lineClose(session_.hLine);
    if (session_.lastResult != 0) return;
    tray_.Refresh();
}
