#pragma once
// Line devices of any SIP phone system that publishes its extensions' call
// state (the dialog event package): one subscription per extension, one
// device per subscription. The NOTIFYs keep a local picture of the calls, so
// a scan never waits for the network; while an extension's subscription is
// not active, its line cannot be opened. Subscriptions start paced, are
// refreshed by the SIP stack, and come back with back-off after any loss.
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ExtensionDialogs.h"
#include "Keyring.h"
#include "SipCallPicture.h"
#include "SipConfig.h"
#include "SofiaStack.h"
#include "platform/tapi/LineProvider.h"

namespace platform::sip {

class SipProvider : public LineProvider {
public:
    // One SUBSCRIBE every kPaceMs: 256 extensions are asked within seconds,
    // never in one burst.
    static constexpr int kPaceMs = 20;
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 60000;
    // A wrong password or a refusal is not retried often.
    static constexpr int kRefusedRetryMs = 300000;
    // The server is asked with OPTIONS whether it is still there: often while
    // it is missing, so that lines come back within seconds of its return.
    static constexpr int kProbeUpMs = 5000;
    static constexpr int kProbeDownMs = 1000;
    static constexpr int kTickMs = 250;

    using ReadSecret = std::function<void(const QString& key, QObject* context, Keyring::Found)>;
    // report: where the one-time messages go (standard error by default).
    explicit SipProvider(SipConfig config, ReadSecret readSecret = &Keyring::Read,
                         std::function<void(const std::string&)> report = {});
    ~SipProvider() override;
    SipProvider(const SipProvider&) = delete;
    SipProvider& operator=(const SipProvider&) = delete;

    DWORD DeviceCount() const override { return static_cast<DWORD>(lines_.size()); }
    VersionRange DeviceVersions(DWORD device) const override;
    LONG DeviceName(DWORD device, std::string* name) const override;
    LONG OpenDevice(DWORD device) override;
    const std::vector<CallId>& CallsOn(DWORD device) const override;
    const ProviderCall* FindCall(CallId id) const override;
    // A monitor has no business ending calls on the phone system.
    bool AcceptsDrop() const override { return false; }
    void Drop(CallId) override {}
    void Refresh() override {}
    void SetChangeHandler(std::function<void()> handler) override;
    void SetActive(bool active) override;

    bool Active(DWORD device) const;
    std::size_t ActiveCount() const;

private:
    enum class Sub { Idle, Queued, Subscribing, Active, Waiting };
    struct Line {
        SipLine config;
        nua_handle_t* handle = nullptr;
        ExtensionDialogs dialogs;
        Sub sub = Sub::Idle;
        qint64 retryAt = 0;
        int retryMs = kFirstRetryMs;
        int challenges = 0;  // 401/407 since the last success
        std::string nonce;   // of our own answer, to tell a rejected one
        unsigned nonceCount = 0;
    };

    void Start();
    void Stop();
    void PasswordKnown(std::optional<std::string> secret);
    void Tick();
    void Enqueue(std::size_t index);
    void SubscribeNext();
    // authorization: our answer to the last challenge, when there is one.
    void Subscribe(Line& line, const std::string& authorization = {}, bool proxy = false);
    void OnEvent(const SofiaEvent& e);
    void OnSubscribeAnswer(Line& line, const SofiaEvent& e);
    void OnChallenge(Line& line, const SofiaEvent& e);
    void OnNotify(Line& line, const SofiaEvent& e);
    void ApplyBody(Line& line, const sip_t* sip);
    void Lost(Line& line, int retryMs);
    void Probe();
    void OnProbeAnswer(const SofiaEvent& e);
    void ServerBack();
    void Report(const std::string& key, const std::string& text);
    void Changed(bool changed);
    DWORD DeviceOf(const Line& line) const;
    qint64 Now() const { return clock_.elapsed(); }

    SipConfig config_;
    ReadSecret readSecret_;
    std::function<void(const std::string&)> report_;
    std::vector<Line> lines_;
    SipCallPicture picture_;
    SofiaStack stack_;
    std::optional<std::string> password_;
    bool active_ = false;
    bool passwordPending_ = false;
    bool serverDown_ = false;
    nua_handle_t* probe_ = nullptr;
    bool probing_ = false;
    bool probeAnswered_ = false;  // the server answers OPTIONS at all
    qint64 nextProbeAt_ = 0;
    std::deque<std::size_t> queue_;
    QTimer pace_;
    QTimer tick_;
    QElapsedTimer clock_;
    std::set<std::string> reported_;
    std::function<void()> onChange_;
    QObject context_;  // last: its connections go first
};

}  // namespace platform::sip
