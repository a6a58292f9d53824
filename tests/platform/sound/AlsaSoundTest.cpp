// PlaySoundA over ALSA: the "null" device plays at once, a missing device
// fails at once, and the names resolve as the program expects.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/sound/AlsaSound.h"

namespace platform {
namespace {

constexpr const char* kMissingDevice = "vastrel_no_such_device";

// Runs one call and reports how long it took.
template <typename F>
qint64 MillisecondsFor(F&& call) {
    QElapsedTimer timer;
    timer.start();
    call();
    return timer.elapsed();
}

TEST(AlsaSound, ResourceNamesIgnoreCase) {
    const QString path = AlsaSound::FindResource("ALARM");
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(AlsaSound::FindResource("alarm"), path);
    EXPECT_EQ(AlsaSound::FindResource("Alarm"), path);
    EXPECT_TRUE(AlsaSound::FindResource("ALARMS").isEmpty());
    EXPECT_TRUE(AlsaSound::FindResource("").isEmpty());
    EXPECT_TRUE(QFile::exists(AlsaSound::DefaultSoundPath()));
}

TEST(AlsaSound, AlarmPlaysOnTheNullDevice) {
    AlsaSound sound("null");
    BOOL result = 0;
    const qint64 ms = MillisecondsFor([&] { result = sound.PlaySoundA("alarm", 0, SND_RESOURCE); });
    EXPECT_EQ(result, 1);
    EXPECT_LT(ms, 1500);
}

TEST(AlsaSound, MissingDeviceFailsQuickly) {
    AlsaSound sound(kMissingDevice);
    BOOL result = 1;
    const qint64 ms = MillisecondsFor([&] { result = sound.PlaySoundA("alarm", 0, SND_RESOURCE); });
    EXPECT_EQ(result, 0);
    EXPECT_LT(ms, 200);
}

TEST(AlsaSound, DefaultDeviceIsBoundedWhateverTheMachineHas) {
    // Played, refused or stalled: the alarm holds a scan for its length
    // plus a second at most.
    AlsaSound sound("default");
    EXPECT_LT(MillisecondsFor([&] { sound.PlaySoundA("alarm", 0, SND_RESOURCE); }), 3000);
}

TEST(AlsaSound, UnknownNamesPlayTheDefaultUnlessForbidden) {
    AlsaSound sound("null");
    // The clearing request of the alarm: name "1", module 1, no flags.
    EXPECT_EQ(sound.PlaySoundA("1", 1, 0), 1);
    EXPECT_EQ(sound.PlaySoundA("SystemAsterisk", 0, SND_NODEFAULT), 1);
    EXPECT_EQ(sound.PlaySoundA("1", 1, SND_NODEFAULT), 0);
    EXPECT_EQ(sound.PlaySoundA("nothing", 0, SND_RESOURCE | SND_NODEFAULT), 0);
    EXPECT_EQ(sound.PlaySoundA("nothing", 0, SND_RESOURCE), 1);
}

TEST(AlsaSound, WaveFilesByAbsolutePathOnly) {
    QTemporaryDir dir;
    const QString good = dir.filePath("good.wav");
    const QString bad = dir.filePath("bad.wav");
    ASSERT_TRUE(QFile::copy(":/sounds/default.wav", good));
    QFile broken(bad);
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("RIFF....WAVEjunk");
    broken.close();

    AlsaSound sound("null");
    EXPECT_EQ(sound.PlaySoundA(QFile::encodeName(good).toStdString(), 0, SND_NODEFAULT), 1);
    EXPECT_EQ(sound.PlaySoundA(QFile::encodeName(bad).toStdString(), 0, SND_NODEFAULT), 0);
    EXPECT_EQ(sound.PlaySoundA("good.wav", 0, SND_NODEFAULT), 0);
    // A resource path is not a file name.
    EXPECT_EQ(sound.PlaySoundA(":/sounds/ALARM.wav", 0, SND_NODEFAULT), 0);
}

}  // namespace
}  // namespace platform
