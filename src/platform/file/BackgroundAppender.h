#pragma once
// Lines for one file written on a thread of its own, in the order given, so
// that an append that waits for the disk (each is synced before it counts)
// never holds up the event loop.
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class BackgroundAppender {
public:
    // Runs on the appender's thread with every line queued since its last
    // call; what it cannot write is its own business.
    using Write = std::function<void(const std::vector<std::string>& lines)>;

    explicit BackgroundAppender(Write write);
    // Writes what is still queued, then ends the thread.
    ~BackgroundAppender();
    BackgroundAppender(const BackgroundAppender&) = delete;
    BackgroundAppender& operator=(const BackgroundAppender&) = delete;

    void Add(std::string line);
    // Waits at most timeoutMs until everything added is written; true then.
    bool WaitIdle(int timeoutMs) const;

private:
    struct Shared;
    void Run();

    std::shared_ptr<Shared> shared_;
    std::thread thread_;
};

}  // namespace platform
