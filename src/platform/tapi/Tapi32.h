#pragma once
// The telephony line functions the program calls, TAPI-shaped: same names,
// arguments, result codes and byte layouts of the variable-size structures.
// Structures are passed as byte buffers whose first DWORD is dwTotalSize; the
// service never writes beyond dwTotalSize bytes.
#include <functional>
#include <string>

#include "platform/Win32.h"

namespace platform {

using HLINEAPP = DWORD;
using HLINE = DWORD;
using HCALL = DWORD;

// Result codes (negative) of the line functions.
inline constexpr LONG LINEERR_ALLOCATED = static_cast<LONG>(0x80000001);
inline constexpr LONG LINEERR_BADDEVICEID = static_cast<LONG>(0x80000002);
inline constexpr LONG LINEERR_INCOMPATIBLEAPIVERSION = static_cast<LONG>(0x8000000C);
inline constexpr LONG LINEERR_INCOMPATIBLEEXTVERSION = static_cast<LONG>(0x8000000D);
inline constexpr LONG LINEERR_INIFILECORRUPT = static_cast<LONG>(0x8000000E);
inline constexpr LONG LINEERR_INVALAPPHANDLE = static_cast<LONG>(0x80000015);
inline constexpr LONG LINEERR_INVALCALLHANDLE = static_cast<LONG>(0x80000018);
inline constexpr LONG LINEERR_INVALLINEHANDLE = static_cast<LONG>(0x8000002B);
inline constexpr LONG LINEERR_INVALPOINTER = static_cast<LONG>(0x80000035);
inline constexpr LONG LINEERR_INVALPRIVSELECT = static_cast<LONG>(0x80000036);
inline constexpr LONG LINEERR_NODEVICE = static_cast<LONG>(0x80000042);
inline constexpr LONG LINEERR_NOMEM = static_cast<LONG>(0x80000044);
inline constexpr LONG LINEERR_NOREQUEST = static_cast<LONG>(0x80000045);
inline constexpr LONG LINEERR_NOTOWNER = static_cast<LONG>(0x80000046);
inline constexpr LONG LINEERR_NOTREGISTERED = static_cast<LONG>(0x80000047);
inline constexpr LONG LINEERR_OPERATIONFAILED = static_cast<LONG>(0x80000048);
inline constexpr LONG LINEERR_OPERATIONUNAVAIL = static_cast<LONG>(0x80000049);
inline constexpr LONG LINEERR_RESOURCEUNAVAIL = static_cast<LONG>(0x8000004B);
inline constexpr LONG LINEERR_STRUCTURETOOSMALL = static_cast<LONG>(0x8000004D);
inline constexpr LONG LINEERR_UNINITIALIZED = static_cast<LONG>(0x80000050);
inline constexpr LONG LINEERR_INVALCALLSTATE = static_cast<LONG>(0x8000001C);
inline constexpr LONG LINEERR_INVALCALLSELECT = static_cast<LONG>(0x8000001B);

// Messages delivered to the line callback.
inline constexpr DWORD LINE_CALLSTATE = 2;
inline constexpr DWORD LINE_REPLY = 12;
inline constexpr DWORD LINE_REQUEST = 13;

// Call states.
inline constexpr DWORD LINECALLSTATE_IDLE = 0x00000001;
inline constexpr DWORD LINECALLSTATE_OFFERING = 0x00000002;
inline constexpr DWORD LINECALLSTATE_ACCEPTED = 0x00000004;
inline constexpr DWORD LINECALLSTATE_DIALTONE = 0x00000008;
inline constexpr DWORD LINECALLSTATE_DIALING = 0x00000010;
inline constexpr DWORD LINECALLSTATE_RINGBACK = 0x00000020;
inline constexpr DWORD LINECALLSTATE_BUSY = 0x00000040;
inline constexpr DWORD LINECALLSTATE_CONNECTED = 0x00000100;
inline constexpr DWORD LINECALLSTATE_PROCEEDING = 0x00000200;
inline constexpr DWORD LINECALLSTATE_DISCONNECTED = 0x00004000;

inline constexpr DWORD LINECALLPRIVILEGE_NONE = 0x1;
inline constexpr DWORD LINECALLPRIVILEGE_MONITOR = 0x2;
inline constexpr DWORD LINECALLPRIVILEGE_OWNER = 0x4;
inline constexpr DWORD LINEMEDIAMODE_INTERACTIVEVOICE = 0x4;
inline constexpr DWORD LINEMEDIAMODE_DATAMODEM = 0x10;
inline constexpr DWORD LINECALLSELECT_LINE = 0x1;
inline constexpr DWORD LINECALLSELECT_ADDRESS = 0x2;
inline constexpr DWORD LINEREQUESTMODE_MAKECALL = 0x1;
inline constexpr DWORD LINEDISCONNECTMODE_NORMAL = 0x1;
inline constexpr DWORD LINECALLORIGIN_INBOUND = 0x4;
inline constexpr DWORD LINECALLREASON_DIRECT = 0x1;
inline constexpr DWORD STRINGFORMAT_ASCII = 0x1;

// dwCallerIDFlags of LINECALLINFO.
inline constexpr DWORD LINECALLPARTYID_NAME = 0x4;
inline constexpr DWORD LINECALLPARTYID_ADDRESS = 0x8;
inline constexpr DWORD LINECALLPARTYID_UNKNOWN = 0x20;

// Byte layouts the program reads (offsets from the start of the structure).
namespace linedevcaps {
inline constexpr DWORD kFixedSize = 240;
inline constexpr DWORD dwTotalSize = 0, dwNeededSize = 4, dwUsedSize = 8;
inline constexpr DWORD dwLineNameSize = 32, dwLineNameOffset = 36;
inline constexpr DWORD dwPermanentLineID = 28, dwStringFormat = 40, dwNumAddresses = 48;
inline constexpr DWORD dwMediaModes = 60;
}  // namespace linedevcaps
namespace linecalllist {
inline constexpr DWORD kFixedSize = 24;
inline constexpr DWORD dwTotalSize = 0, dwNeededSize = 4, dwUsedSize = 8;
inline constexpr DWORD dwCallsNumEntries = 12, dwCallsSize = 16, dwCallsOffset = 20;
}  // namespace linecalllist
namespace linecallinfo {
inline constexpr DWORD kFixedSize = 296;
inline constexpr DWORD dwTotalSize = 0, dwNeededSize = 4, dwUsedSize = 8;
inline constexpr DWORD hLine = 12, dwLineDeviceID = 16, dwMediaMode = 32, dwCallID = 40;
inline constexpr DWORD dwOrigin = 80, dwReason = 84, dwNumMonitors = 96;
inline constexpr DWORD dwCallerIDFlags = 108, dwCallerIDSize = 112, dwCallerIDOffset = 116;
inline constexpr DWORD dwCallerIDNameSize = 120, dwCallerIDNameOffset = 124;
}  // namespace linecallinfo
inline constexpr DWORD kLineReqMakeCallSize = 240;

struct LINEEXTENSIONID {
    DWORD dwExtensionID0 = 0, dwExtensionID1 = 0, dwExtensionID2 = 0, dwExtensionID3 = 0;
};

// hDevice, dwMessage, dwCallbackInstance, dwParam1, dwParam2, dwParam3.
using LINECALLBACK = std::function<void(DWORD, DWORD, DWORD_PTR, DWORD_PTR, DWORD_PTR, DWORD_PTR)>;

class Tapi32 {
public:
    virtual ~Tapi32() = default;

