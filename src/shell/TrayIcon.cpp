#include "TrayIcon.h"

#include <cmath>
#include <cstring>

#include "platform/window/WindowSystem.h"

using namespace platform;

TrayIcon::TrayIcon(NotifyIcon& shell, NOTIFYICONDATA& data) : shell_(shell), data_(data) {}

void TrayIcon::SetTip() {
    // "Vastrel", one NUL, then blanks to the end of the 64-character field.
    std::memset(data_.szTip, ' ', sizeof data_.szTip);
    std::memcpy(data_.szTip, "Vastrel", 7);
    data_.szTip[7] = '\0';
}

void TrayIcon::Fill(HWND hWnd) {
    data_.cbSize = sizeof(NOTIFYICONDATA);
    data_.hWnd = hWnd;
    data_.uID = 1;
    data_.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data_.uCallbackMessage = WM_MOUSEMOVE;
    data_.hIcon = CurrentIcon();
    SetTip();
}

BOOL TrayIcon::Add() {
    const BOOL added = shell_.Shell_NotifyIconA(NIM_ADD, data_);
    if (added) added_ = true;
    return added;
}

BOOL TrayIcon::Refresh() {
    data_.hIcon = CurrentIcon();
    SetTip();
    return shell_.Shell_NotifyIconA(NIM_MODIFY, data_);
}

BOOL TrayIcon::Delete() {
    added_ = false;
    return shell_.Shell_NotifyIconA(NIM_DELETE, data_);
}

void TrayIcon::SetAlarm(bool alarm) {
    if (alarm == alarm_) return;
    alarm_ = alarm;
    // Only the picture changes: the flags say so, and the tip stays as it is.
    if (!added_) return;
    NOTIFYICONDATA icon = data_;
    icon.uFlags = NIF_ICON;
    icon.hIcon = data_.hIcon = CurrentIcon();
    shell_.Shell_NotifyIconA(NIM_MODIFY, icon);
}

UINT TrayIcon::DecodeMouseCode(float x, bool scaleIsPixels, float twipsPerPixelX) {
    const double code = scaleIsPixels ? x : x / twipsPerPixelX;
    return static_cast<UINT>(std::nearbyint(code));
}
