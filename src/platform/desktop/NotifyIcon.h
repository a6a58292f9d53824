#pragma once
// Shell_NotifyIconA over the desktop's notification area.
#include <QPoint>
#include <functional>

#include "platform/Win32.h"

class QMenu;

namespace platform {

inline constexpr DWORD NIM_ADD = 0;
inline constexpr DWORD NIM_MODIFY = 1;
inline constexpr DWORD NIM_DELETE = 2;
inline constexpr UINT NIF_MESSAGE = 1;
inline constexpr UINT NIF_ICON = 2;
inline constexpr UINT NIF_TIP = 4;
inline constexpr UINT WM_LBUTTONUP = 0x0202;      // 514
inline constexpr UINT WM_LBUTTONDBLCLK = 0x0203;  // 515
inline constexpr UINT WM_RBUTTONUP = 0x0205;      // 517

// The 88-byte ANSI NOTIFYICONDATA.
struct NOTIFYICONDATA {
    DWORD cbSize = 0;
    HWND hWnd = 0;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HICON hIcon = 0;
    char szTip[64] = {};
};
static_assert(sizeof(NOTIFYICONDATA) == 88);

class NotifyIcon {
public:
    // The shell's notification: uCallbackMessage "sent" to hWnd with the
    // mouse message (WM_LBUTTONUP, ...) as its code, and where the pointer is.
    using Sink =
        std::function<void(HWND hWnd, UINT callbackMessage, UINT mouseCode, QPoint globalPos)>;

    virtual ~NotifyIcon() = default;
    // FALSE where no notification area can ever be (the offscreen
    // platform), or for NIM_MODIFY/NIM_DELETE of an icon that does not exist.
    // An icon added before the area exists appears when it does.
    virtual BOOL Shell_NotifyIconA(DWORD message, const NOTIFYICONDATA& data) = 0;
    virtual void SetSink(Sink sink) = 0;
    // The pop-up menu of every icon, present and future (nullptr: none), so
    // that hosts which read the menu themselves (a StatusNotifierItem's D-Bus
    // menu) have it too. The caller keeps it alive while it is set.
    virtual void SetContextMenu(QMenu* menu) = 0;
    // Whether a notification area is there now to show the icons.
    virtual bool AreaAvailable() const = 0;
};

}  // namespace platform
