#pragma once
// Window handles and the messages that cross process boundaries: the
// previous-instance test, SendMessageA with WM_COPYDATA, and WM_CLOSE (also
// raised by SIGTERM, SIGINT and SIGHUP).
#include <functional>

#include "platform/Win32.h"

namespace platform {

inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_COPYDATA = 0x004A;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr int GWL_WNDPROC = -4;

// A send whose receiver did not answer in time.
inline constexpr LONG ERROR_TIMEOUT = 1460;
// A send given up because the program is asked to end.
inline constexpr LONG ERROR_CANCELLED = 1223;

// As received: lpData points at cbData bytes that the receiver owns for the
// duration of the call.
struct COPYDATASTRUCT {
    DWORD dwData = 0;
    DWORD cbData = 0;
    const void* lpData = nullptr;
};

using WNDPROC = std::function<LRESULT(HWND, UINT, WPARAM, LPARAM)>;

class WindowSystem {
public:
    virtual ~WindowSystem() = default;

    // The previous-instance test: true when another process of this user holds
    // the instance lock. The first caller that finds none takes the lock and
    // keeps it until it exits (the kernel releases it when it dies).
    virtual bool PrevInstance() = 0;

    // A new window handle owned by this process; messages sent to it from
    // other processes arrive on the Qt event loop and go to its procedure.
    virtual HWND CreateWindowHandle() = 0;
    virtual void DestroyWindowHandle(HWND hWnd) = 0;

    // Replaces the window procedure and returns the previous one.
    virtual WNDPROC SetWindowLongA(HWND hWnd, int index, WNDPROC newProc) = 0;
    // Runs a procedure obtained from SetWindowLongA (an empty one returns 0).
    virtual LRESULT CallWindowProcA(const WNDPROC& proc, HWND hWnd, UINT msg, WPARAM wParam,
                                    LPARAM lParam) = 0;

    // Synchronous: returns when the receiving process has handled the
    // message. WM_COPYDATA takes lParam = address of a COPYDATASTRUCT;
    // WM_CLOSE takes none. A handle nobody owns (0 included) fails at once
    // with result 0 and LastError() = ERROR_INVALID_HANDLE.
    virtual LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) = 0;
    virtual LONG LastError() const = 0;

    // SIGTERM, SIGINT and SIGHUP become WM_CLOSE posted to this handle; a
    // send to another process waiting at that moment fails with
    // ERROR_CANCELLED.
    virtual void RouteTerminationSignalsTo(HWND hWnd) = 0;
};

}  // namespace platform
