#include "CallBacks.h"

#include "shell/CommandText.h"
#include "telephony/IncomingCallLog.h"
#include "telephony/Tapi.h"
#include "telephony/TapiSession.h"

using namespace platform;

CallBacks::CallBacks(Tapi& tapi, TapiSession& session, const CommandText& command,
                     IncomingCallLog& incomingLog)
    : tapi_(tapi), session_(session), command_(command), incomingLog_(incomingLog) {}

void CallBacks::LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR, DWORD_PTR dwParam1,
                             DWORD_PTR, DWORD_PTR) {
    switch (dwMessage) {
        case LINE_CALLSTATE:
            session_.hCall = hDevice;
            OnCallState(dwParam1);
            break;
        case LINE_REPLY:
            if (static_cast<LONG>(dwParam1) == session_.pendingDropRequest)
                session_.pendingDropRequest = 0;
            break;
        case LINE_REQUEST:
            tapi_.GetRequest();
            break;
        default:
            break;
    }
}

void CallBacks::OnCallState(DWORD_PTR callState) {
    switch (callState) {
        case LINECALLSTATE_IDLE:
            tapi_.DeallocateCall(session_.hCall);
            tapi_.GetRequest();
            break;
        case LINECALLSTATE_OFFERING:
            incomingLog_.LogIncomingCall(session_.hCall);
            break;
        case LINECALLSTATE_DISCONNECTED:
            if (command_.testRequested) tapi_.DropCall();
            break;
        default:
            break;
    }
}
