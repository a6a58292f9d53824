#include "DataLogWriter.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/file/AppendOnlyFile.h"

// Lives as long as the thread needs it: a writer stuck on a dead disk at
// shut-down is left behind rather than waited for.
struct DataLogWriter::Shared {
    std::mutex mutex;
    mutable std::condition_variable changed;
    std::optional<std::vector<Target>> job;
    std::optional<Result> result;
    bool busy = false;
    bool stop = false;
    std::function<void()> notify;

    void Run() {
        std::unique_lock lock(mutex);
        while (true) {
            changed.wait(lock, [this] { return stop || job.has_value(); });
            if (!job) return;
            std::vector<Target> targets = std::move(*job);
            job.reset();
            lock.unlock();
            Result done = Write(std::move(targets));
            lock.lock();
            result = std::move(done);
            busy = false;
            changed.notify_all();
            if (notify) notify();
        }
    }
};

DataLogWriter::DataLogWriter(std::function<void()> notify) : shared_(std::make_shared<Shared>()) {
    shared_->notify = std::move(notify);
    std::thread([shared = shared_] { shared->Run(); }).detach();
}

DataLogWriter::~DataLogWriter() {
    std::lock_guard lock(shared_->mutex);
    shared_->stop = true;
    shared_->notify = nullptr;
    shared_->changed.notify_all();
}

bool DataLogWriter::Start(std::vector<Target> targets) {
    std::lock_guard lock(shared_->mutex);
    if (shared_->busy) return false;
    shared_->busy = true;
    shared_->job = std::move(targets);
    shared_->changed.notify_all();
    return true;
}

bool DataLogWriter::Busy() const {
    std::lock_guard lock(shared_->mutex);
    return shared_->busy;
}

std::optional<DataLogWriter::Result> DataLogWriter::TakeResult() {
    std::lock_guard lock(shared_->mutex);
    std::optional<Result> result = std::move(shared_->result);
    shared_->result.reset();
    return result;
}

bool DataLogWriter::WaitIdle(int timeoutMs) const {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                     [this] { return !shared_->busy; });
}

DataLogWriter::Result DataLogWriter::Write(std::vector<Target> targets) {
    Result result;
    for (const Target& target : targets) {
        std::vector<std::string_view> pieces;
        for (const LogText::Day& day : target.days)
            for (const std::string& block : day.blocks) pieces.emplace_back(block);
        pieces.emplace_back("\r\n");
        if (!platform::AppendOnlyFile(target.path).Append(pieces)) break;
        ++result.written;
    }
    result.targets = std::move(targets);
    return result;
}
