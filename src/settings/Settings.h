#pragma once
#include <cstdint>
#include <string>

// The operator's preferences: one record for the process. Flags hold the
// number read (any 0..255); every reader tests them for the value 1.
struct Settings {
    std::uint8_t loadAtStartup = 0;
    std::uint8_t sysTrayEnabled = 0;
    std::uint8_t sampleEnabled = 0;
    std::int32_t saveDataMinutes = 0;
    std::uint8_t appendData = 0;
    std::uint8_t closeLineTest = 0;
    std::uint8_t displayData = 0;
    std::uint8_t playSound = 0;
    std::uint8_t keepLog = 0;
    std::int32_t keepLogDays = 0;
    std::uint8_t alarmEnabled = 0;
    std::int32_t alarmLimitMinutes = 0;
    std::int32_t intervalMinutes = 0;
    std::int32_t intervalSeconds = 0;
    std::string lines;

    // intervalMinutes * 60 + intervalSeconds.
    std::int32_t scanIntervalSeconds = 0;
};
