#include "KamailioProvider.h"

#include <QNetworkProxy>

namespace platform::kamailio {
namespace {

std::vector<std::string> Extensions(const KamailioConfig& config) {
    std::vector<std::string> extensions;
    for (const KamailioLine& line : config.lines) extensions.push_back(line.extension);
    return extensions;
}

}  // namespace

KamailioProvider::KamailioProvider(KamailioConfig config)
    : config_(std::move(config)),
      picture_(Extensions(config_)),
      reader_(DialogParser::kMaxEvent),
      rpc_(config_.rpc, DialogParser::kMaxReply) {
    // A desktop proxy setting must not send telephony elsewhere.
    events_.setProxy(QNetworkProxy::NoProxy);
    connectTimeout_.setSingleShot(true);
    connectTimeout_.setInterval(kConnectMs);
    retry_.setSingleShot(true);
    resync_.setInterval(kResyncMs);
    QObject::connect(&connectTimeout_, &QTimer::timeout, &context_, [this] { LinkDown(); });
    QObject::connect(&retry_, &QTimer::timeout, &context_, [this] { Connect(); });
    QObject::connect(&resync_, &QTimer::timeout, &context_, [this] { Snapshot(); });
    QObject::connect(&events_, &QTcpSocket::connected, &context_, [this] { OnConnected(); });
    QObject::connect(&events_, &QTcpSocket::readyRead, &context_, [this] { OnEvents(); });
    QObject::connect(&events_, &QTcpSocket::errorOccurred, &context_, [this] { LinkDown(); });
    QObject::connect(&events_, &QTcpSocket::disconnected, &context_, [this] { LinkDown(); });
}

KamailioProvider::~KamailioProvider() {
    onChange_ = nullptr;
    SetActive(false);
}

VersionRange KamailioProvider::DeviceVersions(DWORD device) const {
    return device < DeviceCount() ? VersionRange{0x00010003, 0x00020002} : VersionRange{};
}

LONG KamailioProvider::DeviceName(DWORD device, std::string* name) const {
    if (device >= DeviceCount()) return LINEERR_BADDEVICEID;
    *name = config_.lines[device].name;
    return 0;
}

LONG KamailioProvider::OpenDevice(DWORD device) {
    if (device >= DeviceCount()) return LINEERR_BADDEVICEID;
    return Online() ? 0 : LINEERR_RESOURCEUNAVAIL;
}

const std::vector<CallId>& KamailioProvider::CallsOn(DWORD device) const {
    return picture_.CallsOn(device);
}

const ProviderCall* KamailioProvider::FindCall(CallId id) const {
    return picture_.Find(id);
}

void KamailioProvider::SetChangeHandler(std::function<void()> handler) {
    onChange_ = std::move(handler);
}

void KamailioProvider::SetActive(bool active) {
    if (active == (link_ != Link::Off)) return;
    if (!active) {
        link_ = Link::Off;
        connectTimeout_.stop();
        retry_.stop();
        resync_.stop();
        rpc_.Abort();
        events_.abort();
        Changed(picture_.Clear());
        return;
    }
    link_ = Link::Down;
    retryMs_ = kFirstRetryMs;
    Connect();
    // The first scan follows at once: give it the lines when the server
    // answers promptly. Bounded, and only at session start.
    if (events_.waitForConnected(kConnectMs) && link_ == Link::Syncing)
        rpc_.Wait(RpcClient::kCallMs);
}

void KamailioProvider::Connect() {
    if (link_ != Link::Down) return;
    link_ = Link::Connecting;
    reader_.Reset();
    events_.abort();
    connectTimeout_.start();
    events_.connectToHost(config_.eventsHost, config_.eventsPort);
}

void KamailioProvider::OnConnected() {
    if (link_ != Link::Connecting) return;
    connectTimeout_.stop();
    link_ = Link::Syncing;
    Snapshot();
}

void KamailioProvider::Snapshot() {
    if (link_ != Link::Syncing && link_ != Link::Up) return;
    if (rpc_.Busy()) return;
    picture_.BeginSnapshot();
    rpc_.Post(DialogParser::ProfileListRequest(++requestId_),
              [this](std::optional<QByteArray> reply) { OnSnapshot(std::move(reply)); });
}

void KamailioProvider::OnSnapshot(std::optional<QByteArray> reply) {
    if (link_ != Link::Syncing && link_ != Link::Up) return;
    const auto dialogs = reply ? DialogParser::ParseProfileList(*reply) : std::nullopt;
    if (!dialogs) {
        // Without the list the picture cannot be trusted; start over.
        LinkDown();
        return;
    }
    const bool changed = picture_.ApplySnapshot(*dialogs);
    if (link_ == Link::Syncing) {
        link_ = Link::Up;
        retryMs_ = kFirstRetryMs;
        resync_.start();
    }
    Changed(changed);
}

void KamailioProvider::OnEvents() {
    reader_.Feed(events_.readAll());
    bool changed = false;
    while (const auto message = reader_.Next()) {
        if (const auto event = DialogParser::ParseEvent(*message))
            changed |= picture_.Apply(*event);
    }
    if (reader_.Broken()) {
        Changed(changed);
        LinkDown();
        return;
    }
    Changed(changed);
}

void KamailioProvider::LinkDown() {
    if (link_ == Link::Off || link_ == Link::Down) return;
    link_ = Link::Down;
    connectTimeout_.stop();
    resync_.stop();
    rpc_.Abort();
    events_.abort();
    // The calls stay as last known: the lines cannot be opened meanwhile, and
    // the snapshot after reconnecting settles what happened.
    picture_.ForgetEnded();
    retry_.start(retryMs_);
    retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
}

void KamailioProvider::Changed(bool changed) {
    if (changed && onChange_) onChange_();
}

}  // namespace platform::kamailio
