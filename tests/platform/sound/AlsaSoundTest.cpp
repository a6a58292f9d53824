// PlaySoundA over ALSA: bounded whatever the device, and the names resolve as
// the program expects.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTemporaryDir>

#include "NonRegularFiles.h"
#include "platform/sound/AlsaSound.h"

namespace platform {
namespace {

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
    // A FIFO named as the sound file is not read: that would wait for a writer.
    QTemporaryDir dir;
    ASSERT_TRUE(MakeFifo(dir.filePath("fifo.wav")));
    EXPECT_EQ(ExitCodeWithin(5000,
                             [&] {
                                 const std::string name = dir.filePath("fifo.wav").toStdString();
                                 return sound.PlaySoundA(name, 0, SND_NODEFAULT);
                             }),
              0);
}

}  // namespace
}  // namespace platform
