#include "UsageLoader.h"

#include <QElapsedTimer>
#include <QMetaObject>

namespace {
// Progress is posted at most this often: a fast disk would flood the loop.
constexpr qint64 kProgressEveryMs = 50;
}  // namespace

UsageLoader::UsageLoader(QObject* parent)
    : QObject(parent),
      cancel_(std::make_shared<std::atomic<bool>>(false)),
      done_(std::make_shared<std::atomic<bool>>(true)) {}

UsageLoader::~UsageLoader() {
    Stop();
}

void UsageLoader::Stop() {
    cancel_->store(true);
    // The reader looks at the flag between pieces of 1 MiB: a short wait.
    if (worker_.joinable()) worker_.join();
}

void UsageLoader::Cancel() {
    cancel_->store(true);
}

void UsageLoader::Load(DayReader::Source source) {
    Stop();
    cancel_ = std::make_shared<std::atomic<bool>>(false);
    done_ = std::make_shared<std::atomic<bool>>(false);
    const int generation = ++generation_;
    worker_ =
        std::thread([this, source = std::move(source), cancel = cancel_, done = done_, generation] {
            QElapsedTimer since;
            since.start();
            auto progress = [&](qint64 bytes, qint64 total) {
                if (since.elapsed() < kProgressEveryMs && bytes < total) return;
                since.restart();
                QMetaObject::invokeMethod(
                    this,
                    [this, bytes, total, generation] {
                        if (generation == generation_) emit Progress(bytes, total);
                    },
                    Qt::QueuedConnection);
            };
            auto usage = std::make_shared<DayUsage>();
            const DayReader::Result result =
                DayReader().Read(source, *usage, progress, cancel.get());
            done->store(true);
            QMetaObject::invokeMethod(
                this,
                [this, usage, result, generation] {
                    if (generation != generation_) return;
                    if (result == DayReader::Result::Done)
                        emit Loaded(*usage);
                    else
                        emit Cancelled();
                },
                Qt::QueuedConnection);
        });
}
