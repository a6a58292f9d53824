#pragma once
// One accepted connection to a window endpoint: collects the bytes of one
// message as they arrive (never blocking the event loop), hands a complete
// message to the window, answers with its result and closes.
#include <QByteArray>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

#include "platform/window/CopyDataFrame.h"

class QSocketNotifier;

namespace platform {

using MessageHandler = std::function<LRESULT(CopyDataFrame::Message)>;

class WindowConnection : public QObject {
public:
    // Takes ownership of fd; deletes itself once closed.
    WindowConnection(int fd, MessageHandler handler, std::chrono::milliseconds frameTimeout,
                     QObject* parent);
    ~WindowConnection() override;

    // Connected but its frame not yet complete: the one to drop first when
    // too many are open.
    bool Waiting() const;
    bool Closed() const { return fd_ < 0; }
    void Evict();

private:
    void ReadAvailable();
    void Dispatch(CopyDataFrame::Message message);
    void Close();

    int fd_;
    MessageHandler handler_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer deadline_;
    QByteArray buffer_;
    bool complete_ = false;
};

}  // namespace platform
