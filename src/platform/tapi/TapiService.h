#pragma once
// The telephony service behind the TAPI-shaped functions: sessions, line and
// call handles, the byte layouts, and events posted to the Qt event loop for
// the session's callback. What the lines are comes from a LineProvider.
#include <QObject>
#include <QTimer>
#include <map>
#include <memory>
#include <unordered_map>

#include "platform/tapi/LineProvider.h"
#include "platform/tapi/Tapi32.h"

namespace platform {

class TapiService : public Tapi32 {
public:
    explicit TapiService(std::unique_ptr<LineProvider> provider);
    ~TapiService() override;
    TapiService(const TapiService&) = delete;
    TapiService& operator=(const TapiService&) = delete;

    LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK callback,
                        const std::string& appName, DWORD* lpdwNumDevs) override;
    LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD deviceId, DWORD apiLowVersion,
                                 DWORD apiHighVersion, DWORD* lpdwAPIVersion,
                                 LINEEXTENSIONID* lpExtensionID) override;
    LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD deviceId, DWORD apiVersion, DWORD extVersion,
                        BYTE* lpLineDevCaps) override;
    LONG lineShutdown(HLINEAPP hLineApp) override;
    LONG lineOpen(HLINEAPP hLineApp, DWORD deviceId, HLINE* lphLine, DWORD apiVersion,
                  DWORD extVersion, DWORD_PTR callbackInstance, DWORD privileges, DWORD mediaModes,
                  const void* lpCallParams) override;
    LONG lineGetNewCalls(HLINE hLine, DWORD addressId, DWORD select, BYTE* lpCallList) override;
    LONG lineClose(HLINE hLine) override;
    LONG lineGetCallInfo(HCALL hCall, BYTE* lpCallInfo) override;
    LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize) override;
    LONG lineDeallocateCall(HCALL hCall) override;
    LONG lineGetRequest(HLINEAPP hLineApp, DWORD requestMode, BYTE* lpRequestBuffer) override;

    LineProvider& Provider() { return *provider_; }

private:
    struct Session {
        LINECALLBACK callback;
        std::unordered_map<CallId, HCALL> handles;
    };
    struct OpenLine {
        HLINEAPP app = 0;
        DWORD device = 0;
        DWORD_PTR callbackInstance = 0;
    };
    // A session's handle to a call, with what was last reported about it, so
    // lineGetCallInfo still answers after the call has ended.
    struct HeldCall {
        HLINEAPP app = 0;
        CallId id = 0;
        HLINE hLine = 0;
        DWORD_PTR callbackInstance = 0;
        ProviderCall last;
        DWORD reportedState = 0;   // last state posted
        DWORD deliveredState = 0;  // last state the callback has seen
    };

    bool SupportsVersion(DWORD device, DWORD apiVersion) const;
    HCALL HandleFor(const OpenLine& line, HLINE hLine, CallId id);
    void ScheduleReconcile();
    void Reconcile();
    void UpdatePolling();
    void Post(HLINEAPP app, HCALL hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
              DWORD_PTR param2, DWORD_PTR param3);
    void Deliver(HLINEAPP app, HCALL hDevice, DWORD message, DWORD_PTR instance, DWORD_PTR param1,
                 DWORD_PTR param2, DWORD_PTR param3);
    void FinishDrop(HLINEAPP app, HCALL hCall, CallId id, LONG requestId);
    template <typename Map>
    static DWORD NextFreeHandle(DWORD* counter, const Map& inUse);

    std::unique_ptr<LineProvider> provider_;
    std::unordered_map<HLINEAPP, Session> sessions_;
    std::unordered_map<HLINE, OpenLine> lines_;
    std::map<HCALL, HeldCall> calls_;  // ordered: events of older calls go first
    DWORD nextLine_ = 0x10000;
    DWORD nextCall_ = 0x20000;
    LONG nextRequest_ = 1;
    bool reconcilePending_ = false;
    QTimer poll_;
    QObject context_;  // last: destroyed first, which discards posted events
};

}  // namespace platform
