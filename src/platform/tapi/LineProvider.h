#pragma once
// What a telephone system behind TapiService has to offer: its devices, the
// calls on them and word when those calls change. The simulated exchange is
// one; a SIP server can be another. Device numbers are 0-based.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/tapi/Tapi32.h"

namespace platform {

// Identifies a call across the whole exchange (all processes), unlike an
// HCALL, which is one session's name for it.
using CallId = std::uint64_t;

struct ProviderCall {
    CallId id = 0;
    DWORD device = 0;
    // OFFERING, CONNECTED, or PROCEEDING for an outgoing call not yet
    // answered; ended calls vanish.
    DWORD state = LINECALLSTATE_OFFERING;
    std::string number;  // caller id; empty when not delivered
    std::string name;
};

struct VersionRange {
    DWORD low = 0;
    DWORD high = 0;
};

class LineProvider {
public:
    virtual ~LineProvider() = default;

    virtual DWORD DeviceCount() const = 0;
    virtual VersionRange DeviceVersions(DWORD device) const = 0;
    // 0 and the name, or a LINEERR_ code when the device reports no capabilities.
    virtual LONG DeviceName(DWORD device, std::string* name) const = 0;
    // 0 when the device may be opened now. Runs for every lineOpen of a scan,
    // so it must stay cheap; it is also where changes made elsewhere are seen.
    virtual LONG OpenDevice(DWORD device) = 0;
    // The calls now on a device, oldest first. Valid until the next non-const call.
    virtual const std::vector<CallId>& CallsOn(DWORD device) const = 0;
    // Null once the call has ended. Valid until the next non-const call.
    virtual const ProviderCall* FindCall(CallId id) const = 0;
    // Whether a monitoring application may end calls.
    virtual bool AcceptsDrop() const = 0;
    virtual void Drop(CallId id) = 0;
    // Picks up changes made by other processes; cheap when nothing changed.
    virtual void Refresh() = 0;
    // Called on the GUI thread whenever calls may have changed, possibly from
    // inside one of the functions above: the handler must only schedule work.
    virtual void SetChangeHandler(std::function<void()> handler) = 0;
    // True while the service has at least one session.
    virtual void SetActive(bool active) = 0;
};

}  // namespace platform