    // Events for the session are posted to the Qt event loop and delivered to
    // callback there, never from another thread.
    virtual LONG lineInitialize(HLINEAPP* lphLineApp, HINSTANCE hInstance, LINECALLBACK callback,
                                const std::string& appName, DWORD* lpdwNumDevs) = 0;
    virtual LONG lineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD deviceId, DWORD apiLowVersion,
                                         DWORD apiHighVersion, DWORD* lpdwAPIVersion,
                                         LINEEXTENSIONID* lpExtensionID) = 0;
    virtual LONG lineGetDevCaps(HLINEAPP hLineApp, DWORD deviceId, DWORD apiVersion,
                                DWORD extVersion, BYTE* lpLineDevCaps) = 0;
    virtual LONG lineShutdown(HLINEAPP hLineApp) = 0;

    virtual LONG lineOpen(HLINEAPP hLineApp, DWORD deviceId, HLINE* lphLine, DWORD apiVersion,
                          DWORD extVersion, DWORD_PTR callbackInstance, DWORD privileges,
                          DWORD mediaModes, const void* lpCallParams) = 0;
    virtual LONG lineGetNewCalls(HLINE hLine, DWORD addressId, DWORD select, BYTE* lpCallList) = 0;
    virtual LONG lineClose(HLINE hLine) = 0;

    virtual LONG lineGetCallInfo(HCALL hCall, BYTE* lpCallInfo) = 0;
    // Positive: asynchronous request id, completed later by LINE_REPLY.
    virtual LONG lineDrop(HCALL hCall, const char* lpsUserUserInfo, DWORD dwSize) = 0;
    virtual LONG lineDeallocateCall(HCALL hCall) = 0;
    virtual LONG lineGetRequest(HLINEAPP hLineApp, DWORD requestMode, BYTE* lpRequestBuffer) = 0;
};

// Little-endian DWORD access into the byte layouts above; out of range reads 0
// and writes nothing.
DWORD ReadDword(const BYTE* buffer, DWORD size, DWORD offset);
void WriteDword(BYTE* buffer, DWORD size, DWORD offset, DWORD value);

}  // namespace platform
