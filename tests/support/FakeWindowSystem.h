#pragma once
#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "platform/window/WindowSystem.h"

// Windows of this process only; the previous-instance answer is set by the
// test; sent messages are recorded.
class FakeWindowSystem : public platform::WindowSystem {
public:
    bool PrevInstance() override { return anotherRuns; }
    platform::HWND CreateWindowHandle() override { return ++lastHandle; }
    void DestroyWindowHandle(platform::HWND h) override { procs.erase(h); }
    platform::WNDPROC SetWindowLongA(platform::HWND h, int, platform::WNDPROC p) override {
        platform::WNDPROC old = procs[h];
        procs[h] = std::move(p);
        return old;
    }
    platform::LRESULT CallWindowProcA(const platform::WNDPROC& proc, platform::HWND h,
                                      platform::UINT m, platform::WPARAM w,
                                      platform::LPARAM l) override {
        return proc ? proc(h, m, w, l) : 0;
    }
    platform::LRESULT SendMessageA(platform::HWND h, platform::UINT m, platform::WPARAM w,
                                   platform::LPARAM l) override {
        Sent s{h, m, w, 0, {}};
        if (m == platform::WM_COPYDATA && l != 0) {
            const auto* cds = reinterpret_cast<const platform::COPYDATASTRUCT*>(l);
            s.dwData = cds->dwData;
            // Recorded as far as a real hand-over could carry.
            if (cds->lpData != nullptr)
                s.data.assign(static_cast<const char*>(cds->lpData),
                              std::min<platform::DWORD>(cds->cbData, 256));
        }
        sent.push_back(s);
        auto it = procs.find(h);
        return it != procs.end() && it->second ? it->second(h, m, w, l) : 0;
    }
    platform::LONG LastError() const override { return 0; }
    void RouteTerminationSignalsTo(platform::HWND h) override { signalTarget = h; }

    struct Sent {
        platform::HWND hWnd;
        platform::UINT msg;
        platform::WPARAM wParam;
        platform::DWORD dwData;
        std::string data;
    };
    bool anotherRuns = false;
    platform::HWND lastHandle = 1000;
    platform::HWND signalTarget = 0;
    std::map<platform::HWND, platform::WNDPROC> procs;
    std::vector<Sent> sent;
};
