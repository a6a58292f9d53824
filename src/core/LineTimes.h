#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "settings/Settings.h"
#include "telephony/LineTable.h"

namespace platform {
class Clock;
class Sound;
}  // namespace platform

// Online-time accounting and the alarm: every scan that sees a line online
// credits it with exactly one scan interval.
class LineTimes {
public:
    LineTimes(LineTable& table, const Settings& settings, const platform::Clock& clock,
              platform::Sound& sound);

    // state 1 = online, 0 = idle. Leaves the two duration texts of the line.
    void UpdateLineTimes(std::uint8_t state, std::size_t device);

    // Called once per call, on the scan in which an online call is first in
    // alarm; the call ends when a scan sees the line idle (or a rebuilt table
    // starts it over).
    using AlarmEntered = std::function<void(std::size_t device)>;
    void OnAlarmEntered(AlarmEntered handler) { alarmEntered_ = std::move(handler); }

    // " H h  MM m  SS s"; hours are not wrapped into days.
    static std::string FormatDuration(float seconds);
    static void FormatDuration(float seconds, std::string& text);

    std::string timeOnlineText;
    std::string totalTimeOnlineText;

private:
    void TestAlarm(std::size_t device);
    void TellAlarmOnce(std::uint8_t state, bool callStarts, std::size_t device);

    LineTable& table_;
    const Settings& settings_;
    const platform::Clock& clock_;
    platform::Sound& sound_;
    AlarmEntered alarmEntered_;
    // Per device: this call's alarm has been told.
    std::vector<bool> alarmTold_;
};
