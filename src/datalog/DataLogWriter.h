#pragma once
#include <QString>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "datalog/LogText.h"

// Writes data-log saves on a thread of its own, so that a save of any size,
// or a slow disk, never holds up the scans. One save at a time.
class DataLogWriter {
public:
    // The pending days that go into one file, each followed by CR LF.
    struct Target {
        QString path;
        std::deque<LogText::Day> days;
    };
    struct Result {
        std::vector<Target> targets;
        std::size_t written = 0;  // targets[0, written) are on the disk
    };

    // notify runs on the writer's thread when a save has finished: it must
    // only post work to the owner's thread.
    explicit DataLogWriter(std::function<void()> notify);
    ~DataLogWriter();
    DataLogWriter(const DataLogWriter&) = delete;
    DataLogWriter& operator=(const DataLogWriter&) = delete;

    // False (and nothing done) while a save is still running.
    bool Start(std::vector<Target> targets);
    bool Busy() const;
    // The finished save's result, handed out once.
    std::optional<Result> TakeResult();
    // Waits at most timeoutMs for the running save; true when none runs.
    bool WaitIdle(int timeoutMs) const;

    static Result Write(std::vector<Target> targets);

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
};
