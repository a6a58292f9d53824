#pragma once
#include <string>

// The records a scan adds to the data log, one per watched line.
namespace datalogrecord {

inline constexpr const char* kCrLf = "\r\n";
// Keeps the fields of a success record apart.
inline constexpr const char* kFieldSeparator = "\t";

// row: 1-based row of the line in the list; name: its 22-character name field.
std::string Success(int row, const std::string& name, int state, const std::string& date,
                    const std::string& time, const std::string& timeOnlineText,
                    const std::string& totalTimeOnlineText);
std::string Failure(int row, const std::string& name);
// The same success record, appended to out.
void AppendSuccess(std::string& out, int row, const std::string& name, int state,
                   const std::string& date, const std::string& time,
                   const std::string& timeOnlineText, const std::string& totalTimeOnlineText);

}  // namespace datalogrecord
