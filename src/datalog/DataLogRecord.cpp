#include "DataLogRecord.h"

namespace datalogrecord {

std::string Success(int row, const std::string& name, int state, const std::string& date,
                    const std::string& time, const std::string& timeOnlineText,
                    const std::string& totalTimeOnlineText) {
    std::string r;
    r.reserve(96);
    r += kCrLf;
    r += ' ';
    r += std::to_string(row);
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
    return r;
}

std::string Failure(int row, const std::string& name) {
    return std::string(kCrLf) + " " + std::to_string(row) + kFieldSeparator + name +
           "Line cannot be monitored";
}

}  // namespace datalogrecord
