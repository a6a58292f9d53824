#pragma once
#include <functional>

#include "platform/window/WindowSystem.h"

struct AppState;

// The replaced window procedure of the main window: a close request and the
// hand-over from a second start reach the program here.
class WindowHook {
public:
    struct Handlers {
        std::function<void()> unloadMainWindow;
        std::function<void()> showOptionsInFront;
        std::function<void()> buildLineTable;
    };

    WindowHook(platform::WindowSystem& windows, AppState& state, Handlers handlers);

    void Hook();
    void Unhook();
    platform::LRESULT WindowProc(platform::HWND hWnd, platform::UINT uMsg, platform::WPARAM wParam,
                                 platform::LPARAM lParam);
    void HandleCopyData(platform::LPARAM lParam);

    // The most a hand-over carries: the 255-byte buffer and its NUL.
    static constexpr platform::DWORD kMaxCopyData = 256;

private:
    platform::WindowSystem& windows_;
    AppState& state_;
    Handlers handlers_;
    platform::WNDPROC oldWindowProc_;
    bool hooked_ = false;
};
