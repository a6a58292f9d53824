#include "TapiService.h"

#include <QRandomGenerator>
#include <cstring>

namespace platform {
namespace {

constexpr DWORD kPollMs = 200;  // how soon a change made by another process shows as events
constexpr DWORD kValidPrivileges[] = {LINECALLPRIVILEGE_NONE, LINECALLPRIVILEGE_MONITOR,
                                      LINECALLPRIVILEGE_OWNER,
                                      LINECALLPRIVILEGE_MONITOR | LINECALLPRIVILEGE_OWNER};

// The caller's dwTotalSize: the only word about the buffer's length there is.
DWORD TotalSize(const BYTE* buffer) {
    return ReadDword(buffer, 4, 0);
}

// Clears the structure after dwTotalSize, up to its fixed part.
void ClearFixedPart(BYTE* buffer, DWORD fixedSize) {
    std::memset(buffer + 4, 0, fixedSize - 4);
}

DWORD TextSize(const std::string& text) {
    return text.empty() ? 0 : static_cast<DWORD>(text.size() + 1);
}

void PutText(BYTE* buffer, DWORD offset, const std::string& text) {
    std::memcpy(buffer + offset, text.data(), text.size());
    buffer[offset + text.size()] = 0;
}

}  // namespace

TapiService::TapiService(std::unique_ptr<LineProvider> provider) : provider_(std::move(provider)) {
    provider_->SetChangeHandler([this] { ScheduleReconcile(); });
    poll_.setInterval(kPollMs);
    QObject::connect(&poll_, &QTimer::timeout, &context_, [this] { provider_->Refresh(); });
}

TapiService::~TapiService() {
    provider_->SetChangeHandler({});
    if (!sessions_.empty()) provider_->SetActive(false);
}

template <typename Map>
DWORD TapiService::NextFreeHandle(DWORD* counter, const Map& inUse) {
    DWORD handle = 0;
    do {
        handle = (*counter)++;
    } while (handle == 0 || inUse.contains(handle));
    return handle;
}

bool TapiService::SupportsVersion(DWORD device, DWORD apiVersion) const {
    const VersionRange range = provider_->DeviceVersions(device);
    return apiVersion >= range.low && apiVersion <= range.high;
}

LONG TapiService::lineInitialize(HLINEAPP* lphLineApp, HINSTANCE, LINECALLBACK callback,
                                 const std::string&, DWORD* lpdwNumDevs) {
    if (lphLineApp == nullptr || lpdwNumDevs == nullptr) return LINEERR_INVALPOINTER;
    // Random, so that a handle left in a file by an earlier run is unknown here.
    HLINEAPP app = 0;
    do {
        app = QRandomGenerator::global()->bounded(1u, 0x80000000u);
    } while (sessions_.contains(app));
    sessions_.emplace(app, Session{std::move(callback), {}});
    *lphLineApp = app;
    *lpdwNumDevs = provider_->DeviceCount();
    if (sessions_.size() == 1) provider_->SetActive(true);
    return 0;
}

LONG TapiService::lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD deviceId, DWORD apiLowVersion,
                                          DWORD apiHighVersion, DWORD* lpdwAPIVersion,
                                          LINEEXTENSIONID* lpExtensionID) {
    if (!sessions_.contains(hLineApp)) return LINEERR_INVALAPPHANDLE;
    if (deviceId >= provider_->DeviceCount()) return LINEERR_BADDEVICEID;
    if (lpdwAPIVersion == nullptr) return LINEERR_INVALPOINTER;
    const VersionRange range = provider_->DeviceVersions(deviceId);
    const DWORD low = std::max(apiLowVersion, range.low);
    const DWORD high = std::min(apiHighVersion, range.high);
    if (low > high) return LINEERR_INCOMPATIBLEAPIVERSION;
    *lpdwAPIVersion = high;
    if (lpExtensionID != nullptr) *lpExtensionID = LINEEXTENSIONID{};
    return 0;
}

