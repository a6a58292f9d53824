#pragma once
// Line devices served by a Kamailio SIP server configured with vastrel.cfg:
// one device per extension, its calls the dialogs in the extension's profile.
// The picture of the calls is kept locally from the server's event stream
// (evapi) and from an RPC snapshot after every connect and at intervals, so
// a scan never waits for the network. While the server cannot be reached the
// lines cannot be opened; reconnecting goes on by itself.
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include "CallPicture.h"
#include "KamailioConfig.h"
#include "NetstringReader.h"
#include "RpcClient.h"
#include "platform/tapi/LineProvider.h"

namespace platform::kamailio {

class KamailioProvider : public LineProvider {
public:
    static constexpr int kConnectMs = 500;
    static constexpr int kFirstRetryMs = 250;
    static constexpr int kLastRetryMs = 2000;
    // Events are the news; the snapshot only repairs what a lost event broke.
    static constexpr int kResyncMs = 5000;

    explicit KamailioProvider(KamailioConfig config);
    ~KamailioProvider() override;
    KamailioProvider(const KamailioProvider&) = delete;
    KamailioProvider& operator=(const KamailioProvider&) = delete;

    DWORD DeviceCount() const override { return static_cast<DWORD>(config_.lines.size()); }
    VersionRange DeviceVersions(DWORD device) const override;
    LONG DeviceName(DWORD device, std::string* name) const override;
    LONG OpenDevice(DWORD device) override;
    const std::vector<CallId>& CallsOn(DWORD device) const override;
    const ProviderCall* FindCall(CallId id) const override;
    // A monitor has no business ending calls on the server.
    bool AcceptsDrop() const override { return false; }
    void Drop(CallId) override {}
    void Refresh() override {}
    void SetChangeHandler(std::function<void()> handler) override;
    void SetActive(bool active) override;

    // The server is reachable and the picture is current.
    bool Online() const { return link_ == Link::Up; }

private:
    enum class Link { Off, Down, Connecting, Syncing, Up };

    void Connect();
    void OnConnected();
    void OnEvents();
    void Snapshot();
    void OnSnapshot(std::optional<QByteArray> reply);
    void LinkDown();
    void Changed(bool changed);

    KamailioConfig config_;
    CallPicture picture_;
    NetstringReader reader_;
    RpcClient rpc_;
    QTcpSocket events_;
    QTimer connectTimeout_;
    QTimer retry_;
    QTimer resync_;
    int retryMs_ = kFirstRetryMs;
    int requestId_ = 0;
    Link link_ = Link::Off;
    std::function<void()> onChange_;
    QObject context_;  // last: its connections go first
};

}  // namespace platform::kamailio
