#pragma once
// The listening socket of one window handle: a Unix-domain socket in the
// per-user runtime folder. Accepts only peers of the same user.
#include <QObject>
#include <QString>

#include <chrono>
#include <memory>

#include "platform/window/WindowConnection.h"

class QSocketNotifier;

namespace platform {

class WindowEndpoint : public QObject {
public:
    enum class ListenResult { Listening, InUse, Failed };

    // Enough for any real sender; a flood beyond it is refused, not queued.
    static constexpr int kMaxConnections = 128;

    WindowEndpoint(QString path, MessageHandler handler, std::chrono::milliseconds frameTimeout,
                   QObject* parent = nullptr);
    ~WindowEndpoint() override;

    // InUse when a live process listens at the path; a socket file left by a
    // dead one is removed and taken over.
    ListenResult Listen();
    // Stops accepting and removes the socket file; open connections finish.
    void Close();

private:
    enum class BindResult { Bound, AddressTaken, Failed };
    BindResult Bind(int fd) const;
    bool IsLive() const;
    void AcceptPending();

    QString path_;
    MessageHandler handler_;
    std::chrono::milliseconds frameTimeout_;
    int fd_ = -1;
    int liveConnections_ = 0;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
