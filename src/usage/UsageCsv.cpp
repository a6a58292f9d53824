#include "UsageCsv.h"

namespace usagecsv {

namespace {
constexpr const char* kEnd = "\r\n";

std::string Iso(const QDateTime& when) {
    return when.toString("yyyy-MM-ddTHH:mm:ss").toStdString();
}
}  // namespace

std::string Field(const QString& text) {
    const std::string bytes = text.toStdString();
    if (bytes.find_first_of(",\"\r\n") == std::string::npos) return bytes;
    std::string quoted = "\"";
    for (char c : bytes) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string Hourly(const DayUsage& usage) {
    std::string csv = std::string("line,name,hour,seconds_online") + kEnd;
    const std::string day = usage.day.toString("yyyy-MM-dd").toStdString();
    for (const DayUsage::Line& line : usage.lines) {
        const std::string lead = std::to_string(line.row) + "," + Field(line.name) + ",";
        for (int h = 0; h < 24; ++h) {
            csv += lead + day + "T" + (h < 10 ? "0" : "") + std::to_string(h) + ":00," +
                   std::to_string(line.hourSeconds[h]) + kEnd;
        }
    }
    return csv;
}

std::string Calls(const DayUsage& usage) {
    std::string csv =
        std::string("line,name,start,end,duration_seconds,caller_number,caller_name") + kEnd;
    for (const DayUsage::Call& call : usage.calls) {
        const DayUsage::Line& line = usage.lines[call.line];
        csv += std::to_string(line.row) + "," + Field(line.name) + "," + Iso(call.start) + "," +
               Iso(call.end) + "," + std::to_string(call.seconds) + "," + Field(call.callerNumber) +
               "," + Field(call.callerName) + kEnd;
    }
    return csv;
}

}  // namespace usagecsv
