#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "NonRegularFiles.h"
#include "platform/profile/PrivateProfile.h"
#include "settings/ParseLeadingNumber.h"
#include "settings/SettingsFile.h"

namespace {

// Leading number up to the first stranger; blanks, tabs and line feeds are
// ignored anywhere; exponents with E or D; &H and &O prefixes.
TEST(ParseLeadingNumber, ReadsWhatTheSettingsFileAndTheBoxesHold) {
    const std::pair<const char*, double> cases[] = {
        {"720", 720},  {" 1", 1},      {"12abc", 12},       {"abc", 0},     {"", 0},
        {"-", 0},      {"-42x", -42},  {"+7", 7},           {"90.5", 90.5}, {".5", 0.5},
        {"1.", 1},     {"1.2.3", 1.2}, {"1 2\t3\n4", 1234}, {" \t- 5", -5}, {"& H 1E", 30},
        {"1E3", 1000}, {"1d3", 1000},  {"25e-1", 2.5},      {"7e", 7},      {"7e+", 7},
        {"1e-999", 0}, {"&H1E", 30},   {"&h1e", 30},        {"&O17", 15},   {"&o178", 15},
        {"&HG", 0},    {"&X1", 0}};
    for (const auto& [text, value] : cases)
        EXPECT_DOUBLE_EQ(ParseLeadingNumber(text), value) << text;
    EXPECT_TRUE(std::isinf(ParseLeadingNumber("1e999")));
    // Rounding halves to even; what does not fit an int32 is refused.
    for (const auto& [number, to] : {std::pair{90.5, 90}, {91.5, 92}, {-1.5, -2}, {-0.5, 0}})
        EXPECT_EQ(RoundToInt32(number), to) << number;
    EXPECT_EQ(RoundToInt32(-2147483648.0), INT32_MIN);
    EXPECT_EQ(RoundToInt32(2147483647.0), INT32_MAX);
    for (double refused : {2147483647.5, ParseLeadingNumber("1e999"), std::nan("")})
        EXPECT_FALSE(RoundToInt32(refused)) << refused;
}

class SettingsFileTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    platform::PrivateProfile profile{dir.path()};
    SettingsFile file{profile, dir.path()};
    const QByteArray fresh = QByteArray(SettingsFile::kHeader) + "\r\n\r\n";

    QByteArray Contents() {
        QFile f(file.FilePath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    // Writes the bytes (none: no file), prepares the file and loads it.
    Settings Load(const QByteArray& bytes, bool headed = true) {
        if (!bytes.isNull()) {
            QFile f(file.FilePath());
            EXPECT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(headed ? fresh + "[Preferences]\r\n" + bytes : bytes);
        }
        file.PrepareSettingsFile();
        Settings s;
        file.LoadSettings(s);
        return s;
    }
};

// Every default is also pinned by the dialog's OK, which writes them all.
TEST_F(SettingsFileTest, AMissingWronglyHeadedOrGarbageFileIsReheadedPrivateAndItsValuesDropped) {
    const Settings s = Load(QByteArray());
    EXPECT_EQ(Contents(), fresh);
    EXPECT_EQ(ModeOf(file.FilePath()), 0600);
    EXPECT_EQ(std::tuple(s.closeLineTest, s.scanIntervalSeconds), std::tuple(1, 1));
    for (const QByteArray& bad :
         {QByteArray("[Preferences]\r\nAlarm Limit=5\r\n"), QByteArray(""),
          QByteArray("\x00\x01\xff garbage", 12), QByteArray(10'000'000, 'x')}) {
        EXPECT_EQ(Load(bad, false).alarmLimitMinutes, 120);
        EXPECT_EQ(Contents(), fresh);
    }
    EXPECT_EQ(Load("Alarm Limit=5\r\n").alarmLimitMinutes, 5);
    EXPECT_EQ(Contents(), fresh + "[Preferences]\r\nAlarm Limit=5\r\n");
}

TEST_F(SettingsFileTest, ValuesAreLeadingNumbersAndThoseThatDoNotFitTakeTheDefault) {
    const Settings s = Load(
        "SysTray Enabled= 1\r\nSave Data=12abc\r\nKeepLog Days=&H1F\r\nAlarm Limit=90.5\r\n"
        "Interval Minutes=2\r\nInterval Seconds=30\r\nDisplay Data=2\r\nLines=2,5,\r\n"
        "Close LineTest=0\r\n");
    EXPECT_EQ(std::tuple(s.sysTrayEnabled, s.saveDataMinutes, s.keepLogDays, s.alarmLimitMinutes),
              std::tuple(1, 12, 31, 90));
    // A flag is stored as read; its readers treat anything but 1 as off.
    EXPECT_EQ(std::tuple(s.scanIntervalSeconds, s.closeLineTest, s.displayData, s.lines),
              std::tuple(150, 0, 2, std::string("2,5,")));
    // An interval too long to count in seconds takes the default one too.
    const Settings odd = Load(
        "Save Data=abc\r\nSysTray Enabled=256\r\nAlarm=-1\r\nKeepLog Days=-1\r\n"
        "Alarm Limit=1e999\r\nInterval Minutes=2000000000\r\nInterval Seconds=5\r\n");
    EXPECT_EQ(std::tuple(odd.saveDataMinutes, odd.sysTrayEnabled, odd.alarmEnabled, odd.keepLogDays,
                         odd.alarmLimitMinutes, odd.intervalMinutes, odd.scanIntervalSeconds),
              std::tuple(0, 1, 1, 30, 120, 0, 1));
}

// Neither waited on nor written through nor replaced: the defaults apply.
TEST_F(SettingsFileTest, AFifoInItsPlaceGivesTheDefaultsAtOnce) {
    ASSERT_TRUE(MakeFifo(file.FilePath()));
    const auto loadAndSave = [&] {
        Settings s = Load(QByteArray());
        const bool defaults = s.alarmLimitMinutes == 120 && s.scanIntervalSeconds == 1;
        file.SaveSettings(s, [](const Preference::Control&) { return Preference::Value{}; });
        return defaults ? 0 : 1;
    };
    EXPECT_EQ(ExitCodeWithin(5000, loadAndSave), 0);
    EXPECT_TRUE(IsFifo(file.FilePath()));
}

}  // namespace
