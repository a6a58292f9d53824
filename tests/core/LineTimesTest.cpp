#include <gtest/gtest.h>

#include "FakeClock.h"
#include "FakeSound.h"
#include "core/LineTimes.h"

namespace {

TEST(FormatDuration, WritesHoursMinutesAndSecondsWithTheirBlanks) {
    for (const auto& [seconds, text] :
         std::vector<std::pair<float, const char*>>{{0, " 0 h  00 m  00 s"},
                                                    {1678, " 0 h  27 m  58 s"},
                                                    {4033, " 1 h  07 m  13 s"},
                                                    {86399, " 23 h  59 m  59 s"},
                                                    {90000, " 25 h  00 m  00 s"},
                                                    {59.9f, " 0 h  00 m  59 s"}})
        EXPECT_EQ(LineTimes::FormatDuration(seconds), text) << seconds;
}

class LineTimesTest : public ::testing::Test {
protected:
    LineTable table;
    Settings settings;
    FakeClock clock{QDateTime(QDate(2026, 12, 5), QTime(10, 0, 0))};
    FakeSound sound;
    LineTimes times{table, settings, clock, sound};

    void SetUp() override {
        table.Reset(300);
        settings.scanIntervalSeconds = 10;
        settings.alarmEnabled = 1;
        settings.alarmLimitMinutes = 120;
    }
    void Scan(std::uint8_t state, std::size_t device = 0) {
        times.UpdateLineTimes(state, device);
        clock.Advance(settings.scanIntervalSeconds);
    }
};

TEST_F(LineTimesTest, EachScanOnlineCreditsOneIntervalAndTheEndKeepsTheTotal) {
    Scan(0);
    EXPECT_EQ(table.callStart[0], 0);
    Scan(1);
    EXPECT_EQ(times.timeOnlineText, " 0 h  00 m  10 s");
    Scan(1), Scan(1);
    EXPECT_EQ(times.timeOnlineText, " 0 h  00 m  30 s");
    Scan(0);
    EXPECT_EQ(times.timeOnlineText, " 0 h  00 m  00 s");
    EXPECT_EQ(times.totalTimeOnlineText, " 0 h  00 m  30 s");
    EXPECT_EQ(table.callStart[0], 0);
    Scan(1);
    EXPECT_EQ(times.totalTimeOnlineText, " 0 h  00 m  40 s");
}

TEST_F(LineTimesTest, AMidnightCallStartsAgainNextScanAndIntervalZeroCreditsNothing) {
    clock.SetTime(QTime(0, 0, 0));
    Scan(1);
    EXPECT_EQ(table.callStart[0], 0);
    EXPECT_EQ(table.timeOnline[0], 0);
    Scan(1);
    EXPECT_EQ(table.callStart[0], 10);
    EXPECT_EQ(table.timeOnline[0], 10);
    // Interval zero marks the call but credits nothing; strangers are ignored.
    Scan(0);
    settings.scanIntervalSeconds = 0;
    clock.Advance(1);
    for (int i = 0; i < 5; ++i) Scan(1);
    EXPECT_GT(table.callStart[0], 0);
    EXPECT_EQ(table.timeOnline[0], 0);
    times.UpdateLineTimes(1, 5000);  // a device outside the table
    EXPECT_TRUE(sound.requests.empty());
}

TEST_F(LineTimesTest, TheAlarmRisesAtTheLimitSoundsEveryScanAndClearsOnce) {
    settings.alarmLimitMinutes = 2;
    settings.scanIntervalSeconds = 30;
    settings.playSound = 1;
    for (int i = 0; i < 3; ++i) Scan(1);
    EXPECT_EQ(table.lineAlarm[0], "");
    EXPECT_TRUE(sound.requests.empty());
    Scan(1);  // the fourth scan: 120 s
    EXPECT_EQ(table.lineAlarm[0], "Alarm");
    Scan(1);
    EXPECT_EQ(sound.requests, (std::vector<std::string>{"alarm/1/262148", "alarm/1/262148"}));
    Scan(0);
    EXPECT_EQ(table.lineAlarm[0], "");
    Scan(0);
    EXPECT_EQ(sound.requests.back(), "1/1/0");
    EXPECT_EQ(sound.requests.size(), 3u);
}

TEST_F(LineTimesTest, SoundOffBeepsAndSwitchingTheAlarmOffClearsIt) {
    settings.alarmLimitMinutes = 0;
    Scan(0, 299);  // limit 0: even an idle line alarms
    EXPECT_EQ(table.lineAlarm[299], "Alarm");
    EXPECT_EQ(sound.requests, std::vector<std::string>{"beep"});
    settings.alarmEnabled = 0;
    Scan(1, 299);
    EXPECT_EQ(table.lineAlarm[299], "");
    EXPECT_EQ(sound.requests.back(), "1/1/0");
}

// The alarm sounds at every scan but is told once per call: again only for
// a new call (or the same line's next call) that reaches the limit.
TEST_F(LineTimesTest, EachCallReachingTheLimitIsToldOnce) {
    std::vector<std::size_t> told;
    times.OnAlarmEntered([&](std::size_t d) { told.push_back(d); });
    settings.alarmLimitMinutes = 1;
    settings.scanIntervalSeconds = 30;
    for (int i = 0; i < 5; ++i) Scan(1, 3), Scan(i < 1 ? 1 : 0, 7);
    EXPECT_EQ(told, std::vector<std::size_t>{3}) << "line 8 hung up at 30 s";
    Scan(0, 3);
    for (int i = 0; i < 3; ++i) Scan(1, 3);
    EXPECT_EQ(told, (std::vector<std::size_t>{3, 3}));
    // Limit 0: idle lines show the alarm but only a call is told of, at once.
    settings.alarmLimitMinutes = 0;
    Scan(0, 5), Scan(0, 5);
    EXPECT_EQ(table.lineAlarm[5], "Alarm");
    EXPECT_EQ(told.size(), 2u);
    Scan(1, 5), Scan(1, 5);
    EXPECT_EQ(told, (std::vector<std::size_t>{3, 3, 5}));
}

}  // namespace
