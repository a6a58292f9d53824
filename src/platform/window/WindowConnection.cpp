#include "WindowConnection.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <utility>

#include <sys/socket.h>
#include <unistd.h>

namespace platform {

WindowConnection::WindowConnection(int fd, MessageHandler handler,
                                   std::chrono::milliseconds frameTimeout,
                                   std::function<void()> onClosed, QObject* parent)
    : QObject(parent),
      fd_(fd),
      handler_(std::move(handler)),
      onClosed_(std::move(onClosed)),
      notifier_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)) {
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadAvailable(); });
    // A peer that connects and then stalls must not hold a descriptor forever.
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] { Close(); });
    deadline_.start(frameTimeout);
}

WindowConnection::~WindowConnection() {
    if (fd_ >= 0) ::close(fd_);
}

void WindowConnection::ReadAvailable() {
    // One read per wake-up: the notifier is level-triggered, so a busy peer
    // shares the loop with everything else instead of starving it.
    char chunk[CopyDataFrame::kMaxFrameSize + 1];
    const qsizetype room = static_cast<qsizetype>(sizeof(chunk)) - buffer_.size();
    const ssize_t n = ::recv(fd_, chunk, static_cast<size_t>(room), MSG_DONTWAIT);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (n <= 0) {
        Close();
        return;
    }
    buffer_.append(chunk, n);
    CopyDataFrame::Decoded decoded = CopyDataFrame::Decode(buffer_);
    if (decoded.status == CopyDataFrame::Status::Incomplete) return;
    if (decoded.status == CopyDataFrame::Status::Invalid) {
        Close();
        return;
    }
    Dispatch(std::move(decoded.message));
}

void WindowConnection::Dispatch(CopyDataFrame::Message message) {
    notifier_->setEnabled(false);
    deadline_.stop();
    // The window procedure may run a nested event loop in which this
    // connection, or the whole endpoint, is destroyed.
    QPointer<WindowConnection> self(this);
    const MessageHandler handler = handler_;
    const LRESULT result = handler(std::move(message));
    if (!self) return;
    const QByteArray reply = CopyDataFrame::EncodeReply(result);
    // 12 bytes into an empty socket buffer; if even that fails the sender
    // sees the connection close and reports the failure.
    [[maybe_unused]] const ssize_t sent =
        ::send(fd_, reply.constData(), reply.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    Close();
}

void WindowConnection::Close() {
    if (fd_ < 0) return;
    deadline_.stop();
    notifier_.reset();
    ::close(fd_);
    fd_ = -1;
    if (onClosed_) std::exchange(onClosed_, nullptr)();
    deleteLater();
}

}  // namespace platform
