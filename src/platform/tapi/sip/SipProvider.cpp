#include "SipProvider.h"

#include <sofia-sip/sip_header.h>
#include <sofia-sip/sip_status.h>
#include <sofia-sip/su_tag.h>

#include <cstdio>
#include <limits>
#include <string_view>

#include "DialogInfo.h"
#include "DigestAuth.h"
#include "platform/AsciiCase.h"

namespace platform::sip {
namespace {

constexpr const char* kEvent = "dialog";
constexpr const char* kAccept = "application/dialog-info+xml";

bool IsLoopback(const QString& host) {
    return host == "127.0.0.1" || host == "::1" || host == "localhost" || host.startsWith("127.");
}

std::string BindUrl(const SipConfig& config) {
    const char* scheme = config.transport == SipConfig::Transport::Tls ? "sips" : "sip";
    static constexpr const char* kTransports[] = {"udp", "tcp", "tls"};
    // Only the interface the server can reach us on: a server on this
    // machine needs no port open to the network.
    const std::string host = !IsLoopback(config.host) ? "*"
                             : config.host == "::1"   ? "[::1]"
                                                      : "127.0.0.1";
    return std::string(scheme) + ":" + host +
           ":*;transport=" + kTransports[static_cast<int>(config.transport)];
}

std::string_view Text(const char* text) {
    return text != nullptr ? text : "";
}

// Statuses that say "not this extension, not for you": retrying soon will
// not change the answer.
bool IsRefusal(int status) {
    return status == 403 || status == 404 || status == 405 || status == 415 || status == 488 ||
           status == 489 || status == 603;
}

std::vector<std::string_view> Params(const msg_auth_t* auth) {
    std::vector<std::string_view> params;
    for (const msg_param_t* p = auth->au_params; p != nullptr && *p != nullptr; ++p)
        params.emplace_back(*p);
    return params;
}

}  // namespace

SipProvider::SipProvider(SipConfig config, ReadSecret readSecret,
                         std::function<void(const std::string&)> report)
    : config_(std::move(config)),
      readSecret_(std::move(readSecret)),
      report_(std::move(report)),
      picture_(config_.lines.size()) {
    lines_.resize(config_.lines.size());
    for (std::size_t i = 0; i < lines_.size(); ++i) lines_[i].config = config_.lines[i];
    clock_.start();
    QObject::connect(&pace_, &QTimer::timeout, &context_, [this] { SubscribeNext(); });
    QObject::connect(&tick_, &QTimer::timeout, &context_, [this] { Tick(); });
}

SipProvider::~SipProvider() {
    onChange_ = nullptr;
    Stop();
}

VersionRange SipProvider::DeviceVersions(DWORD device) const {
    return device < DeviceCount() ? VersionRange{0x00010003, 0x00020002} : VersionRange{};
}

LONG SipProvider::DeviceName(DWORD device, std::string* name) const {
    if (device >= DeviceCount()) return LINEERR_BADDEVICEID;
    *name = lines_[device].config.name;
    return 0;
}

LONG SipProvider::OpenDevice(DWORD device) {
    if (device >= DeviceCount()) return LINEERR_BADDEVICEID;
    return Active(device) ? 0 : LINEERR_RESOURCEUNAVAIL;
}

const std::vector<CallId>& SipProvider::CallsOn(DWORD device) const {
    return picture_.CallsOn(device);
}

const ProviderCall* SipProvider::FindCall(CallId id) const {
    return picture_.Find(id);
}

void SipProvider::SetChangeHandler(std::function<void()> handler) {
    onChange_ = std::move(handler);
}

bool SipProvider::Active(DWORD device) const {
    return device < DeviceCount() && lines_[device].sub == Sub::Active;
}

std::size_t SipProvider::ActiveCount() const {
    std::size_t n = 0;
    for (const Line& line : lines_) n += line.sub == Sub::Active ? 1 : 0;
    return n;
}

void SipProvider::SetActive(bool active) {
    // Subscriptions outlive a session: a rebuild of the line table closes
    // and reopens the session, and must not send every SUBSCRIBE again.
    active_ = active;
    if (active && !stack_.Running() && !lines_.empty()) Start();
}

void SipProvider::Start() {
    if (config_.host.isEmpty()) {
        Report("server",
               "vastrel: telephon.ini: [Sip] Server= is missing or not a host[:port]; the SIP "
               "lines cannot be watched");
        return;
    }
    std::string error;
    if (!stack_.Start(
            BindUrl(config_), config_.ProxyUri(), [this](const SofiaEvent& e) { OnEvent(e); },
            &error)) {
        Report("stack", "vastrel: SIP: " + error);
        return;
    }
    const std::string domainUri = "sip:" + config_.domain.toStdString();
    probe_ = nua_handle(stack_.Agent(), nullptr, SIPTAG_TO_STR(domainUri.c_str()), TAG_END());
    tick_.start(kTickMs);
    if (config_.passwordRefused) {
        Report("mode",
               "vastrel: telephon.ini can be read by other users, so its SIP password is not "
               "used; make the file private (chmod 600) or keep the password in the keyring "
               "(vastrel --sip-password)");
    }
    passwordPending_ = true;
    QTimer::singleShot(Keyring::kWaitMs, &context_, [this] { PasswordKnown(std::nullopt); });
    if (readSecret_)
        readSecret_(config_.KeyringKey(), &context_, [this](std::optional<std::string> secret) {
            PasswordKnown(std::move(secret));
        });
    else
        PasswordKnown(std::nullopt);
}

void SipProvider::PasswordKnown(std::optional<std::string> secret) {
    if (!passwordPending_) return;  // a keyring that answered after we gave up
    passwordPending_ = false;
    password_ = secret ? std::move(secret) : config_.password;
    for (std::size_t i = 0; i < lines_.size(); ++i) Enqueue(i);
}

void SipProvider::Stop() {
    pace_.stop();
    tick_.stop();
    queue_.clear();
    // The stack ends the subscriptions and frees the handles with itself.
    for (Line& line : lines_) {
        line.handle = nullptr;
        line.sub = Sub::Idle;
    }
    probe_ = nullptr;
}

void SipProvider::Tick() {
    const qint64 now = Now();
    if (!serverDown_ && !passwordPending_) {
        for (std::size_t i = 0; i < lines_.size(); ++i) {
            if (lines_[i].sub == Sub::Waiting && lines_[i].retryAt <= now) Enqueue(i);
        }
    }
    if (!probing_ && now >= nextProbeAt_) Probe();
}

void SipProvider::Enqueue(std::size_t index) {
    lines_[index].sub = Sub::Queued;
    queue_.push_back(index);
    if (!pace_.isActive()) pace_.start(kPaceMs);
}

void SipProvider::SubscribeNext() {
    while (!queue_.empty()) {
        Line& line = lines_[queue_.front()];
        queue_.pop_front();
        if (line.sub == Sub::Queued) {
            Subscribe(line);
            break;
        }
    }
    if (queue_.empty()) pace_.stop();
}

void SipProvider::Subscribe(Line& line, const std::string& authorization, bool proxy) {
    // A fresh dialog each time: whatever the old one was, the server has
    // forgotten it or refused it.
    if (line.handle != nullptr) nua_handle_destroy(line.handle);
    const std::string to = config_.UriOf(line.config.extension);
    const std::string from = config_.UriOf(config_.user.empty() ? "vastrel" : config_.user);
    line.handle = nua_handle(stack_.Agent(), &line, SIPTAG_TO_STR(to.c_str()),
                             SIPTAG_FROM_STR(from.c_str()), TAG_END());
    line.dialogs.Restart();
    if (authorization.empty()) {
        line.challenges = 0;
        line.nonce.clear();
    }
    const bool answer = !authorization.empty();
    // What an active subscription reported stays true until the new one
    // reports: re-subscribing with a fresh answer does not close the line.
    if (!(answer && line.sub == Sub::Active)) line.sub = Sub::Subscribing;
    const std::string expires = std::to_string(config_.expires);
    nua_subscribe(line.handle, SIPTAG_EVENT_STR(kEvent), SIPTAG_ACCEPT_STR(kAccept),
                  SIPTAG_EXPIRES_STR(expires.c_str()),
                  TAG_IF(answer && !proxy, SIPTAG_AUTHORIZATION_STR(authorization.c_str())),
                  TAG_IF(answer && proxy, SIPTAG_PROXY_AUTHORIZATION_STR(authorization.c_str())),
                  TAG_END());
}

void SipProvider::OnEvent(const SofiaEvent& e) {
    if (e.handle != nullptr && e.handle == probe_) {
        if (e.event == nua_r_options) OnProbeAnswer(e);
        return;
    }
    auto* line = static_cast<Line*>(e.handleMagic);
    if (line == nullptr || line->handle != e.handle) {
        // A request outside our subscriptions; the stack has answered it.
        if (e.handle != nullptr && e.handleMagic == nullptr) nua_handle_destroy(e.handle);
        return;
    }
    switch (e.event) {
        case nua_r_subscribe:
            OnSubscribeAnswer(*line, e);
            break;
        case nua_i_notify:
            OnNotify(*line, e);
            break;
        case nua_r_authenticate:
            if (e.status >= 300) Lost(*line, line->retryMs);
            break;
        default:
            break;
    }
}

void SipProvider::OnSubscribeAnswer(Line& line, const SofiaEvent& e) {
    if (e.status < 200) return;
    if (e.status < 300) {
        line.challenges = 0;
        line.retryMs = kFirstRetryMs;
        return;  // active once the first NOTIFY has told the calls
    }
    if (e.status == 401 || e.status == 407) {
        OnChallenge(line, e);
        return;
    }
    if (e.sip == nullptr || e.status == 408 || e.status == 503) nextProbeAt_ = 0;
    int retryMs = line.retryMs;
    if (IsRefusal(e.status)) {
        Report("refused:" + std::to_string(e.status),
               "vastrel: SIP: the server refused to report the calls of extension " +
                   line.config.extension + " (" + std::to_string(e.status) + " " +
                   std::string(Text(e.phrase)) + "); asking again every few minutes");
        retryMs = kRefusedRetryMs;
    }
    if (e.sip != nullptr && e.sip->sip_retry_after != nullptr) {
        const qint64 asked = static_cast<qint64>(e.sip->sip_retry_after->af_delta) * 1000;
        retryMs = static_cast<int>(std::clamp<qint64>(asked, retryMs, kRefusedRetryMs));
    }
    Lost(line, retryMs);
}

void SipProvider::OnChallenge(Line& line, const SofiaEvent& e) {
    const std::string account = config_.DigestUser() + "@" + config_.domain.toStdString();
    if (!password_) {
        Report("nopassword", "vastrel: SIP: the server asks for a password for " + account +
                                 ", but none is set (vastrel --sip-password, or Password= in a "
                                 "private telephon.ini)");
        Lost(line, kRefusedRetryMs);
        return;
    }
    const bool proxy = e.status == 407;
    const msg_auth_t* auth = nullptr;
    if (e.sip != nullptr)
        auth = proxy ? e.sip->sip_proxy_authenticate : e.sip->sip_www_authenticate;
    std::optional<DigestChallenge> md5, sha256;
    for (; auth != nullptr; auth = auth->au_next) {
        if (!SameText(Text(auth->au_scheme), "Digest")) continue;
        const auto challenge = DigestChallenge::FromParams(Params(auth));
        if (!challenge) continue;
        auto& slot = challenge->IsSha256() ? sha256 : md5;
        if (!slot) slot = challenge;
    }
    const DigestChallenge* chosen = md5 ? &*md5 : sha256 ? &*sha256 : nullptr;
    if (chosen == nullptr) {
        Report("scheme",
               "vastrel: SIP: the server asks for an authentication that is not "
               "supported (Digest MD5 or SHA-256 with qop=auth are)");
        Lost(line, kRefusedRetryMs);
        return;
    }
    // A second challenge that is not only about an expired nonce means the
    // answer to the first was wrong.
    if (!chosen->stale && ++line.challenges > 1) {
        Report("auth", "vastrel: SIP: the server did not accept the password of " + account + " (" +
                           std::to_string(e.status) + " " + std::string(Text(e.phrase)) +
                           "); the lines cannot be watched until it does");
        Lost(line, kRefusedRetryMs);
        return;
    }
    const std::string& user = config_.DigestUser();
    // The library keeps MD5 credentials for the refreshes itself. Its answer
    // to a proxy's challenge was refused by Kamailio 5.6 (measured), and it
    // knows no SHA-256: those are answered from here.
    // Its credentials text is "Digest:\"realm\":user:password": no colon may
    // stand in the user or password, no quote in the realm.
    const bool sofiaCan = md5 && !proxy && user.find_first_of(":\"") == std::string::npos &&
                          password_->find(':') == std::string::npos &&
                          md5->realm.find('"') == std::string::npos;
    if (sofiaCan) {
        const std::string credentials = "Digest:\"" + md5->realm + "\":" + user + ":" + *password_;
        nua_authenticate(line.handle, NUTAG_AUTH(credentials.c_str()), TAG_END());
        return;
    }
    line.nonceCount = line.nonce == chosen->nonce ? line.nonceCount + 1 : 1;
    line.nonce = chosen->nonce;
    const std::string answer = DigestAuth::Answer(*chosen, user, *password_, "SUBSCRIBE",
                                                  config_.UriOf(line.config.extension),
                                                  DigestAuth::NewCnonce(), line.nonceCount);
    const std::string expires = std::to_string(config_.expires);
    // The library holds a challenged MD5 request for its own answer, and
    // would queue a new one behind it: the answer goes in a new request.
    nua_handle_t* handle = line.handle;
    QTimer::singleShot(0, &context_, [this, &line, handle, proxy, answer] {
        // Also a refresh's challenge: the line stays watched meanwhile.
        if (line.handle == handle && (line.sub == Sub::Subscribing || line.sub == Sub::Active))
            Subscribe(line, answer, proxy);
    });
}

void SipProvider::OnNotify(Line& line, const SofiaEvent& e) {
    if (e.sip == nullptr) return;
    const sip_subscription_state_t* state = e.sip->sip_subscription_state;
    const std::string_view substate = state != nullptr ? Text(state->ss_substate) : "active";
    if (!SameText(substate, "pending")) ApplyBody(line, e.sip);
    if (SameText(substate, "terminated")) {
        const std::string_view reason = state != nullptr ? Text(state->ss_reason) : "";
        int retryMs = line.retryMs;
        if (SameText(reason, "deactivated") || SameText(reason, "timeout")) retryMs = 0;
        if (SameText(reason, "rejected") || SameText(reason, "noresource")) {
            Report("terminated:" + std::string(reason),
                   "vastrel: SIP: the server ended the subscription to extension " +
                       line.config.extension + " (" + std::string(reason) + ")");
            retryMs = kRefusedRetryMs;
        }
        if (state != nullptr && state->ss_retry_after != nullptr)
            retryMs = std::max(retryMs, std::atoi(state->ss_retry_after) * 1000);
        Lost(line, std::min(retryMs, kRefusedRetryMs));
        return;
    }
    if (SameText(substate, "pending")) return;
    line.sub = Sub::Active;
    line.challenges = 0;
    Changed(picture_.Show(DeviceOf(line), line.dialogs.Live()));
}

void SipProvider::ApplyBody(Line& line, const sip_t* sip) {
    const sip_payload_t* payload = sip->sip_payload;
    const std::string_view body = payload != nullptr && payload->pl_data != nullptr
                                      ? std::string_view(payload->pl_data, payload->pl_len)
                                      : std::string_view();
    if (DialogInfo::IsEmptyBody(body)) {
        line.dialogs.ApplyEmpty();
        return;
    }
    const auto document = DialogInfo::Parse(body);
    if (!document || line.dialogs.Apply(*document) == ExtensionDialogs::Outcome::Gap) {
        // A document lost or unreadable: a refresh brings the full state.
        line.dialogs.Restart();
        const std::string expires = std::to_string(config_.expires);
        nua_subscribe(line.handle, SIPTAG_EVENT_STR(kEvent), SIPTAG_ACCEPT_STR(kAccept),
                      SIPTAG_EXPIRES_STR(expires.c_str()), TAG_END());
    }
}

void SipProvider::Lost(Line& line, int retryMs) {
    line.sub = Sub::Waiting;
    line.retryAt = Now() + retryMs;
    line.retryMs = std::min(line.retryMs * 2, kLastRetryMs);
}

void SipProvider::Probe() {
    if (probe_ == nullptr) return;
    probing_ = true;
    nua_options(probe_, TAG_END());
}

void SipProvider::OnProbeAnswer(const SofiaEvent& e) {
    if (e.status < 200) return;
    probing_ = false;
    // Any answer from the server means it is there; only a timeout or an
    // error made up by our own stack (no route, refused) means it is not.
    const bool reached =
        e.sip != nullptr && e.sip->sip_via != nullptr && e.status != 408 && e.status != 503;
    if (reached) {
        probeAnswered_ = true;
        nextProbeAt_ = Now() + kProbeUpMs;
        if (serverDown_) ServerBack();
        return;
    }
    // A server that lets OPTIONS go unanswered cannot be watched this way:
    // the subscriptions' own failures tell when it is gone.
    if (e.status == 408 && !probeAnswered_) {
        nextProbeAt_ = std::numeric_limits<qint64>::max();
        return;
    }
    nextProbeAt_ = Now() + kProbeDownMs;
    if (serverDown_) return;
    serverDown_ = true;
    // Its subscriptions are gone with it, or will be when it restarts.
    for (Line& line : lines_) {
        if (line.sub != Sub::Idle) Lost(line, kFirstRetryMs);
    }
    queue_.clear();
    pace_.stop();
}

void SipProvider::ServerBack() {
    serverDown_ = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        lines_[i].retryMs = kFirstRetryMs;
        if (lines_[i].sub == Sub::Waiting && !passwordPending_) Enqueue(i);
    }
}

void SipProvider::Report(const std::string& key, const std::string& text) {
    if (!reported_.insert(key).second) return;
    if (report_)
        report_(text);
    else
        std::fprintf(stderr, "%s\n", text.c_str());
}

void SipProvider::Changed(bool changed) {
    if (changed && active_ && onChange_) onChange_();
}

DWORD SipProvider::DeviceOf(const Line& line) const {
    return static_cast<DWORD>(&line - lines_.data());
}

}  // namespace platform::sip
