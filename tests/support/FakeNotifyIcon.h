#pragma once
#include <vector>

#include "platform/desktop/NotifyIcon.h"

// Records every request; the icon "exists" between a NIM_ADD and NIM_DELETE.
class FakeNotifyIcon : public platform::NotifyIcon {
public:
    platform::BOOL Shell_NotifyIconA(platform::DWORD message,
                                     const platform::NOTIFYICONDATA& data) override {
        calls.push_back(message);
        last = data;
        if (message == platform::NIM_ADD) return shown ? 0 : (shown = true);
        if (message == platform::NIM_DELETE) return shown ? !(shown = false) : 0;
        return shown;
    }
    void SetSink(Sink s) override { sink = std::move(s); }
    void SetContextMenu(QMenu* m) override { menu = m; }
    bool AreaAvailable() const override { return areaAvailable; }
    void Notify(platform::UINT code) {
        if (sink) sink(last.hWnd, last.uCallbackMessage, code, QPoint(100, 100));
    }
    std::vector<platform::DWORD> calls;
    platform::NOTIFYICONDATA last;
    bool shown = false;
    bool areaAvailable = true;
    QMenu* menu = nullptr;
    Sink sink;
};
