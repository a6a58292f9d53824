#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <array>
#include <vector>

// One day's use of the lines, as its data-log records tell it.
struct DayUsage {
    struct Line {
        int row = 0;   // the line's row in the data log
        QString name;  // as recorded, without the column's comma and blanks
        std::array<int, 24> hourSeconds{};
        int totalSeconds = 0;
        int calls = 0;
        int longestSeconds = 0;
        int busiestHour = -1;  // -1: never online
        int offeredCalls = 0;  // calls with a caller id in In.log
        int unmonitoredScans = 0;
    };
    struct Call {
        std::size_t line = 0;  // index into lines
        QDateTime start;       // the first scan that saw it
        QDateTime end;         // the last one
        int seconds = 0;       // what its records credited
        bool offered = false;
        QString callerNumber;
        QString callerName;
    };

    QDate day;
    std::vector<Line> lines;
    std::vector<Call> calls;
    bool found = false;       // a data log for the day was there to read
    long long records = 0;    // the day's records read
    long long damaged = 0;    // torn or not records at all: skipped
    int unmatchedOffers = 0;  // In.log calls of the day no call of a line matched
};
