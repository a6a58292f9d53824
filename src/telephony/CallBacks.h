#pragma once
#include "platform/tapi/Tapi32.h"

struct AppState;
class Tapi;
class IncomingCallLog;

// The line callback named to lineInitialize: telephony events of the calls
// on the lines the program opens.
class CallBacks {
public:
    CallBacks(Tapi& tapi, AppState& state, IncomingCallLog& incomingLog);

    void LineCallback(platform::DWORD hDevice, platform::DWORD dwMessage,
                      platform::DWORD_PTR dwCallbackInstance, platform::DWORD_PTR dwParam1,
                      platform::DWORD_PTR dwParam2, platform::DWORD_PTR dwParam3);

private:
    void OnCallState(platform::DWORD_PTR callState);

    Tapi& tapi_;
    AppState& state_;
    IncomingCallLog& incomingLog_;
};
