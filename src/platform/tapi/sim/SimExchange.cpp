#include "SimExchange.h"

#include <unistd.h>

#include "platform/clock/Clock.h"

namespace platform::sim {

SimExchange::SimExchange(ExchangeConfig config, const QString& statePath, const Clock* demoClock)
    : config_(std::move(config)), store_(statePath), injectedClock_(demoClock) {
    demoTimer_.setSingleShot(true);
    QObject::connect(&demoTimer_, &QTimer::timeout, [this] { RunDemo(); });
    store_.Refresh();
}

SimExchange::~SimExchange() {
    SetActive(false);
}

VersionRange SimExchange::DeviceVersions(DWORD device) const {
    return device < config_.lines ? config_.Line(device).versions : VersionRange{};
}

LONG SimExchange::DeviceName(DWORD device, std::string* name) const {
    if (device >= config_.lines) return LINEERR_BADDEVICEID;
    if (config_.Line(device).capsFail) return LINEERR_OPERATIONFAILED;
    *name = config_.Name(device);
    return 0;
}

LONG SimExchange::OpenDevice(DWORD device) {
    if (device >= config_.lines) return LINEERR_BADDEVICEID;
    RefreshOncePerPass();
    if (config_.Line(device).openFail) return LINEERR_OPERATIONFAILED;
    if (store_.State().IsBlocked(device)) return LINEERR_RESOURCEUNAVAIL;
    return 0;
}

const std::vector<CallId>& SimExchange::CallsOn(DWORD device) const {
    return store_.State().CallsOn(device);
}

const ProviderCall* SimExchange::FindCall(CallId id) const {
    const SimCall* sim = store_.State().Find(id);
    return sim == nullptr ? nullptr : &sim->call;
}

void SimExchange::Drop(CallId id) {
    store_.Update([id](ExchangeState& state) { state.End(id); });
    Changed();
}

void SimExchange::Refresh() {
    if (store_.Refresh()) Changed();
    // An injected clock moves without the event loop: catch up at every look.
    if (injectedClock_ != nullptr) RunDemo();
}

void SimExchange::RefreshOncePerPass() {
    // Looked again after a while even within one pass, for a long nested loop.
    constexpr qint64 kLookAgainMs = 100;
    // An injected clock moves without the event loop: every look counts.
    if (injectedClock_ == nullptr && lookedThisPass_ && sinceLook_.isValid() &&
        sinceLook_.elapsed() < kLookAgainMs)
        return;
    Refresh();
    sinceLook_.start();
    if (!lookedThisPass_) {
        lookedThisPass_ = true;
        QTimer::singleShot(0, &passContext_, [this] { lookedThisPass_ = false; });
    }
}

void SimExchange::SetChangeHandler(std::function<void()> handler) {
    onChange_ = std::move(handler);
}

void SimExchange::Changed() {
    if (onChange_) onChange_();
}

void SimExchange::SetActive(bool active) {
    if (!config_.demoTraffic || active == (demo_ != nullptr)) return;
    if (active) {
        demo_ = std::make_unique<DemoTraffic>(config_.seed, config_.lines);
        demoClock_.start();
        if (injectedClock_ != nullptr) demoStart_ = injectedClock_->Now();
        RunDemo();
        return;
    }
    demoTimer_.stop();
    demo_.reset();
    EndDemoCalls();
}

void SimExchange::RunDemo() {
    if (!demo_) return;
    ApplyDemo(demo_->Advance(DemoElapsedMs()));
    const std::int64_t next = demo_->NextDueMs();
    if (next < 0) return;
    demoTimer_.start(static_cast<int>(std::max<std::int64_t>(0, next - DemoElapsedMs())));
}

std::int64_t SimExchange::DemoElapsedMs() const {
    if (injectedClock_ == nullptr) return demoClock_.elapsed();
    // Never backwards: the generator's plan only moves forward.
    return std::max<std::int64_t>(0, demoStart_.msecsTo(injectedClock_->Now()));
}

void SimExchange::ApplyDemo(const std::vector<DemoAction>& actions) {
    if (actions.empty()) return;
    const std::int64_t owner = ::getpid();
    // One locked write for everything due, however late the timer fired.
    store_.Update([&](ExchangeState& state) {
        for (const DemoAction& action : actions) {
            if (action.kind == DemoAction::Kind::Ring) {
                demoCalls_[action.call] =
                    state.Ring(action.device, action.number, action.name, owner);
                continue;
            }
            const auto it = demoCalls_.find(action.call);
            if (it == demoCalls_.end()) continue;
            if (action.kind == DemoAction::Kind::Answer) {
                // Someone may have hung it up with vastrel-phone meanwhile.
                state.Answer(it->second);
            } else {
                state.End(it->second);
                demoCalls_.erase(it);
            }
        }
    });
    Changed();
}

void SimExchange::EndDemoCalls() {
    if (demoCalls_.empty()) return;
    store_.Update([this](ExchangeState& state) {
        for (const auto& [number, id] : demoCalls_) state.End(id);
    });
    demoCalls_.clear();
    Changed();
}

}  // namespace platform::sim
