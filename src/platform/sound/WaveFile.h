#pragma once
// A RIFF WAVE image read into its format and its sample bytes. Only plain
// PCM is accepted: that is all the program ships and all ALSA needs here.
#include <QByteArray>
#include <optional>

#include "platform/Win32.h"

namespace platform {

struct WaveFile {
    WORD channels = 0;
    DWORD sampleRate = 0;
    WORD bitsPerSample = 0;
    WORD blockAlign = 0;  // bytes per frame
    QByteArray samples;   // the data chunk, whole frames only

    // Empty for anything that is not a well-formed PCM WAVE; never reads
    // outside the given bytes.
    static std::optional<WaveFile> Parse(const QByteArray& bytes);

    DWORD FrameCount() const { return blockAlign ? DWORD(samples.size()) / blockAlign : 0; }
    // Milliseconds of sound, rounded up.
    DWORD DurationMs() const;
};

}  // namespace platform
