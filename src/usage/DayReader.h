#pragma once
#include <QDate>
#include <QString>
#include <atomic>
#include <functional>
#include <string>

#include "usage/DayUsage.h"
#include "usage/RecordParser.h"

// Streams a data log through the day's figures in fixed pieces, so a file of
// any size takes bounded memory, with progress and a way to stop. Runs on
// any thread: it touches nothing but its own files.
class DayReader {
public:
    struct Source {
        QDate day;
        QString dataLog;          // the day's file, or Data.log
        qint64 byteLimit = -1;    // read no further (what was on disk at a moment); -1: all
        std::string unsavedText;  // the day's records no save has written yet
        QString incomingLog;      // In.log; empty: none
    };
    enum class Result { Done, Cancelled };
    // bytes done of bytes in all; called after each piece.
    using Progress = std::function<void(qint64 done, qint64 total)>;

    static constexpr qint64 kPieceBytes = 1 << 20;

    explicit DayReader(RecordParser parser = {}) : parser_(std::move(parser)) {}

    Result Read(const Source& source, DayUsage& usage, const Progress& progress = {},
                const std::atomic<bool>* cancel = nullptr) const;

private:
    RecordParser parser_;
};
