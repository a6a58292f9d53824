#include "LineTable.h"

#include <charconv>

#include "platform/Utf8Text.h"

using platform::Utf8Text;

void LineTable::Reset(std::size_t numLineDevices) {
    const std::size_t n = numLineDevices + 1;
    lineNames.assign(n, {});
    lineAlarm.assign(n, {});
    callStart.assign(n, 0.0f);
    timeOnline.assign(n, 0.0f);
    totalTimeOnline.assign(n, 0.0f);
}

std::string LineTable::NameField(const std::optional<std::string>& name) {
    if (!name) return kNameNotAvailable;
    const std::size_t length = Utf8Text::Length(*name);
    if (length >= 22) return std::string(Utf8Text::Left(*name, 21)) + ",";
    return *name + "," + std::string(21 - length, ' ');
}

bool LineTable::IsWatched(const std::string& lines, std::size_t device) {
    const std::string number = std::to_string(device + 1);
    return lines.find("," + number + ",") != std::string::npos || lines.rfind(number + ",", 0) == 0;
}

std::vector<bool> LineTable::WatchedDevices(const std::string& lines, std::size_t numDevices) {
    // Every text between two commas (or before the first) that is followed by
    // a comma is an entry; it names a line only when written exactly as the
    // decimal number (no blanks, no sign, no leading zero).
    std::vector<bool> watched(numDevices, false);
    std::size_t start = 0;
    for (std::size_t comma = lines.find(','); comma != std::string::npos;
         start = comma + 1, comma = lines.find(',', start)) {
        const char* first = lines.data() + start;
        const char* last = lines.data() + comma;
        if (first == last || *first == '0') continue;
        std::size_t number = 0;
        const auto [end, error] = std::from_chars(first, last, number);
        if (error != std::errc() || end != last) continue;
        if (number >= 1 && number <= numDevices) watched[number - 1] = true;
    }
    return watched;
}

std::string LineTable::AllLines(std::size_t numDevices) {
    std::string text;
    for (std::size_t n = 1; n <= numDevices; ++n) text += std::to_string(n) + ",";
    return text;
}
