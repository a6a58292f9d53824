#pragma once
#include <QObject>
#include <atomic>
#include <memory>
#include <thread>

#include "usage/DayReader.h"

// Reads a day on a thread of its own, so a file of hundreds of MB never holds
// up the scans or the window; progress and the result come back on the
// owner's thread. A new load cancels the one running.
class UsageLoader : public QObject {
    Q_OBJECT
public:
    explicit UsageLoader(QObject* parent = nullptr);
    ~UsageLoader() override;

    void Load(DayReader::Source source);
    void Cancel();
    bool Busy() const { return worker_.joinable() && !done_->load(); }

signals:
    void Progress(qint64 done, qint64 total);
    void Loaded(const DayUsage& usage);
    void Cancelled();

private:
    void Stop();

    std::thread worker_;
    std::shared_ptr<std::atomic<bool>> cancel_;
    std::shared_ptr<std::atomic<bool>> done_;
    int generation_ = 0;
};
