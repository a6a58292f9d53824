#pragma once
// The listening socket of one window handle: a Unix-domain socket in the
// per-user runtime folder. Accepts only peers of the same user.
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <deque>
#include <memory>

#include "platform/window/WindowConnection.h"

class QSocketNotifier;

namespace platform {

class WindowEndpoint : public QObject {
public:
    enum class ListenResult { Listening, InUse, Failed };

    // Open at once; beyond it the oldest still waiting for its frame is
    // dropped for the newcomer.
    static constexpr int kMaxConnections = 32;

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
    void AcceptPending();
    bool MakeRoom();

    QString path_;
    MessageHandler handler_;
    std::chrono::milliseconds frameTimeout_;
    int fd_ = -1;
    std::deque<QPointer<WindowConnection>> open_;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace platform
