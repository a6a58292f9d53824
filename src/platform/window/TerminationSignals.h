#pragma once
// SIGTERM, SIGINT and SIGHUP turned into a call on the Qt event loop. The
// handler only writes a byte into a pipe; the read end wakes the loop.
#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

namespace platform {

class TerminationSignals : public QObject {
public:
    // onSignal runs on the event loop once per wake-up, however many signals
    // arrived in between (a close request is not made stronger by repeating).
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the pipe cannot be made or another instance already owns the
    // process's handlers.
    bool Install();
    // Readable from the moment a signal arrives until the event loop has
    // handled it: a blocking wait elsewhere polls it to give up at once.
    int PendingFd() const { return readFd_; }
    // From now on a signal ends the process at once, in the handler, with
    // this status and line (a string literal): for a process with nothing
    // to save that may be waiting anywhere, a lock or a reply.
    void EndAtOnce(int status, const char* line);

private:
    void Drain();
    void Uninstall();

    std::function<void()> onSignal_;
    int readFd_ = -1;
    int writeFd_ = -1;
    bool installed_ = false;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
