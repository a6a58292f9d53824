#include "LineTimes.h"

#include <charconv>
#include <cmath>

#include "platform/clock/Clock.h"
#include "platform/sound/Sound.h"

LineTimes::LineTimes(LineTable& table, const Settings& settings, const platform::Clock& clock,
                     platform::Sound& sound)
    : table_(table), settings_(settings), clock_(clock), sound_(sound) {}

void LineTimes::UpdateLineTimes(std::uint8_t state, std::size_t d) {
    if (d >= table_.Size()) return;
    float& callStart = table_.callStart[d];
    const bool callStarts = state == 1 && callStart == 0;
    if (callStarts) callStart = static_cast<float>(clock_.SecondsSinceMidnight());
    if (state == 1 && callStart > 0) {
        table_.timeOnline[d] += static_cast<float>(settings_.scanIntervalSeconds);
        table_.totalTimeOnline[d] += static_cast<float>(settings_.scanIntervalSeconds);
    }
    if (state == 0 && callStart > 0) {
        callStart = 0;
        table_.timeOnline[d] = 0;
    }
    TestAlarm(d);
    TellAlarmOnce(state, callStarts, d);
    FormatDuration(table_.timeOnline[d], timeOnlineText);
    FormatDuration(table_.totalTimeOnline[d], totalTimeOnlineText);
}

void LineTimes::TestAlarm(std::size_t d) {
    const bool alarming =
        settings_.alarmEnabled == 1 && table_.timeOnline[d] / 60.0 >= settings_.alarmLimitMinutes;
    if (alarming) {
        table_.lineAlarm[d] = "Alarm";
        if (settings_.playSound == 1)
            sound_.PlaySoundA("alarm", 1, platform::SND_RESOURCE);
        else
            sound_.Beep();
        return;
    }
    // The clearing sound: a name that names no sound, so the default one plays.
    if (table_.lineAlarm[d] == "Alarm") sound_.PlaySoundA("1", 1, 0);
    table_.lineAlarm[d].clear();
}

// The alarm column also reads "Alarm" for an idle line at limit 0, and
// sounds at every scan; a call is told of once, whatever the limit.
void LineTimes::TellAlarmOnce(std::uint8_t state, bool callStarts, std::size_t d) {
    if (alarmTold_.size() < table_.Size()) alarmTold_.resize(table_.Size());
    if (state != 1 || callStarts) alarmTold_[d] = false;
    if (state != 1 || alarmTold_[d] || table_.lineAlarm[d] != "Alarm") return;
    alarmTold_[d] = true;
    if (alarmEntered_) alarmEntered_(d);
}

std::string LineTimes::FormatDuration(float seconds) {
    std::string text;
    FormatDuration(seconds, text);
    return text;
}

void LineTimes::FormatDuration(float seconds, std::string& text) {
    const double t = seconds;
    const double h = std::floor(t / 3600);
    const double m = std::floor((t - 3600 * h) / 60);
    const double s = std::floor(t - 3600 * h - 60 * m);
    // Plain digit formatting into the caller's string: this runs twice per
    // line in every scan.
    char digits[24];
    const auto hours = std::to_chars(digits, digits + sizeof digits, static_cast<long long>(h));
    const auto m2 = static_cast<int>(m), s2 = static_cast<int>(s);
    text.assign(1, ' ');
    text.append(digits, hours.ptr);
    text += " h  ";
    text += static_cast<char>('0' + m2 / 10 % 10);
    text += static_cast<char>('0' + m2 % 10);
    text += " m  ";
    text += static_cast<char>('0' + s2 / 10 % 10);
    text += static_cast<char>('0' + s2 % 10);
    text += " s";
}
