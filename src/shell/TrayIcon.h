#pragma once
#include "platform/desktop/NotifyIcon.h"

// The notification-icon record and the requests made with it.
class TrayIcon {
public:
    // The main window's icon, as the handle the record carries, and its
    // variant shown while a line is in alarm.
    static constexpr platform::HICON kMainIcon = 1;
    static constexpr platform::HICON kAlarmIcon = 2;

    TrayIcon(platform::NotifyIcon& shell, platform::NOTIFYICONDATA& data);

    // The full record: size 88, the window, id 1, message/icon/tip flags,
    // WM_MOUSEMOVE as callback, the main icon (or its alarm variant), the tip
    // "Vastrel".
    void Fill(platform::HWND hWnd);
    platform::BOOL Add();
    // Icon (normal or alarm) and tip set again, then NIM_MODIFY.
    platform::BOOL Refresh();
    platform::BOOL Delete();
    // The alarm variant on or off; an icon that is up changes at once (tip
    // unchanged), one added later starts with it.
    void SetAlarm(bool alarm);
    bool Alarm() const { return alarm_; }

    const platform::NOTIFYICONDATA& Data() const { return data_; }

    // The mouse message a tray notification carries, from the X coordinate
    // the window received in its scale units.
    static platform::UINT DecodeMouseCode(float x, bool scaleIsPixels, float twipsPerPixelX);

private:
    void SetTip();
    platform::HICON CurrentIcon() const { return alarm_ ? kAlarmIcon : kMainIcon; }

    platform::NotifyIcon& shell_;
    platform::NOTIFYICONDATA& data_;
    bool alarm_ = false;
    bool added_ = false;
};
