#pragma once
// PlaySoundA and the system beep. Synchronous but bounded: without a sound
// device every call returns at once, quietly.
#include <string>

#include "platform/Win32.h"

namespace platform {

inline constexpr DWORD SND_SYNC = 0x0000;
inline constexpr DWORD SND_ASYNC = 0x0001;
inline constexpr DWORD SND_NODEFAULT = 0x0002;
inline constexpr DWORD SND_RESOURCE = 0x00040004;

class Sound {
public:
    virtual ~Sound() = default;
    // SND_RESOURCE: name is a WAVE resource of the program ("ALARM", any
    // case). Otherwise a sound name; one that names no sound plays the
    // default sound unless SND_NODEFAULT.
    virtual BOOL PlaySoundA(const std::string& name, HMODULE module, DWORD flags) = 0;
    virtual BOOL Beep() = 0;
};

}  // namespace platform