LONG TapiService::lineGetDevCaps(HLINEAPP hLineApp, DWORD deviceId, DWORD apiVersion,
                                 DWORD extVersion, BYTE* lpLineDevCaps) {
    namespace f = linedevcaps;
    if (!sessions_.contains(hLineApp)) return LINEERR_INVALAPPHANDLE;
    if (deviceId >= provider_->DeviceCount()) return LINEERR_BADDEVICEID;
    if (lpLineDevCaps == nullptr) return LINEERR_INVALPOINTER;
    if (!SupportsVersion(deviceId, apiVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (extVersion != 0) return LINEERR_INCOMPATIBLEEXTVERSION;
    const DWORD total = TotalSize(lpLineDevCaps);
    if (total < f::kFixedSize) return LINEERR_STRUCTURETOOSMALL;
    std::string name;
    if (const LONG result = provider_->DeviceName(deviceId, &name); result != 0) return result;

    BYTE* caps = lpLineDevCaps;
    ClearFixedPart(caps, f::kFixedSize);
    const DWORD nameSize = static_cast<DWORD>(name.size() + 1);
    const DWORD needed = f::kFixedSize + nameSize;
    WriteDword(caps, total, f::dwNeededSize, needed);
    WriteDword(caps, total, f::dwPermanentLineID, deviceId + 1);
    WriteDword(caps, total, f::dwStringFormat, STRINGFORMAT_ASCII);
    WriteDword(caps, total, f::dwNumAddresses, 1);
    WriteDword(caps, total, f::dwMediaModes,
               LINEMEDIAMODE_INTERACTIVEVOICE | LINEMEDIAMODE_DATAMODEM);
    if (needed > total) {
        WriteDword(caps, total, f::dwUsedSize, f::kFixedSize);
        return 0;
    }
    PutText(caps, f::kFixedSize, name);
    WriteDword(caps, total, f::dwLineNameSize, nameSize);
    WriteDword(caps, total, f::dwLineNameOffset, f::kFixedSize);
    WriteDword(caps, total, f::dwUsedSize, needed);
    return 0;
}

LONG TapiService::lineShutdown(HLINEAPP hLineApp) {
    const auto session = sessions_.find(hLineApp);
    if (session == sessions_.end()) return LINEERR_INVALAPPHANDLE;
    std::erase_if(lines_, [hLineApp](const auto& entry) { return entry.second.app == hLineApp; });
    std::erase_if(calls_, [hLineApp](const auto& entry) { return entry.second.app == hLineApp; });
    sessions_.erase(session);
    if (sessions_.empty()) provider_->SetActive(false);
    UpdatePolling();
    return 0;
}

LONG TapiService::lineOpen(HLINEAPP hLineApp, DWORD deviceId, HLINE* lphLine, DWORD apiVersion,
                           DWORD extVersion, DWORD_PTR callbackInstance, DWORD privileges, DWORD,
                           const void*) {
    if (!sessions_.contains(hLineApp)) return LINEERR_INVALAPPHANDLE;
    if (deviceId >= provider_->DeviceCount()) return LINEERR_BADDEVICEID;
    if (lphLine == nullptr) return LINEERR_INVALPOINTER;
    if (std::find(std::begin(kValidPrivileges), std::end(kValidPrivileges), privileges) ==
        std::end(kValidPrivileges))
        return LINEERR_INVALPRIVSELECT;
    if (!SupportsVersion(deviceId, apiVersion)) return LINEERR_INCOMPATIBLEAPIVERSION;
    if (extVersion != 0) return LINEERR_INCOMPATIBLEEXTVERSION;
    if (const LONG result = provider_->OpenDevice(deviceId); result != 0) return result;
    const HLINE hLine = NextFreeHandle(&nextLine_, lines_);
    lines_.emplace(hLine, OpenLine{hLineApp, deviceId, callbackInstance});
    *lphLine = hLine;
    return 0;
}

LONG TapiService::lineGetNewCalls(HLINE hLine, DWORD, DWORD select, BYTE* lpCallList) {
    namespace f = linecalllist;
    const auto line = lines_.find(hLine);
    if (line == lines_.end()) return LINEERR_INVALLINEHANDLE;
    if (lpCallList == nullptr) return LINEERR_INVALPOINTER;
    // One address per line, so both selections give the same calls.
    if (select != LINECALLSELECT_LINE && select != LINECALLSELECT_ADDRESS)
        return LINEERR_INVALCALLSELECT;
    const DWORD total = TotalSize(lpCallList);
    if (total < f::kFixedSize) return LINEERR_STRUCTURETOOSMALL;

    const std::vector<CallId>& ids = provider_->CallsOn(line->second.device);
    const DWORD count = static_cast<DWORD>(ids.size());
    const DWORD needed = f::kFixedSize + count * sizeof(HCALL);
    ClearFixedPart(lpCallList, f::kFixedSize);
    WriteDword(lpCallList, total, f::dwNeededSize, needed);
    if (needed > total) {
        // No handles are made for a list that cannot hold them.
        WriteDword(lpCallList, total, f::dwUsedSize, f::kFixedSize);
        return 0;
    }
    for (DWORD i = 0; i < count; ++i) {
        WriteDword(lpCallList, total, f::kFixedSize + i * sizeof(HCALL),
                   HandleFor(line->second, hLine, ids[i]));
    }
    WriteDword(lpCallList, total, f::dwCallsNumEntries, count);
    WriteDword(lpCallList, total, f::dwCallsSize, count * sizeof(HCALL));
    WriteDword(lpCallList, total, f::dwCallsOffset, f::kFixedSize);
    WriteDword(lpCallList, total, f::dwUsedSize, needed);
    return 0;
}

HCALL TapiService::HandleFor(const OpenLine& line, HLINE hLine, CallId id) {
    Session& session = sessions_.at(line.app);
    if (const auto known = session.handles.find(id); known != session.handles.end())
        return known->second;
    const ProviderCall* call = provider_->FindCall(id);
    const HCALL hCall = NextFreeHandle(&nextCall_, calls_);
    HeldCall held{line.app, id, hLine, line.callbackInstance, call ? *call : ProviderCall{}, 0};
    held.reportedState = held.last.state;
    calls_.emplace(hCall, std::move(held));
    session.handles.emplace(id, hCall);
    // A newly given handle comes with its current state, as TAPI announces
    // calls to a monitor.
    Post(line.app, hCall, LINE_CALLSTATE, line.callbackInstance, calls_.at(hCall).reportedState, 0,
         LINECALLPRIVILEGE_MONITOR);
    UpdatePolling();
    return hCall;
}

LONG TapiService::lineClose(HLINE hLine) {
    return lines_.erase(hLine) == 1 ? 0 : LINEERR_INVALLINEHANDLE;
}

LONG TapiService::lineGetCallInfo(HCALL hCall, BYTE* lpCallInfo) {
    namespace f = linecallinfo;
    const auto it = calls_.find(hCall);
    if (it == calls_.end()) return LINEERR_INVALCALLHANDLE;
    if (lpCallInfo == nullptr) return LINEERR_INVALPOINTER;
    const DWORD total = TotalSize(lpCallInfo);
    if (total < f::kFixedSize) return LINEERR_STRUCTURETOOSMALL;
    HeldCall& held = it->second;
    if (held.reportedState != LINECALLSTATE_IDLE) {
        if (const ProviderCall* call = provider_->FindCall(held.id)) held.last = *call;
    }
    const std::string& number = held.last.number;
    const std::string& name = held.last.name;
    const DWORD numberSize = TextSize(number);
    const DWORD nameSize = TextSize(name);
    const DWORD needed = f::kFixedSize + numberSize + nameSize;

    BYTE* info = lpCallInfo;
    ClearFixedPart(info, f::kFixedSize);
    WriteDword(info, total, f::dwNeededSize, needed);
    WriteDword(info, total, f::hLine, held.hLine);
    WriteDword(info, total, f::dwLineDeviceID, held.last.device);
    WriteDword(info, total, f::dwMediaMode, LINEMEDIAMODE_INTERACTIVEVOICE);
    WriteDword(info, total, f::dwCallID, static_cast<DWORD>(held.id));
    WriteDword(info, total, f::dwOrigin, LINECALLORIGIN_INBOUND);
    WriteDword(info, total, f::dwReason, LINECALLREASON_DIRECT);
    WriteDword(info, total, f::dwNumMonitors, 1);
    const DWORD flags =
        (numberSize ? LINECALLPARTYID_ADDRESS : 0) | (nameSize ? LINECALLPARTYID_NAME : 0);
    WriteDword(info, total, f::dwCallerIDFlags, flags ? flags : LINECALLPARTYID_UNKNOWN);
    if (needed > total) {
        WriteDword(info, total, f::dwUsedSize, f::kFixedSize);
        return 0;
    }
    DWORD offset = f::kFixedSize;
    if (numberSize != 0) {
        PutText(info, offset, number);
        WriteDword(info, total, f::dwCallerIDSize, numberSize);
        WriteDword(info, total, f::dwCallerIDOffset, offset);
        offset += numberSize;
    }
    if (nameSize != 0) {
        PutText(info, offset, name);
        WriteDword(info, total, f::dwCallerIDNameSize, nameSize);
        WriteDword(info, total, f::dwCallerIDNameOffset, offset);
    }
    WriteDword(info, total, f::dwUsedSize, needed);
    return 0;
}

LONG TapiService::lineDrop(HCALL hCall, const char*, DWORD) {
    const auto it = calls_.find(hCall);
    if (it == calls_.end()) return LINEERR_INVALCALLHANDLE;
    // Every handle this service gives out is a monitor's.
    if (!provider_->AcceptsDrop()) return LINEERR_NOTOWNER;
    const HeldCall& held = it->second;
    // Droppable until the session has been told the call is idle: programs
    // drop a call when they hear it disconnected.
    if (held.deliveredState == LINECALLSTATE_IDLE) return LINEERR_INVALCALLSTATE;
    const LONG requestId = nextRequest_;
    nextRequest_ = nextRequest_ == INT32_MAX ? 1 : nextRequest_ + 1;
    QMetaObject::invokeMethod(
        &context_,
        [this, app = held.app, hCall, id = held.id, requestId] {
            FinishDrop(app, hCall, id, requestId);
        },
        Qt::QueuedConnection);
    return requestId;
}

void TapiService::FinishDrop(HLINEAPP app, HCALL hCall, CallId id, LONG requestId) {
    if (!sessions_.contains(app)) return;
    const auto held = calls_.find(hCall);
    const DWORD_PTR instance = held == calls_.end() ? 0 : held->second.callbackInstance;
    // A call that ended meanwhile needs no dropping, only the reply.
    if (provider_->FindCall(id) != nullptr) provider_->Drop(id);
    Post(app, 0, LINE_REPLY, instance, static_cast<DWORD>(requestId), 0, 0);
}

LONG TapiService::lineDeallocateCall(HCALL hCall) {
    const auto it = calls_.find(hCall);
    if (it == calls_.end()) return LINEERR_INVALCALLHANDLE;
    sessions_.at(it->second.app).handles.erase(it->second.id);
    calls_.erase(it);
    UpdatePolling();
    return 0;
}

LONG TapiService::lineGetRequest(HLINEAPP hLineApp, DWORD, BYTE*) {
    if (!sessions_.contains(hLineApp)) return LINEERR_INVALAPPHANDLE;
    // Nobody can register as a request recipient here.
    return LINEERR_NOTREGISTERED;
}

void TapiService::ScheduleReconcile() {
    if (reconcilePending_ || calls_.empty()) return;
    reconcilePending_ = true;
    QMetaObject::invokeMethod(
        &context_, [this] { Reconcile(); }, Qt::QueuedConnection);
}

void TapiService::Reconcile() {
    reconcilePending_ = false;
    for (auto& [hCall, held] : calls_) {
        if (held.reportedState == LINECALLSTATE_IDLE) continue;
        const ProviderCall* call = provider_->FindCall(held.id);
        if (call == nullptr) {
            Post(held.app, hCall, LINE_CALLSTATE, held.callbackInstance, LINECALLSTATE_DISCONNECTED,
                 LINEDISCONNECTMODE_NORMAL, 0);
            Post(held.app, hCall, LINE_CALLSTATE, held.callbackInstance, LINECALLSTATE_IDLE, 0, 0);
            held.reportedState = LINECALLSTATE_IDLE;
            continue;
        }
        held.last = *call;
        if (call->state != held.reportedState) {
            held.reportedState = call->state;
            Post(held.app, hCall, LINE_CALLSTATE, held.callbackInstance, call->state, 0, 0);
        }
    }
    UpdatePolling();
}

void TapiService::UpdatePolling() {
    const bool live = std::any_of(calls_.begin(), calls_.end(), [](const auto& entry) {
        return entry.second.reportedState != LINECALLSTATE_IDLE;
    });
    if (live && !poll_.isActive()) poll_.start();
    if (!live) poll_.stop();
}

void TapiService::Post(HLINEAPP app, HCALL hDevice, DWORD message, DWORD_PTR instance,
                       DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) {
    QMetaObject::invokeMethod(
        &context_, [=, this] { Deliver(app, hDevice, message, instance, param1, param2, param3); },
        Qt::QueuedConnection);
}

void TapiService::Deliver(HLINEAPP app, HCALL hDevice, DWORD message, DWORD_PTR instance,
                          DWORD_PTR param1, DWORD_PTR param2, DWORD_PTR param3) {
    const auto session = sessions_.find(app);
    if (session == sessions_.end() || !session->second.callback) return;
    if (message == LINE_CALLSTATE) {
        const auto held = calls_.find(hDevice);
        // A handle released after the event was posted gets nothing more.
        if (held == calls_.end()) return;
        held->second.deliveredState = static_cast<DWORD>(param1);
    }
    // A copy: the callback may end the session, and with it the stored callback.
    const LINECALLBACK callback = session->second.callback;
    callback(hDevice, message, instance, param1, param2, param3);
}

}  // namespace platform
