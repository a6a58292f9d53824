// Sounds: WAVE images, every broken header refused without reading past the
// bytes given, and PlaySoundA over ALSA bounded whatever the device.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include "NonRegularFiles.h"
#include "platform/sound/AlsaSound.h"
#include "platform/sound/WaveFile.h"

namespace platform {
namespace {

template <typename T>
QByteArray Le(T v) {
    QByteArray b(sizeof(T), '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray Chunk(const char* tag, const QByteArray& body) {
    return QByteArray(tag, 4) + Le(quint32(body.size())) + body + QByteArray(body.size() % 2, '\0');
}

// A "fmt " chunk; blockAlign -1: the right one.
QByteArray Fmt(quint16 tag = 1, quint16 channels = 1, quint32 rate = 44100, quint16 bits = 16,
               int blockAlign = -1) {
    const quint16 align = blockAlign < 0 ? quint16(channels * bits / 8) : quint16(blockAlign);
    return Chunk("fmt ",
                 Le(tag) + Le(channels) + Le(rate) + Le(rate * align) + Le(align) + Le(bits));
}

QByteArray Riff(const QByteArray& chunks) {
    return "RIFF" + Le(quint32(chunks.size() + 4)) + "WAVE" + chunks;
}

TEST(WaveFile, ReadsTheAlarmAndRefusesMalformedHeadersAndEveryCutOffCopy) {
    QFile file(":/sounds/ALARM.wav");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray alarm = file.readAll();
    const auto parsed = WaveFile::Parse(alarm);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(std::tuple(parsed->FrameCount(), parsed->DurationMs()), std::tuple(8756u, 199u));
    const auto wave =
        WaveFile::Parse(Riff(Chunk("LIST", "abc") + Fmt(1, 2, 8000, 16) +
                             Chunk("fact", Le(quint32(4))) + Chunk("data", "1234567")));
    ASSERT_TRUE(wave) << "other chunks are skipped";
    EXPECT_EQ(std::tuple(wave->channels, wave->sampleRate), std::tuple(2, 8000u));
    EXPECT_EQ(wave->samples, QByteArray("1234")) << "whole frames only";

    const QByteArray fmt = Fmt();
    const QByteArray data = Chunk("data", QByteArray(4, '\0'));
    const std::pair<const char*, QByteArray> cases[] = {
        {"empty", {}},
        {"not RIFF", "RIFX" + Riff(fmt + data).mid(4)},
        {"not WAVE", Riff(fmt + data).replace(8, 4, "AVI ")},
        {"RIFF size beyond the bytes", Riff(fmt + data).replace(4, 4, Le(quint32(48)))},
        {"chunk size beyond the bytes", Riff(fmt + "data" + Le(0xFFFFFFFFu) + QByteArray(4, '\0'))},
        {"no format chunk", Riff(data)},
        {"data before format", Riff(data + fmt)},
        {"no data chunk", Riff(fmt)},
        {"empty data", Riff(fmt + Chunk("data", {}))},
        {"format chunk too short", Riff(Chunk("fmt ", fmt.mid(8, 14)) + data)},
        {"two format chunks", Riff(fmt + fmt + data)},
        {"not PCM", Riff(Fmt(3, 1, 44100, 32) + data)},
        {"no channels", Riff(Fmt(1, 0) + data)},
        {"24 bits", Riff(Fmt(1, 1, 44100, 24) + data)},
        {"zero rate", Riff(Fmt(1, 1, 0) + data)},
        {"block align wrong", Riff(Fmt(1, 1, 44100, 16, 4) + data)},
    };
    for (const auto& [what, bytes] : cases) EXPECT_FALSE(WaveFile::Parse(bytes)) << what;
    ASSERT_GT(alarm.size(), 44);
    for (qsizetype length = 0; length < alarm.size(); length += length < 64 ? 1 : 997) {
        const QByteArray cut(alarm.constData(), length);  // a read past it leaves the allocation
        EXPECT_FALSE(WaveFile::Parse(cut)) << length;
    }
}

TEST(AlsaSound, TheAlarmIsBoundedOnAnyDeviceAndNamesResolveAsTheProgramUsesThem) {
    // device, expected result (-1: either), at most this long
    const std::tuple<const char*, int, qint64> cases[] = {
        {"null", 1, 1500}, {"vastrel_no_such_device", 0, 200}, {"default", -1, 3000}};
    for (const auto& [device, expected, limit] : cases) {
        AlsaSound sound(device);
        QElapsedTimer timer;
        timer.start();
        const BOOL result = sound.PlaySoundA("alarm", 0, SND_RESOURCE);
        EXPECT_LT(timer.elapsed(), limit) << device;
        EXPECT_TRUE(expected < 0 || result == expected) << device;
    }
    AlsaSound sound("null");
    EXPECT_EQ(sound.PlaySoundA("1", 1, 0), 1) << "the clearing request plays the default";
    EXPECT_EQ(sound.PlaySoundA("1", 1, SND_NODEFAULT), 0);
    EXPECT_EQ(sound.PlaySoundA("nothing", 0, SND_RESOURCE | SND_NODEFAULT), 0);
    EXPECT_EQ(sound.PlaySoundA(":/sounds/ALARM.wav", 0, SND_NODEFAULT), 0) << "no file name";
    // A FIFO or folder named as the sound file is not read: a FIFO would wait for a writer.
    QTemporaryDir dir;
    ASSERT_TRUE(MakeFifo(dir.filePath("fifo.wav")));
    for (const QString& name : {dir.filePath("fifo.wav"), dir.path()})
        EXPECT_EQ(ExitCodeWithin(
                      5000, [&] { return sound.PlaySoundA(name.toStdString(), 0, SND_NODEFAULT); }),
                  0)
            << name.toStdString();
}

}  // namespace
}  // namespace platform
