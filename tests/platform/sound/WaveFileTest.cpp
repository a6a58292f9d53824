// Reading WAVE images: the shipped sounds, and every kind of broken header
// refused without reading past the bytes given.
#include <gtest/gtest.h>

#include <QFile>
#include <QtEndian>

#include "platform/sound/WaveFile.h"

namespace platform {
namespace {

QByteArray U32(quint32 v) {
    QByteArray b(4, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray U16(quint16 v) {
    QByteArray b(2, '\0');
    qToLittleEndian(v, b.data());
    return b;
}

QByteArray Chunk(const char* tag, const QByteArray& body) {
    QByteArray c = QByteArray(tag, 4) + U32(quint32(body.size())) + body;
    if (body.size() % 2) c += '\0';
    return c;
}

QByteArray Format(quint16 tag = 1, quint16 channels = 1, quint32 rate = 44100, quint16 bits = 16,
                  int blockAlign = -1) {
    const quint16 align = blockAlign < 0 ? quint16(channels * bits / 8) : quint16(blockAlign);
    return U16(tag) + U16(channels) + U32(rate) + U32(rate * align) + U16(align) + U16(bits);
}

QByteArray Riff(const QByteArray& chunks) {
    return "RIFF" + U32(quint32(chunks.size() + 4)) + "WAVE" + chunks;
}

QByteArray Resource(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    return file.readAll();
}

TEST(WaveFile, AlarmResourceIsTheDescribedSound) {
    const auto wave = WaveFile::Parse(Resource(":/sounds/ALARM.wav"));
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->channels, 1);
    EXPECT_EQ(wave->sampleRate, 44100u);
    EXPECT_EQ(wave->bitsPerSample, 16);
    EXPECT_EQ(wave->samples.size(), 17512);
    EXPECT_EQ(wave->FrameCount(), 8756u);
    EXPECT_EQ(wave->DurationMs(), 199u);
}

TEST(WaveFile, SkipsOtherChunksIncludingOddPadding) {
    const QByteArray data(8, '\x11');
    const auto wave =
        WaveFile::Parse(Riff(Chunk("LIST", "abc") + Chunk("fmt ", Format(1, 2, 8000, 8)) +
                             Chunk("fact", U32(4)) + Chunk("data", data)));
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->channels, 2);
    EXPECT_EQ(wave->sampleRate, 8000u);
    EXPECT_EQ(wave->bitsPerSample, 8);
    EXPECT_EQ(wave->samples, data);
}

TEST(WaveFile, KeepsWholeFramesOnly) {
    const auto wave =
        WaveFile::Parse(Riff(Chunk("fmt ", Format(1, 2, 44100, 16)) + Chunk("data", "1234567")));
    ASSERT_TRUE(wave);
    EXPECT_EQ(wave->samples, QByteArray("1234"));
}

TEST(WaveFile, RefusesMalformedHeaders) {
    const QByteArray fmt = Chunk("fmt ", Format());
    const QByteArray data = Chunk("data", QByteArray(4, '\0'));
    QByteArray hugeChunk = Riff(fmt + "data" + U32(0xFFFFFFFFu) + QByteArray(4, '\0'));
    QByteArray riffTooLong = Riff(fmt + data);
    qToLittleEndian<quint32>(quint32(riffTooLong.size()), riffTooLong.data() + 4);

    const std::vector<std::pair<const char*, QByteArray>> cases = {
        {"empty", {}},
        {"not RIFF", "RIFX" + Riff(fmt + data).mid(4)},
        {"not WAVE", Riff(fmt + data).replace(8, 4, "AVI ")},
        {"RIFF size beyond the bytes", riffTooLong},
        {"chunk size beyond the bytes", hugeChunk},
        {"no format chunk", Riff(data)},
        {"data before format", Riff(data + fmt)},
        {"no data chunk", Riff(fmt)},
        {"empty data", Riff(fmt + Chunk("data", {}))},
        {"format chunk too short", Riff(Chunk("fmt ", Format().left(14)) + data)},
        {"two format chunks", Riff(fmt + fmt + data)},
        {"not PCM", Riff(Chunk("fmt ", Format(3, 1, 44100, 32)) + data)},
        {"no channels", Riff(Chunk("fmt ", Format(1, 0)) + data)},
        {"24 bits", Riff(Chunk("fmt ", Format(1, 1, 44100, 24)) + data)},
        {"zero rate", Riff(Chunk("fmt ", Format(1, 1, 0)) + data)},
        {"block align wrong", Riff(Chunk("fmt ", Format(1, 1, 44100, 16, 4)) + data)},
    };
    for (const auto& [what, bytes] : cases) {
        EXPECT_FALSE(WaveFile::Parse(bytes)) << what;
    }
}

TEST(WaveFile, RefusesEveryCutOffCopyOfTheAlarm) {
    const QByteArray alarm = Resource(":/sounds/ALARM.wav");
    ASSERT_GT(alarm.size(), 44);
    for (qsizetype length = 0; length < alarm.size(); length += length < 64 ? 1 : 997) {
        // A real copy, so a read past the end is a read past the allocation.
        const QByteArray cut(alarm.constData(), length);
        EXPECT_FALSE(WaveFile::Parse(cut)) << length;
    }
}

}  // namespace
}  // namespace platform
