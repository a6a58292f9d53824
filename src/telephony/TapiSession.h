#pragma once
#include "platform/tapi/Tapi32.h"

// The telephony session values and the call values, one set per process.
struct TapiSession {
    platform::HINSTANCE hInstance = 0;
    platform::HLINEAPP hLineApp = 0;
    platform::DWORD numLineDevices = 0;
    platform::DWORD apiVersion = 0;
    // Result of the most recent telephony, registry or window call.
    platform::LONG lastResult = 0;
    platform::HLINE hLine = 0;
    platform::HCALL hCall = 0;
    platform::LONG pendingDropRequest = 0;
};
