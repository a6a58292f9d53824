#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/Registry.h"
#include "platform/tapi/Tapi32.h"
#include "telephony/TapiSession.h"

class TrayIcon;

// The telephony calls of the program: the session, line device names and
// the call-control operations.
class Tapi {
public:
    static constexpr platform::DWORD kApiLow = 0x00010003;
    static constexpr platform::DWORD kApiHigh = 0x00030000;
    static constexpr platform::DWORD kDevCapsSize = 2288;
    static constexpr const char* kSessionKey = "Software\\Orlwen\\Pelmarsh";

    Tapi(platform::Tapi32& api, platform::Registry& registry, TapiSession& session, TrayIcon& tray);

    // Opens the session and publishes its handle as "hTapi".
    void InitializeTapi(platform::LINECALLBACK callback);
    // The 2,288-byte LINEDEVCAPS of a device; dwUsedSize 0 when unavailable.
    std::vector<platform::BYTE> GetLineCaps(platform::DWORD device);
    // The device name in a capabilities buffer, or nothing when none came.
    static std::optional<std::string> LineName(const std::vector<platform::BYTE>& caps);
    // Ends the session in hLineApp; on success withdraws "hTapi".
    void ShutdownTapi();

    void DropCall();
    void DeallocateCall(platform::HCALL& handle);
    void GetRequest();
    void CloseLine();

    platform::Tapi32& Api() { return api_; }
    TapiSession& Session() { return session_; }

private:
    platform::Tapi32& api_;
    platform::Registry& registry_;
    TapiSession& session_;
    TrayIcon& tray_;
};
