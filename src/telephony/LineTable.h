#pragma once
#include <optional>
#include <string>
#include <vector>

// The per-device record of the telephone lines: entries 0..numLineDevices
// (one more than there are devices), device d shown as line d + 1.
struct LineTable {
    std::vector<std::string> lineNames;
    std::vector<std::string> lineAlarm;
    std::vector<float> callStart;
    std::vector<float> timeOnline;
    std::vector<float> totalTimeOnline;

    void Reset(std::size_t numLineDevices);
    std::size_t Size() const { return lineNames.size(); }

    static constexpr const char* kNameNotAvailable = "Name Not Available";
    // The 22-character name column: up to 21 characters (not bytes: the name
    // is UTF-8), a comma, blanks.
    // No name (no capabilities): "Name Not Available".
    static std::string NameField(const std::optional<std::string>& name);

    // Device d is watched when `lines` holds "," + (d+1) + "," or begins with
    // (d+1) + ",".
    static bool IsWatched(const std::string& lines, std::size_t device);
    // The same rule for every device at once, in one pass over the text.
    static std::vector<bool> WatchedDevices(const std::string& lines, std::size_t numDevices);
    // "1,2,...,n," for every device.
    static std::string AllLines(std::size_t numDevices);
};
