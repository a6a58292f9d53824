#pragma once
#include "platform/Paths.h"

namespace platform {
class Registry;
class PrivateProfile;
class Tapi32;
class WindowSystem;
class NotifyIcon;
class DesktopNotifications;
class Sound;
class Desktop;
class ShellLinks;
class MessageBoxes;
class Clock;
}  // namespace platform

// The platform services the program runs on, injected: production wiring in
// main.cpp uses the real ones, tests use fakes.
struct Services {
    platform::Registry& registry;
    platform::PrivateProfile& profile;
    platform::Tapi32& tapi;
    platform::WindowSystem& windows;
    platform::NotifyIcon& notifyIcon;
    platform::DesktopNotifications& notifications;
    platform::Sound& sound;
    platform::Desktop& desktop;
    platform::ShellLinks& shellLinks;
    platform::MessageBoxes& messages;
    platform::Clock& clock;
    platform::Paths paths;
};
