#include "Preference.h"

#include <algorithm>
#include <array>

namespace {

using enum Preference::Kind;

constexpr std::array<Preference, 15> kTable = {{
    {"Load @ startup", &Settings::loadAtStartup, 0, true, {CheckBox, "chkLoad"}},
    {"SysTray Enabled", &Settings::sysTrayEnabled, 1, true, {CheckBox, "chkIcon"}},
    {"Display Data", &Settings::displayData, 1, true, {CheckBox, "chkDisplayData"}},
    {"Play Sound", &Settings::playSound, 0, false, {CheckBox, "chkPlaySound"}},
    {"Sample Enabled", &Settings::sampleEnabled, 1, true, {OptionPair, "optSample", "optClose"}},
    {"Save Data", &Settings::saveDataMinutes, 720, true, {NumberBox, "txtSaveData", "vsb1"}},
    {"Interval Minutes", &Settings::intervalMinutes, 0, false, {NumberBox, "txtMinutes", "vsb2"}},
    {"Interval Seconds", &Settings::intervalSeconds, 1, true, {NumberBox, "txtSeconds", "vsb3"}},
    {"Append Data", &Settings::appendData, 1, true, {OptionPair, "optAppend", "optCreate"}},
    {"Keep Log", &Settings::keepLog, 1, true, {CheckBox, "chkKeepLogs"}},
    {"KeepLog Days", &Settings::keepLogDays, 30, true, {NumberBox, "txtDays", "vsbDays"}, 0},
    {"Alarm", &Settings::alarmEnabled, 1, true, {CheckBox, "chkAlarm"}},
    {"Alarm Limit", &Settings::alarmLimitMinutes, 120, true, {NumberBox, "txtAlarm", "vsbAlarm"}},
    {"Lines", &Settings::lines, 0, false, {TextBox, "txtLines"}},
    // No control: OK sets it from the Scan option without writing it.
    {"Close LineTest", &Settings::closeLineTest, 1, true, {}},
}};

// A control bound to the wrong kind of field, or missing one of its names,
// would be filled or read wrongly without a word: refused at build time.
constexpr bool Fits(const Preference& p) {
    const auto& [kind, name, other] = p.control;
    switch (kind) {
        case NoControl:
            return !name;
        case CheckBox:
            return std::holds_alternative<Preference::FlagField>(p.field) && name && !other;
        case OptionPair:
            return std::holds_alternative<Preference::FlagField>(p.field) && name && other;
        case NumberBox:
            return std::holds_alternative<Preference::NumberField>(p.field) && name && other;
        case TextBox:
            return std::holds_alternative<Preference::TextField>(p.field) && name && !other;
    }
    return false;
}
static_assert(std::ranges::all_of(kTable, Fits));

}  // namespace

std::span<const Preference> Preference::All() {
    return kTable;
}
