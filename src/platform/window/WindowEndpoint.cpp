#include "WindowEndpoint.h"

#include <QPointer>
#include <QSocketNotifier>

#include <algorithm>
#include <cerrno>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/window/LocalSocketAddress.h"

namespace platform {
namespace {

// Deep, so that connecting never fails while a flood waits to be accepted:
// every connection is looked at, and a real sender's shows its frame at once.
constexpr int kListenBacklog = SOMAXCONN;
// Accepting a batch per wake-up keeps up with a burst without starving timers.
constexpr int kAcceptsPerWakeup = 32;

}  // namespace

WindowEndpoint::WindowEndpoint(QString path, MessageHandler handler,
                               std::chrono::milliseconds frameTimeout, QObject* parent)
    : QObject(parent),
      path_(std::move(path)),
      handler_(std::move(handler)),
      frameTimeout_(frameTimeout) {}

WindowEndpoint::~WindowEndpoint() {
    Close();
}

WindowEndpoint::ListenResult WindowEndpoint::Listen() {
    if (fd_ >= 0) return ListenResult::Listening;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return ListenResult::Failed;
    BindResult bound = Bind(fd);
    if (bound == BindResult::AddressTaken) {
        if (IsListening(path_)) {
            ::close(fd);
            return ListenResult::InUse;
        }
        ::unlink(path_.toLocal8Bit().constData());
        bound = Bind(fd);
    }
    if (bound != BindResult::Bound || ::listen(fd, kListenBacklog) != 0) {
        if (bound == BindResult::Bound) ::unlink(path_.toLocal8Bit().constData());
        ::close(fd);
        return ListenResult::Failed;
    }
    fd_ = fd;
    notifier_ = std::make_unique<QSocketNotifier>(fd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { AcceptPending(); });
    return ListenResult::Listening;
}

void WindowEndpoint::Close() {
    if (fd_ < 0) return;
    notifier_.reset();
    ::unlink(path_.toLocal8Bit().constData());
    ::close(fd_);
    fd_ = -1;
}

WindowEndpoint::BindResult WindowEndpoint::Bind(int fd) const {
    const auto address = LocalSocketAddress::FromPath(path_);
    if (!address) return BindResult::Failed;
    if (::bind(fd, address->Raw(), address->length) == 0) {
        // The folder is already the user's alone; the file says so as well.
        ::chmod(path_.toLocal8Bit().constData(), S_IRUSR | S_IWUSR);
        return BindResult::Bound;
    }
    return errno == EADDRINUSE ? BindResult::AddressTaken : BindResult::Failed;
}

void WindowEndpoint::AcceptPending() {
    QPointer<WindowEndpoint> self(this);
    for (int i = 0; i < kAcceptsPerWakeup && self && fd_ >= 0; ++i) {
        const int client = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (client < 0) return;
        const auto uid = PeerUid(client);
        if (!uid || *uid != ::geteuid() || !MakeRoom()) {
            ::close(client);
            continue;
        }
        open_.emplace_back(new WindowConnection(client, handler_, frameTimeout_, this));
    }
}

bool WindowEndpoint::MakeRoom() {
    std::erase_if(open_, [](const QPointer<WindowConnection>& c) { return !c || c->Closed(); });
    if (static_cast<int>(open_.size()) < kMaxConnections) return true;
    // The oldest that has not sent its frame goes: a real sender writes at
    // once, so only a silent or trickling peer is ever waiting for long.
    const auto oldest =
        std::find_if(open_.begin(), open_.end(), [](const auto& c) { return c->Waiting(); });
    if (oldest == open_.end()) return false;
    const QPointer<WindowConnection> victim = *oldest;
    open_.erase(oldest);
    victim->Evict();
    return true;
}

}  // namespace platform
