#pragma once
#include <QString>
#include <string>

#include "usage/DayUsage.h"

// The day's figures as CSV (RFC 4180: a header row, commas, CR LF, fields
// with a comma, quote or line break in double quotes, quotes doubled; ISO
// 8601 dates and times).
namespace usagecsv {

// line,name,hour,seconds_online: 24 rows per line, hour as 2024-03-12T14:00.
std::string Hourly(const DayUsage& usage);
// line,name,start,end,duration_seconds,caller_number,caller_name; the caller
// fields are empty for a call In.log did not record as offered.
std::string Calls(const DayUsage& usage);
std::string Field(const QString& text);

}  // namespace usagecsv
