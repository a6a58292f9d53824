#pragma once
#include <optional>
#include <string_view>

#include "usage/StampReader.h"

// One data-log record, the text between its leading CR LF and the next:
// " row TAB name-field TAB "  state" TAB date time TAB online TAB total"
// or " row TAB name-field "Line cannot be monitored"".
class RecordParser {
public:
    struct Record {
        int row = 0;
        std::string_view nameField;
        bool monitored = true;
        bool online = false;
        StampReader::Stamp stamp;  // success records only
        int timeOnline = 0;        // seconds, as the record credited them so far
    };

    RecordParser() = default;
    explicit RecordParser(StampReader stamps) : stamps_(std::move(stamps)) {}

    // Nothing for a record that is torn or not a record at all.
    std::optional<Record> Parse(std::string_view text);
    // " 0 h  27 m  58 s" in seconds.
    static std::optional<int> ParseDuration(std::string_view text);

private:
    StampReader stamps_;
};
