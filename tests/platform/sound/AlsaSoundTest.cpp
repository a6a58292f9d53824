// PlaySoundA over ALSA: bounded whatever the device, and the names resolve as
// the program expects.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include "platform/sound/AlsaSound.h"

namespace platform {
namespace {

TEST(AlsaSound, TheAlarmIsBoundedOnAnyDevice) {
    // device, expected result (-1: either), at most this long
    const std::tuple<const char*, int, qint64> cases[] = {
        {"null", 1, 1500}, {"vastrel_no_such_device", 0, 200}, {"default", -1, 3000}};
    for (const auto& [device, expected, limit] : cases) {
        AlsaSound sound(device);
        QElapsedTimer timer;
        timer.start();
        const BOOL result = sound.PlaySoundA("alarm", 0, SND_RESOURCE);
        EXPECT_LT(timer.elapsed(), limit) << device;
        if (expected >= 0) {
            EXPECT_EQ(result, expected) << device;
        }
    }
}

TEST(AlsaSound, NamesResolveAsTheProgramUsesThem) {
    const QString path = AlsaSound::FindResource("ALARM");
    ASSERT_FALSE(path.isEmpty());
    EXPECT_EQ(AlsaSound::FindResource("alarm"), path);
    EXPECT_TRUE(AlsaSound::FindResource("ALARMS").isEmpty());
    EXPECT_TRUE(QFile::exists(AlsaSound::DefaultSoundPath()));

    QTemporaryDir dir;
    const std::string good = QFile::encodeName(dir.filePath("good.wav")).toStdString();
    const std::string bad = QFile::encodeName(dir.filePath("bad.wav")).toStdString();
    ASSERT_TRUE(QFile::copy(":/sounds/default.wav", dir.filePath("good.wav")));
    QFile broken(dir.filePath("bad.wav"));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("RIFF....WAVEjunk");
    broken.close();

    AlsaSound sound("null");
    const std::tuple<std::string, HMODULE, DWORD, BOOL> cases[] = {
        {"1", 1, 0, 1},  // the clearing request of the alarm plays the default
        {"SystemAsterisk", 0, SND_NODEFAULT, 1},
        {"1", 1, SND_NODEFAULT, 0},
        {"nothing", 0, SND_RESOURCE | SND_NODEFAULT, 0},
        {"nothing", 0, SND_RESOURCE, 1},
        {good, 0, SND_NODEFAULT, 1},  // wave files by absolute path only
        {bad, 0, SND_NODEFAULT, 0},
        {"good.wav", 0, SND_NODEFAULT, 0},
        {":/sounds/ALARM.wav", 0, SND_NODEFAULT, 0},  // a resource path is no file name
    };
    for (const auto& [name, module, flags, expected] : cases)
        EXPECT_EQ(sound.PlaySoundA(name, module, flags), expected) << name << " " << flags;
}

}  // namespace
}  // namespace platform
