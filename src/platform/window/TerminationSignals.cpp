#include "TerminationSignals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <poll.h>

#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

// The only mutable file-level values: a signal handler can reach nothing
// else. Set before the handlers are installed, cleared after they are removed.
volatile sig_atomic_t gSignalWriteFd = -1;
// When not -1: end the process in the handler with this status, after
// writing gEndLine (a string literal) to standard error.
volatile sig_atomic_t gEndStatus = -1;
const char* volatile gEndLine = nullptr;

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

extern "C" void OnTerminationSignal(int signo) {
    const int savedErrno = errno;
    if (const int status = gEndStatus; status >= 0) {
        if (const char* line = gEndLine) [[maybe_unused]]
            const ssize_t n = ::write(STDERR_FILENO, line, std::strlen(line));
        ::_exit(status);
    }
    const int fd = gSignalWriteFd;
    if (fd >= 0) {
        const char byte = static_cast<char>(signo);
        // Non-blocking: with the pipe full a wake-up is already pending.
        [[maybe_unused]] const ssize_t n = ::write(fd, &byte, 1);
    }
    errno = savedErrno;
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {}

TerminationSignals::~TerminationSignals() {
    Uninstall();
}

bool TerminationSignals::Install() {
    if (installed_) return true;
    if (gSignalWriteFd >= 0) return false;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    readFd_ = fds[0];
    writeFd_ = fds[1];
    gSignalWriteFd = writeFd_;

    notifier_ = std::make_unique<QSocketNotifier>(readFd_, QSocketNotifier::Read);
    connect(notifier_.get(), &QSocketNotifier::activated, this, [this] { Drain(); });

    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signo : kSignals) ::sigaction(signo, &action, nullptr);
    installed_ = true;
    return true;
}

void TerminationSignals::EndAtOnce(int status, const char* line) {
    gEndLine = line;
    gEndStatus = status;
    // A signal that came before this call is still to be handled.
    pollfd p{readFd_, POLLIN, 0};
    if (installed_ && ::poll(&p, 1, 0) > 0) OnTerminationSignal(SIGTERM);
}

void TerminationSignals::Drain() {
    char bytes[64];
    while (::read(readFd_, bytes, sizeof(bytes)) > 0) {
    }
    // Copied: the handler may end the program's window and with it this object.
    const auto onSignal = onSignal_;
    if (onSignal) onSignal();
}

void TerminationSignals::Uninstall() {
    if (!installed_) return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int signo : kSignals) ::sigaction(signo, &action, nullptr);
    gSignalWriteFd = -1;
    gEndStatus = -1;
    gEndLine = nullptr;
    notifier_.reset();
    ::close(readFd_);
    ::close(writeFd_);
    readFd_ = writeFd_ = -1;
    installed_ = false;
}

}  // namespace platform
