#include "CallBacks.h"

#include "core/AppState.h"
#include "telephony/IncomingCallLog.h"
#include "telephony/Tapi.h"

using namespace platform;

CallBacks::CallBacks(Tapi& tapi, AppState& state, IncomingCallLog& incomingLog)
    : tapi_(tapi), state_(state), incomingLog_(incomingLog) {}

void CallBacks::LineCallback(DWORD hDevice, DWORD dwMessage, DWORD_PTR, DWORD_PTR dwParam1,
                             DWORD_PTR, DWORD_PTR) {
    switch (dwMessage) {
        case LINE_CALLSTATE:
            state_.session.hCall = hDevice;
            OnCallState(dwParam1);
            break;
        case LINE_REPLY:
            if (static_cast<LONG>(dwParam1) == state_.session.pendingDropRequest)
                state_.session.pendingDropRequest = 0;
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
            tapi_.DeallocateCall(state_.session.hCall);
            tapi_.GetRequest();
            break;
        case LINECALLSTATE_OFFERING:
            incomingLog_.LogIncomingCall(state_.session.hCall);
            break;
        case LINECALLSTATE_DISCONNECTED:
            if (state_.testRequested) tapi_.DropCall();
            break;
        default:
            break;
    }
}
