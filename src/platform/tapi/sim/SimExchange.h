#pragma once
// The simulated exchange, the default provider: lines and their names from
// telephon.ini, calls from the shared state that vastrel-phone drives, and
// optional demo traffic made while a session is open.
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <memory>
#include <unordered_map>

#include "DemoTraffic.h"
#include "ExchangeConfig.h"
#include "ExchangeStore.h"
#include "platform/tapi/LineProvider.h"

namespace platform {
class Clock;
}

namespace platform::sim {

class SimExchange : public LineProvider {
public:
    // Demo traffic keeps time with demoClock when one is given (a test that
    // compresses a day), otherwise with the monotonic clock.
    SimExchange(ExchangeConfig config, const QString& statePath, const Clock* demoClock = nullptr);
    ~SimExchange() override;
    SimExchange(const SimExchange&) = delete;
    SimExchange& operator=(const SimExchange&) = delete;

    DWORD DeviceCount() const override { return config_.lines; }
    VersionRange DeviceVersions(DWORD device) const override;
    LONG DeviceName(DWORD device, std::string* name) const override;
    LONG OpenDevice(DWORD device) override;
    const std::vector<CallId>& CallsOn(DWORD device) const override;
    const ProviderCall* FindCall(CallId id) const override;
    bool AcceptsDrop() const override { return config_.acceptDrop; }
    void Drop(CallId id) override;
    void Refresh() override;
    void SetChangeHandler(std::function<void()> handler) override;
    void SetActive(bool active) override;

    const ExchangeConfig& Config() const { return config_; }
    ExchangeStore& Store() { return store_; }

private:
    // A scan opens every line within one pass of the event loop: one look at
    // the shared state serves them all.
    void RefreshOncePerPass();
    void RunDemo();
    std::int64_t DemoElapsedMs() const;
    void ApplyDemo(const std::vector<DemoAction>& actions);
    void EndDemoCalls();
    void Changed();

    ExchangeConfig config_;
    ExchangeStore store_;
    std::function<void()> onChange_;
    std::unique_ptr<DemoTraffic> demo_;
    std::unordered_map<std::uint64_t, CallId> demoCalls_;  // generator's number -> exchange id
    QElapsedTimer demoClock_;
    const Clock* injectedClock_ = nullptr;
    QDateTime demoStart_;
    QTimer demoTimer_;
    bool lookedThisPass_ = false;
    QElapsedTimer sinceLook_;
    QObject passContext_;
};

}  // namespace platform::sim
