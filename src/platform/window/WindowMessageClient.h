#pragma once
// The sending half of SendMessageA across processes: connect to the window's
// socket, write one frame, wait for the reply. Blocking by design (the send
// is synchronous) but always bounded by the deadline.
#include <QByteArray>
#include <QString>

#include <chrono>

#include "platform/Win32.h"

namespace platform {

class WindowMessageClient {
public:
    struct Result {
        LRESULT value = 0;
        LONG error = ERROR_SUCCESS;
    };

    // error: ERROR_INVALID_HANDLE when nobody listens at the path or the
    // receiver closed without answering, ERROR_ACCESS_DENIED when the listener
    // belongs to another user, ERROR_TIMEOUT when the deadline passed,
    // ERROR_CANCELLED as soon as cancelFd (when not -1) turns readable.
    static Result Send(const QString& path, const QByteArray& frame,
                       std::chrono::milliseconds timeout, int cancelFd = -1);
};

}  // namespace platform
