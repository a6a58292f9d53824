#include "DataLogRecord.h"

#include <charconv>

namespace datalogrecord {

std::string Success(int row, const std::string& name, int state, const std::string& date,
                    const std::string& time, const std::string& timeOnlineText,
                    const std::string& totalTimeOnlineText) {
    std::string r;
    r.reserve(96);
    AppendSuccess(r, row, name, state, date, time, timeOnlineText, totalTimeOnlineText);
    return r;
}

void AppendSuccess(std::string& r, int row, const std::string& name, int state,
                   const std::string& date, const std::string& time,
                   const std::string& timeOnlineText, const std::string& totalTimeOnlineText) {
    char number[16];
    const auto end = std::to_chars(number, number + sizeof number, row).ptr;
    r += kCrLf;
    r += ' ';
    r.append(number, end);
    r += kFieldSeparator;
    r += name;
    r += kFieldSeparator;
    r += "  ";
    r += state == 1 ? '1' : '0';
    r += kFieldSeparator;
    r += date;
    r += ' ';
    r += time;
    r += kFieldSeparator;
    r += timeOnlineText;
    r += kFieldSeparator;
    r += totalTimeOnlineText;
}

std::string Failure(int row, const std::string& name) {
    return std::string(kCrLf) + " " + std::to_string(row) + kFieldSeparator + name +
           "Line cannot be monitored";
}

}  // namespace datalogrecord
