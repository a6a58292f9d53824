#include "BackgroundAppender.h"

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace platform {

struct BackgroundAppender::Shared {
    Write write;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::string> queued;
    bool writing = false;
    bool stopping = false;
};

BackgroundAppender::BackgroundAppender(Write write) : shared_(std::make_shared<Shared>()) {
    shared_->write = std::move(write);
    thread_ = std::thread([this] { Run(); });
}

BackgroundAppender::~BackgroundAppender() {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->stopping = true;
    }
    shared_->changed.notify_all();
    thread_.join();
}

void BackgroundAppender::Add(std::string line) {
    {
        const std::lock_guard lock(shared_->mutex);
        shared_->queued.push_back(std::move(line));
    }
    shared_->changed.notify_all();
}

bool BackgroundAppender::WaitIdle(int timeoutMs) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [&] { return shared_->queued.empty() && !shared_->writing; });
}

void BackgroundAppender::Run() {
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    for (;;) {
        s.changed.wait(lock, [&] { return !s.queued.empty() || s.stopping; });
        if (s.queued.empty()) return;  // stopping, and everything is written
        std::vector<std::string> lines;
        lines.swap(s.queued);
        s.writing = true;
        lock.unlock();
        s.write(lines);
        lock.lock();
        s.writing = false;
        s.changed.notify_all();
    }
}

}  // namespace platform
