#include "WindowConnection.h"

#include <QPointer>
#include <QSocketNotifier>

#include <cerrno>
#include <utility>

#include <sys/socket.h>
#include <unistd.h>

namespace platform {

WindowConnection::WindowConnection(int fd, MessageHandler handler,
                                   std::chrono::milliseconds frameTimeout, QObject* parent)
    : QObject(parent),
      fd_(fd),
      handler_(std::move(handler)),
      notifier_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)) {
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { ReadAvailable(); });
    // A peer that connects and then stalls must not hold a descriptor forever.
    // Whatever arrived by then still counts: a busy loop may see the timer
    // before the data.
    deadline_.setSingleShot(true);
    connect(&deadline_, &QTimer::timeout, this, [this] {
        ReadAvailable();
        if (Waiting()) Close();
    });
    deadline_.start(frameTimeout);
    // A real sender writes its frame right after connecting: read it now, so
    // that a flood of silent connections arriving next cannot push it out.
    ReadAvailable();
}

bool WindowConnection::Waiting() const {
    return fd_ >= 0 && !complete_;
}

void WindowConnection::Evict() {
    Close();
}

WindowConnection::~WindowConnection() {
    if (fd_ >= 0) ::close(fd_);
}

void WindowConnection::ReadAvailable() {
    if (!Waiting()) return;
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
    complete_ = true;
    notifier_->setEnabled(false);
    deadline_.stop();
    // Queued: the window procedure may run a nested event loop, which must
    // not start inside the endpoint's accepting or this object's constructor.
    QMetaObject::invokeMethod(
        this, [this, message = decoded.message] { Dispatch(message); }, Qt::QueuedConnection);
}

void WindowConnection::Dispatch(CopyDataFrame::Message message) {
    if (fd_ < 0) return;
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
    deleteLater();
}

}  // namespace platform
