#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "usage/DayUsage.h"
#include "usage/RecordParser.h"

// Adds the records of one day, in the order they were written, to the day's
// figures. A call is a run of consecutive online records of a line; a record
// credits the time online it added to the run (the scan interval), so the
// figures agree with the program's own online times.
class DayFigures {
public:
    explicit DayFigures(QDate day, RecordParser parser = {});

    // text: one record without its leading CR LF; empty ones (a save's end)
    // are ignored.
    void Add(std::string_view text);
    // Ends the open calls and works out the per-line figures.
    DayUsage Finish();

private:
    struct Run {
        bool open = false;
        int start = 0, last = 0;
        int lastOnline = 0;
        int seconds = 0;
    };
    std::size_t LineOf(int row, std::string_view nameField);
    void AddSuccess(std::size_t line, const RecordParser::Record& r);
    void EndRun(std::size_t line);

    RecordParser parser_;
    DayUsage usage_;
    std::vector<std::string> nameFields_;  // per line, as written
    std::vector<Run> runs_;                // per line
    std::vector<std::size_t> byRow_;       // row -> the last line seen there + 1
};
