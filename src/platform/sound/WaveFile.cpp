#include "WaveFile.h"

#include <cstring>

namespace platform {
namespace {

constexpr WORD WAVE_FORMAT_PCM = 1;
constexpr DWORD kMaxSampleRate = 384000;

DWORD ReadU32(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return DWORD(b[0]) | DWORD(b[1]) << 8 | DWORD(b[2]) << 16 | DWORD(b[3]) << 24;
}

WORD ReadU16(const char* p) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return WORD(b[0] | b[1] << 8);
}

bool IsTag(const char* p, const char* tag) {
    return std::memcmp(p, tag, 4) == 0;
}

bool ReadFormat(const char* p, DWORD size, WaveFile& wave) {
    if (size < 16) return false;
    if (ReadU16(p) != WAVE_FORMAT_PCM) return false;
    wave.channels = ReadU16(p + 2);
    wave.sampleRate = ReadU32(p + 4);
    wave.blockAlign = ReadU16(p + 12);
    wave.bitsPerSample = ReadU16(p + 14);
    if (wave.channels < 1 || wave.channels > 8) return false;
    if (wave.sampleRate < 1 || wave.sampleRate > kMaxSampleRate) return false;
    if (wave.bitsPerSample != 8 && wave.bitsPerSample != 16) return false;
    return wave.blockAlign == wave.channels * wave.bitsPerSample / 8;
}

}  // namespace

std::optional<WaveFile> WaveFile::Parse(const QByteArray& bytes) {
    const char* base = bytes.constData();
    const qsizetype total = bytes.size();
    if (total < 12 || !IsTag(base, "RIFF") || !IsTag(base + 8, "WAVE")) return std::nullopt;
    // The RIFF size counts from byte 8; a file shorter than it claims is cut off.
    const qint64 riffEnd = qint64(ReadU32(base + 4)) + 8;
    if (riffEnd > total) return std::nullopt;

    WaveFile wave;
    bool haveFormat = false;
    qint64 pos = 12;
    while (pos + 8 <= riffEnd) {
        const char* chunk = base + pos;
        const qint64 size = ReadU32(chunk + 4);
        const qint64 body = pos + 8;
        if (size > riffEnd - body) return std::nullopt;
        if (IsTag(chunk, "fmt ")) {
            if (haveFormat || !ReadFormat(chunk + 8, DWORD(size), wave)) return std::nullopt;
            haveFormat = true;
        } else if (IsTag(chunk, "data")) {
            if (!haveFormat) return std::nullopt;
            const qint64 whole = size - size % wave.blockAlign;
            if (whole == 0) return std::nullopt;
            wave.samples = bytes.mid(body, whole);
            return wave;
        }
        // Chunks are padded to an even length.
        pos = body + size + (size & 1);
    }
    return std::nullopt;
}

DWORD WaveFile::DurationMs() const {
    if (sampleRate == 0) return 0;
    return DWORD((quint64(FrameCount()) * 1000 + sampleRate - 1) / sampleRate);
}

}  // namespace platform
