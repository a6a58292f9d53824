#pragma once
#include <optional>
#include <string>

#include "platform/registry/Registry.h"
#include "platform/window/WindowSystem.h"

struct TapiSession;

// The running-instance value "hKey" and the hand-over of a second start.
class SingleInstance {
public:
    static constexpr const char* kProgramKey = "Software\\Orlwen\\Vastrel\\";
    static constexpr std::size_t kCommandBuffer = 255;

    SingleInstance(platform::Registry& registry, platform::WindowSystem& windows,
                   TapiSession& session);
    ~SingleInstance();

    // Creates or opens the program's key; false when the registry fails.
    bool OpenKey();
    // Size query of "hKey", then the previous-instance test.
    bool AnotherIsRunning();
    // Sends the command text to the running copy (dwData 1 when empty, 3
    // otherwise). ERROR_SUCCESS once it has taken it; otherwise why not.
    platform::LONG HandOver(platform::HWND ownHwnd, const std::string& commandText);
    // Writes "hKey" = blank + decimal handle, then closes the key.
    void Announce(platform::HWND hWnd);
    // Removes "hKey" at shut-down.
    void Withdraw();

    // The session handle a run that did not shut down left in "hTapi".
    std::optional<std::uint32_t> StaleSessionHandle();

private:
    static constexpr int kAnnounceTries = 20;
    static constexpr int kAnnounceWaitMs = 100;

    // "hKey" through the key left open by the size query, which it closes.
    platform::HWND ReadHandle();
    platform::HWND ReadHandleAgain();
    std::optional<std::string> ReadValue(platform::HKEY key, const char* name,
                                         platform::LONG sizeResult, platform::DWORD size);

    platform::Registry& registry_;
    platform::WindowSystem& windows_;
    TapiSession& session_;
    platform::HKEY key_ = 0;
    platform::LONG sizeResult_ = -1;
    platform::DWORD size_ = 0;
};
