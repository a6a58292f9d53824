#pragma once
// Window handles and cross-process messages over Unix-domain sockets in the
// per-user runtime folder, the previous-instance test as a file lock, and the
// termination signals as WM_CLOSE. Everything runs on the Qt GUI thread.
#include <QObject>
#include <QPointer>
#include <QString>

#include <chrono>
#include <map>
#include <memory>

#include "platform/window/CopyDataFrame.h"
#include "platform/window/InstanceLock.h"
#include "platform/window/WindowSystem.h"

namespace platform {

class TerminationSignals;
class WindowEndpoint;

class UnixWindowSystem : public WindowSystem {
public:
    struct Timeouts {
        // How long a connection may take to deliver its whole message.
        std::chrono::milliseconds frame{2000};
        // How long SendMessageA waits for the receiver's answer.
        std::chrono::milliseconds reply{10000};
    };

    // runtimeDir: the user's private (0700) folder, Paths::runtimeDir.
    // userLockDir: where a second instance lock is taken when it is another
    // folder (Paths::userLockDir), so that starts that see different runtime
    // folders still exclude each other.
    explicit UnixWindowSystem(QString runtimeDir, QString userLockDir = {});
    UnixWindowSystem(QString runtimeDir, Timeouts timeouts, QString userLockDir = {});
    ~UnixWindowSystem() override;
    UnixWindowSystem(const UnixWindowSystem&) = delete;
    UnixWindowSystem& operator=(const UnixWindowSystem&) = delete;

    // The previous-instance lock, asked for before the window exists so that
    // a start without a safe lock can refuse to run. The first time it is
    // taken, socket files of copies that died (kill -9) are removed; when
    // another copy holds it, termination signals end this one at once.
    InstanceLock::Result TakeInstanceLock();

    bool PrevInstance() override;
    // The pid in the high bits and a per-object counter (from 1) in the low
    // nine: unique among live processes, nonzero, positive as a 32-bit int.
    // 0 when no endpoint could be made (LastError says why).
    HWND CreateWindowHandle() override;
    void DestroyWindowHandle(HWND hWnd) override;
    WNDPROC SetWindowLongA(HWND hWnd, int index, WNDPROC newProc) override;
    LRESULT CallWindowProcA(const WNDPROC& proc, HWND hWnd, UINT msg, WPARAM wParam,
                            LPARAM lParam) override;
    LRESULT SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) override;
    LONG LastError() const override { return lastError_; }
    void RouteTerminationSignalsTo(HWND hWnd) override;

    // Where the socket of a handle lives.
    static QString SocketPath(const QString& runtimeDir, HWND hWnd);

private:
    struct Window {
        WNDPROC proc;
        QPointer<WindowEndpoint> endpoint;
    };

    static constexpr int kCounterBits = 9;

    HWND HandleFor(unsigned counter) const;
    bool IsOtherHandleOfThisProcess(HWND hWnd) const;
    LRESULT RunProcedure(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    LRESULT Deliver(HWND hWnd, CopyDataFrame::Message message);
    LRESULT SendRemote(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam);
    void RemoveStaleSockets();
    bool InstallSignals();
    bool TerminationPending() const;

    QString runtimeDir_;
    Timeouts timeouts_;
    InstanceLock instanceLock_;
    std::unique_ptr<InstanceLock> userLock_;
    bool holdsLock_ = false;
    // Parent of every endpoint, also those destroyed but not yet deleted, so
    // none outlives this object and calls back into it.
    QObject endpoints_;
    std::map<HWND, Window> windows_;
    unsigned lastCounter_ = 0;
    LONG lastError_ = ERROR_SUCCESS;
    HWND signalTarget_ = 0;
    std::unique_ptr<TerminationSignals> signals_;
};

}  // namespace platform
