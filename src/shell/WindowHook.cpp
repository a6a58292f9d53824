#include "WindowHook.h"

#include <cstring>
#include <string>

#include "shell/CommandText.h"

using namespace platform;

WindowHook::WindowHook(WindowSystem& windows, CommandText& command, Handlers handlers)
    : windows_(windows), command_(command), handlers_(std::move(handlers)) {}

void WindowHook::Hook(HWND mainHwnd) {
    mainHwnd_ = mainHwnd;
    oldWindowProc_ = windows_.SetWindowLongA(
        mainHwnd_, GWL_WNDPROC,
        [this](HWND h, UINT m, WPARAM w, LPARAM l) { return WindowProc(h, m, w, l); });
    hooked_ = true;
}

void WindowHook::Unhook() {
    if (!hooked_) return;
    windows_.SetWindowLongA(mainHwnd_, GWL_WNDPROC, oldWindowProc_);
    hooked_ = false;
}

LRESULT WindowHook::WindowProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    // The old procedure is taken first: unloading restores it.
    const WNDPROC old = oldWindowProc_;
    if (uMsg == WM_CLOSE && handlers_.unloadMainWindow) handlers_.unloadMainWindow();
    if (uMsg == WM_COPYDATA) HandleCopyData(lParam);
    return windows_.CallWindowProcA(old, hWnd, uMsg, wParam, lParam);
}

void WindowHook::HandleCopyData(LPARAM lParam) {
    if (lParam == 0) return;
    COPYDATASTRUCT cds;
    std::memcpy(&cds, reinterpret_cast<const void*>(lParam), sizeof cds);
    if (cds.dwData == 1) {
        if (handlers_.showOptionsInFront) handlers_.showOptionsInFront();
        return;
    }
    if (cds.dwData != 3) return;
    // Never read past what the sender could legitimately have sent.
    const DWORD count = cds.cbData < kMaxCopyData ? cds.cbData : kMaxCopyData;
    std::string text;
    if (cds.lpData != nullptr) text.assign(static_cast<const char*>(cds.lpData), count);
    text = text.substr(0, text.find('\0'));
    command_.text = text;
    if (text == "test") {
        command_.testRequested = true;
        if (handlers_.buildLineTable) handlers_.buildLineTable();
    }
}
