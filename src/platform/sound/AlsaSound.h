#pragma once
// PlaySoundA and the beep over ALSA. Playback is synchronous but bounded: the
// device is opened non-blocking, so a machine without sound fails at once,
// and a stalled device is given up after the sound's length plus a second.
#include <QString>
#include <functional>
#include <optional>
#include <string>

#include "platform/sound/Sound.h"
#include "platform/sound/WaveFile.h"

namespace platform {

class AlsaSound : public Sound {
public:
    // The beep is the desktop's (a bell, not a wave file): true when it rang.
    using Beeper = std::function<bool()>;

    // device: an ALSA PCM name ("default", "null", "hw:0" ...). Without a
    // beeper Beep fails.
    explicit AlsaSound(std::string device = DeviceFromEnvironment(), Beeper beep = {});

    BOOL PlaySoundA(const std::string& name, HMODULE module, DWORD flags) override;
    BOOL Beep() override;

    // VASTREL_SOUND_DEVICE, or "default".
    static std::string DeviceFromEnvironment();
    // The resource file holding the WAVE resource of that name (any case);
    // empty when the program has no such resource.
    static QString FindResource(const std::string& name);
    // The platform's own sound for names that name no sound.
    static QString DefaultSoundPath();

    // Plays to the device and returns when it has finished; false when the
    // device cannot be opened or does not take the sound in time.
    bool Play(const WaveFile& wave) const;

private:
    std::optional<WaveFile> SoundFor(const std::string& name, DWORD flags) const;

    std::string device_;
    Beeper beep_;
};

}  // namespace platform
