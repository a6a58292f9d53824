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
    // Takes ownership of fd. onClosed runs once, when the connection ends.
    WindowConnection(int fd, MessageHandler handler, std::chrono::milliseconds frameTimeout,
                     std::function<void()> onClosed, QObject* parent);
    ~WindowConnection() override;

private:
    void ReadAvailable();
    void Dispatch(CopyDataFrame::Message message);
    void Close();

    int fd_;
    MessageHandler handler_;
    std::function<void()> onClosed_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer deadline_;
    QByteArray buffer_;
};

}  // namespace platform
