#pragma once
#include "platform/desktop/NotifyIcon.h"

// The notification-icon record and the requests made with it.
class TrayIcon {
public:
    // The main window's icon, as the handle the record carries.
    static constexpr platform::HICON kMainIcon = 1;

    TrayIcon(platform::NotifyIcon& shell, platform::NOTIFYICONDATA& data);

    // The full record: size 88, the window, id 1, message/icon/tip flags,
    // WM_MOUSEMOVE as callback, the main icon, the tip "Vastrel".
    void Fill(platform::HWND hWnd);
    platform::BOOL Add();
    // Icon and tip set again, then NIM_MODIFY.
    platform::BOOL Refresh();
    platform::BOOL Delete();

    const platform::NOTIFYICONDATA& Data() const { return data_; }

    // The mouse message a tray notification carries, from the X coordinate
    // the window received in its scale units.
    static platform::UINT DecodeMouseCode(float x, bool scaleIsPixels, float twipsPerPixelX);

private:
    void SetTip();

    platform::NotifyIcon& shell_;
    platform::NOTIFYICONDATA& data_;
};
