#pragma once
#include <functional>

#include "platform/window/WindowSystem.h"

struct CommandText;

// The replaced window procedure of the main window: a close request and the
// hand-over from a second start reach the program here.
class WindowHook {
public:
    struct Handlers {
        std::function<void()> unloadMainWindow;
        std::function<void()> showOptionsInFront;
        std::function<void()> buildLineTable;
    };

    WindowHook(platform::WindowSystem& windows, CommandText& command, Handlers handlers);

    // Replaces the procedure of the main window mainHwnd.
    void Hook(platform::HWND mainHwnd);
    void Unhook();
    platform::LRESULT WindowProc(platform::HWND hWnd, platform::UINT uMsg, platform::WPARAM wParam,
                                 platform::LPARAM lParam);
    void HandleCopyData(platform::LPARAM lParam);

    // The most a hand-over carries: the 255-byte buffer and its NUL.
    static constexpr platform::DWORD kMaxCopyData = 256;

private:
    platform::WindowSystem& windows_;
    CommandText& command_;
    platform::HWND mainHwnd_ = 0;
    Handlers handlers_;
    platform::WNDPROC oldWindowProc_;
    bool hooked_ = false;
};
