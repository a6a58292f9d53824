#pragma once
#include "platform/tapi/Tapi32.h"

struct CommandText;
struct TapiSession;
class Tapi;
class IncomingCallLog;

// The line callback named to lineInitialize: telephony events of the calls
// on the lines the program opens.
class CallBacks {
public:
    CallBacks(Tapi& tapi, TapiSession& session, const CommandText& command,
              IncomingCallLog& incomingLog);

    void LineCallback(platform::DWORD hDevice, platform::DWORD dwMessage,
                      platform::DWORD_PTR dwCallbackInstance, platform::DWORD_PTR dwParam1,
                      platform::DWORD_PTR dwParam2, platform::DWORD_PTR dwParam3);

private:
    void OnCallState(platform::DWORD_PTR callState);

    Tapi& tapi_;
    TapiSession& session_;
    const CommandText& command_;
    IncomingCallLog& incomingLog_;
};
