#include "AlsaSound.h"

#include <alsa/asoundlib.h>

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <chrono>
#include <memory>
#include <thread>

#include "platform/file/RegularFile.h"

namespace platform {
namespace {

constexpr const char* kSoundDir = ":/sounds";
// Sound files we read by name are short effects; anything bigger is refused
// rather than held in memory and played for minutes on the GUI thread.
constexpr std::size_t kMaxSoundFileBytes = 4 * 1024 * 1024;
constexpr int kLatencyUs = 100000;
constexpr int kGraceMs = 1000;
constexpr int kPollMs = 5;

// The names of the system's own event sounds; all of them are our default sound.
constexpr const char* kSystemAliases[] = {
    "SystemDefault",  ".Default",    "SystemAsterisk", "SystemExclamation",  "SystemHand",
    "SystemQuestion", "SystemStart", "SystemExit",     "SystemNotification",
};

void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using PcmHandle = std::unique_ptr<snd_pcm_t, PcmCloser>;

std::optional<WaveFile> LoadWave(const QString& path) {
    if (path.startsWith(':')) {  // built in
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || file.size() > qint64{kMaxSoundFileBytes})
            return std::nullopt;
        return WaveFile::Parse(file.readAll());
    }
    // A file named by the caller: never a FIFO or device, which would block the GUI thread.
    std::string bytes;
    if (RegularFile::Read(path, bytes, kMaxSoundFileBytes + 1) != RegularFile::Status::Ok ||
        bytes.size() > kMaxSoundFileBytes)
        return std::nullopt;
    return WaveFile::Parse(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

bool IsSystemAlias(const std::string& name) {
    const QString text = QString::fromLatin1(name);
    for (const char* alias : kSystemAliases) {
        if (text.compare(QLatin1String(alias), Qt::CaseInsensitive) == 0) return true;
    }
    return false;
}

bool WriteAll(snd_pcm_t* pcm, const WaveFile& wave, const QDeadlineTimer& deadline) {
    const char* data = wave.samples.constData();
    snd_pcm_uframes_t left = wave.FrameCount();
    while (left > 0) {
        if (deadline.hasExpired()) return false;
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm, data, left);
        if (n == -EAGAIN) {
            snd_pcm_wait(pcm, kPollMs);
        } else if (n < 0) {
            if (snd_pcm_recover(pcm, int(n), 1) < 0) return false;
        } else {
            data += n * wave.blockAlign;
            left -= snd_pcm_uframes_t(n);
        }
    }
    return true;
}

bool WaitDrained(snd_pcm_t* pcm, const QDeadlineTimer& deadline) {
    int result = snd_pcm_drain(pcm);
    while (result == -EAGAIN && snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING) {
        if (deadline.hasExpired()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(kPollMs));
    }
    return result == 0 || result == -EAGAIN;
}

}  // namespace

AlsaSound::AlsaSound(std::string device, Beeper beep)
    : device_(std::move(device)), beep_(std::move(beep)) {
    // ALSA reports a missing device on stderr; for us that is simply silence.
    snd_lib_error_set_handler(SilentAlsaError);
}

std::string AlsaSound::DeviceFromEnvironment() {
    const QByteArray value = qgetenv("VASTREL_SOUND_DEVICE");
    return value.isEmpty() ? std::string("default") : value.toStdString();
}

QString AlsaSound::FindResource(const std::string& name) {
    const QString wanted = QString::fromLatin1(name);
    if (wanted.isEmpty()) return {};
    const QDir dir(kSoundDir);
    for (const QFileInfo& entry : dir.entryInfoList(QDir::Files)) {
        if (entry.completeBaseName().compare(wanted, Qt::CaseInsensitive) == 0) {
            return entry.filePath();
        }
    }
    return {};
}

QString AlsaSound::DefaultSoundPath() {
    return QString(kSoundDir) + "/default.wav";
}

std::optional<WaveFile> AlsaSound::SoundFor(const std::string& name, DWORD flags) const {
    std::optional<WaveFile> wave;
    if ((flags & SND_RESOURCE) == SND_RESOURCE) {
        const QString path = FindResource(name);
        if (!path.isEmpty()) wave = LoadWave(path);
    } else if (IsSystemAlias(name)) {
        wave = LoadWave(DefaultSoundPath());
    } else {
        // A sound name may also be a wave file; only absolute paths, so the
        // working directory never decides what plays.
        const QString path = QFile::decodeName(name.c_str());
        if (QDir::isAbsolutePath(path) && !path.startsWith(':')) wave = LoadWave(path);
    }
    if (!wave && !(flags & SND_NODEFAULT)) wave = LoadWave(DefaultSoundPath());
    return wave;
}

BOOL AlsaSound::PlaySoundA(const std::string& name, HMODULE /*module*/, DWORD flags) {
    // No name asks to stop the current sound; ours have always finished.
    if (name.empty()) return 1;
    const std::optional<WaveFile> wave = SoundFor(name, flags);
    return wave && Play(*wave) ? 1 : 0;
}

BOOL AlsaSound::Beep() {
    return beep_ && beep_() ? 1 : 0;
}

bool AlsaSound::Play(const WaveFile& wave) const {
    if (wave.FrameCount() == 0) return false;
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, device_.c_str(), SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK) < 0) {
        return false;
    }
    const PcmHandle pcm(raw);
    const snd_pcm_format_t format =
        wave.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (snd_pcm_set_params(pcm.get(), format, SND_PCM_ACCESS_RW_INTERLEAVED, wave.channels,
                           wave.sampleRate, 1, kLatencyUs) < 0) {
        return false;
    }
    const QDeadlineTimer deadline(qint64(wave.DurationMs()) + kGraceMs);
    if (WriteAll(pcm.get(), wave, deadline) && WaitDrained(pcm.get(), deadline)) return true;
    snd_pcm_drop(pcm.get());
    return false;
}

}  // namespace platform
