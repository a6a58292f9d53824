#include "UnixWindowSystem.h"

#include <utility>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/window/LocalSocketAddress.h"
#include "platform/window/TerminationSignals.h"
#include "platform/window/WindowEndpoint.h"
#include "platform/window/WindowMessageClient.h"

namespace platform {
namespace {

constexpr HWND kPidMask = (HWND{1} << 22) - 1;  // Linux pids stay below 2^22

}  // namespace

UnixWindowSystem::UnixWindowSystem(QString runtimeDir, QString userLockDir)
    : UnixWindowSystem(std::move(runtimeDir), Timeouts{}, std::move(userLockDir)) {}

UnixWindowSystem::UnixWindowSystem(QString runtimeDir, Timeouts timeouts, QString userLockDir)
    : runtimeDir_(std::move(runtimeDir)),
      timeouts_(timeouts),
      instanceLock_(runtimeDir_ + "/vastrel.lock") {
    if (!userLockDir.isEmpty() && userLockDir != runtimeDir_)
        userLock_ = std::make_unique<InstanceLock>(userLockDir + "/vastrel.lock");
}

UnixWindowSystem::~UnixWindowSystem() = default;

InstanceLock::Result UnixWindowSystem::TakeInstanceLock() {
    const bool hadIt = holdsLock_;
    auto result = instanceLock_.TryAcquire();
    if (result == InstanceLock::Result::Acquired && userLock_) {
        result = userLock_->TryAcquire();
        // Held by a copy started with another runtime folder: this one is
        // the second, and must not keep the first lock from its own kind.
        if (result != InstanceLock::Result::Acquired) instanceLock_.Release();
    }
    holdsLock_ = result == InstanceLock::Result::Acquired;
    if (holdsLock_ && !hadIt) RemoveStaleSockets();
    // A second start only hands over its command: from here a signal ends
    // it at once, whatever it waits on (the running copy's answer, or the
    // registry's lock held by a copy that is stopped).
    if (result == InstanceLock::Result::HeldByOther && InstallSignals())
        signals_->EndAtOnce(1, "vastrel: ended before the running copy answered\n");
    return result;
}

bool UnixWindowSystem::PrevInstance() {
    // The program has already refused to start without a safe lock; a
    // lock that cannot be taken here means running without the test.
    return TakeInstanceLock() == InstanceLock::Result::HeldByOther;
}

void UnixWindowSystem::RemoveStaleSockets() {
    // Only the lock holder sweeps: every other copy of this user is a second
    // start, alive and listening while it waits, or gone.
    const QDir dir(runtimeDir_);
    const HWND ownPid = HandleFor(0) >> kCounterBits;
    for (const QString& name : dir.entryList({"*.hwnd"}, QDir::System | QDir::Files)) {
        bool ok = false;
        const HWND hWnd = name.chopped(5).toUInt(&ok);
        if (!ok || (hWnd >> kCounterBits) == ownPid) continue;
        const QString path = dir.filePath(name);
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISSOCK(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        if (!IsListening(path)) ::unlink(QFile::encodeName(path).constData());
    }
}

HWND UnixWindowSystem::HandleFor(unsigned counter) const {
    const HWND pid = static_cast<HWND>(::getpid()) & kPidMask;
    return (pid << kCounterBits) | counter;
}

bool UnixWindowSystem::IsOtherHandleOfThisProcess(HWND hWnd) const {
    return (hWnd >> kCounterBits) == (HandleFor(0) >> kCounterBits) && !windows_.contains(hWnd);
}

QString UnixWindowSystem::SocketPath(const QString& runtimeDir, HWND hWnd) {
    return runtimeDir + "/" + QString::number(hWnd) + ".hwnd";
}

HWND UnixWindowSystem::CreateWindowHandle() {
    constexpr unsigned kCounters = (1u << kCounterBits) - 1;
    for (unsigned tried = 0; tried < kCounters; ++tried) {
        const unsigned counter = lastCounter_ % kCounters + 1;
        lastCounter_ = counter;
        const HWND hWnd = HandleFor(counter);
        if (windows_.contains(hWnd)) continue;
        auto endpoint = std::make_unique<WindowEndpoint>(
            SocketPath(runtimeDir_, hWnd),
            [this, hWnd](CopyDataFrame::Message m) { return Deliver(hWnd, std::move(m)); },
            timeouts_.frame, &endpoints_);
        const auto result = endpoint->Listen();
        // InUse: another UnixWindowSystem of this process has it.
        if (result == WindowEndpoint::ListenResult::InUse) continue;
        if (result == WindowEndpoint::ListenResult::Failed) break;
        windows_[hWnd] = Window{WNDPROC{}, endpoint.release()};
        lastError_ = ERROR_SUCCESS;
        return hWnd;
    }
    lastError_ = ERROR_ACCESS_DENIED;
    return 0;
}

void UnixWindowSystem::DestroyWindowHandle(HWND hWnd) {
    const auto it = windows_.find(hWnd);
    if (it == windows_.end()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return;
    }
    if (WindowEndpoint* endpoint = it->second.endpoint) {
        endpoint->Close();
        // Later: this may run inside that endpoint's own message (WM_CLOSE),
        // whose answer is still to be written.
        endpoint->deleteLater();
    }
    windows_.erase(it);
    if (signalTarget_ == hWnd) signalTarget_ = 0;
    lastError_ = ERROR_SUCCESS;
}

WNDPROC UnixWindowSystem::SetWindowLongA(HWND hWnd, int index, WNDPROC newProc) {
    const auto it = windows_.find(hWnd);
    if (it == windows_.end()) {
        lastError_ = ERROR_INVALID_HANDLE;
        return {};
    }
    if (index != GWL_WNDPROC) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return {};
    }
    lastError_ = ERROR_SUCCESS;
    return std::exchange(it->second.proc, std::move(newProc));
}

LRESULT UnixWindowSystem::CallWindowProcA(const WNDPROC& proc, HWND hWnd, UINT msg, WPARAM wParam,
                                          LPARAM lParam) {
    return proc ? proc(hWnd, msg, wParam, lParam) : 0;
}

LRESULT UnixWindowSystem::RunProcedure(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    const auto it = windows_.find(hWnd);
    if (it == windows_.end()) return 0;
    // A copy: the procedure may replace itself (Unhook on WM_CLOSE) while it
    // runs, and the stored one would then be destroyed under its feet.
    const WNDPROC proc = it->second.proc;
    return CallWindowProcA(proc, hWnd, msg, wParam, lParam);
}

LRESULT UnixWindowSystem::Deliver(HWND hWnd, CopyDataFrame::Message message) {
    if (message.msg != WM_COPYDATA) return RunProcedure(hWnd, message.msg, message.wParam, 0);
    COPYDATASTRUCT data;
    data.dwData = message.dwData;
    data.cbData = static_cast<DWORD>(message.data.size());
    data.lpData = message.data.constData();
    return RunProcedure(hWnd, message.msg, message.wParam, reinterpret_cast<LPARAM>(&data));
}

LRESULT UnixWindowSystem::SendMessageA(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (windows_.contains(hWnd)) {
        lastError_ = ERROR_SUCCESS;
        return RunProcedure(hWnd, msg, wParam, lParam);
    }
    if (TerminationPending()) {
        lastError_ = ERROR_CANCELLED;
        return 0;
    }
    // Handle 0, or one of this process that is not ours (its owner runs on
    // this same thread and could never answer while we wait).
    if (hWnd == 0 || IsOtherHandleOfThisProcess(hWnd)) {
        lastError_ = ERROR_INVALID_HANDLE;
        return 0;
    }
    return SendRemote(hWnd, msg, wParam, lParam);
}

LRESULT UnixWindowSystem::SendRemote(HWND hWnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    CopyDataFrame::Message message{msg, wParam, 0, {}};
    if (msg == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || data->cbData > CopyDataFrame::kMaxData ||
            (data->cbData > 0 && !data->lpData)) {
            lastError_ = ERROR_INVALID_PARAMETER;
            return 0;
        }
        message.dwData = data->dwData;
        message.data = QByteArray(static_cast<const char*>(data->lpData), data->cbData);
    }
    const QByteArray frame = CopyDataFrame::Encode(message);
    if (frame.isEmpty()) {
        lastError_ = ERROR_INVALID_PARAMETER;
        return 0;
    }
    const auto result =
        WindowMessageClient::Send(SocketPath(runtimeDir_, hWnd), frame, timeouts_.reply,
                                  signals_ ? signals_->PendingFd() : -1);
    lastError_ = result.error;
    return result.value;
}

bool UnixWindowSystem::TerminationPending() const {
    if (!signals_) return false;
    pollfd p{signals_->PendingFd(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

bool UnixWindowSystem::InstallSignals() {
    if (signals_) return true;
    signals_ = std::make_unique<TerminationSignals>([this] {
        if (signalTarget_ != 0 && windows_.contains(signalTarget_))
            RunProcedure(signalTarget_, WM_CLOSE, 0, 0);
        else
            QCoreApplication::exit(1);  // nobody to close: still never ignored
    });
    if (signals_->Install()) return true;
    signals_.reset();
    return false;
}

void UnixWindowSystem::RouteTerminationSignalsTo(HWND hWnd) {
    signalTarget_ = hWnd;
    if (!InstallSignals()) lastError_ = ERROR_ACCESS_DENIED;
}

}  // namespace platform
