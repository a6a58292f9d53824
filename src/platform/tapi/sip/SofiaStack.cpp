#include "SofiaStack.h"

#include <QAbstractEventDispatcher>
#include <cstdio>

#include <sofia-sip/nta_tag.h>
#include <sofia-sip/su_glib.h>
#include <sofia-sip/su_log.h>

namespace platform::sip {
namespace {

bool DispatcherRunsGlib() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher != nullptr && dispatcher->inherits("QEventDispatcherGlib");
}

// su_init counts its callers; one count for the program's life is enough.
bool InitOnce() {
    static const bool ok = [] {
        // The library's own diagnostics would fill standard error.
        su_log_set_level(nullptr, 0);
        return su_init() == 0;
    }();
    return ok;
}

}  // namespace

SofiaStack::SofiaStack() {
    QObject::connect(&step_, &QTimer::timeout, [this] {
        if (core_ != nullptr) su_root_step(core_->root, 0);
    });
}

SofiaStack::~SofiaStack() {
    Stop();
}

bool SofiaStack::Start(const std::string& bindUrl, const std::string& proxyUrl, Handler handler,
                       std::string* error) {
    if (core_ != nullptr) return true;
    if (!InitOnce()) {
        *error = "the SIP library could not start";
        return false;
    }
    const bool glib = DispatcherRunsGlib();
    auto core = std::make_unique<Core>();
    core->handler = std::move(handler);
    core->trace = qEnvironmentVariableIntValue("VASTREL_SIP_TRACE") == 1;
    core->root = glib ? su_glib_root_create(core.get()) : su_root_create(core.get());
    if (core->root == nullptr) {
        *error = "the SIP library could not start";
        return false;
    }
    // The SIP stack would otherwise run in a thread of its own; here it runs
    // on the program's one thread, driven by the same loop as everything else.
    su_root_threading(core->root, 0);
    if (glib) g_source_attach(su_glib_root_gsource(core->root), nullptr);
    core->agent =
        nua_create(core->root, &SofiaStack::Callback, core.get(), NUTAG_URL(bindUrl.c_str()),
                   NUTAG_PROXY(proxyUrl.c_str()), NTATAG_SIP_T1X64(kRequestTimeoutMs),
                   NUTAG_USER_AGENT("Vastrel"), TAG_END());
    if (core->agent == nullptr) {
        *error = "cannot listen for SIP messages on " + bindUrl;
        su_root_destroy(core->root);
        return false;
    }
    core_ = core.release();
    if (!glib) step_.start(kStepMs);
    return true;
}

void SofiaStack::Callback(nua_event_t event, int status, char const* phrase, nua_t*,
                          nua_magic_t* magic, nua_handle_t* nh, nua_hmagic_t* hmagic,
                          sip_t const* sip, tagi_t tags[]) {
    auto* core = static_cast<Core*>(magic);
    if (core->trace)
        std::fprintf(stderr, "vastrel: SIP %s %d %s\n", nua_event_name(event), status,
                     phrase != nullptr ? phrase : "");
    if (event == nua_r_shutdown && status >= 200) {
        // Not from inside the library's own call.
        if (core->abandoned) QTimer::singleShot(0, [core] { Free(core); });
        return;
    }
    if (core->handler) core->handler(SofiaEvent{event, status, phrase, nh, hmagic, sip, tags});
}

void SofiaStack::Free(Core* core) {
    nua_destroy(core->agent);
    su_root_destroy(core->root);
    delete core;
}

void SofiaStack::Stop() {
    step_.stop();
    if (core_ == nullptr) return;
    // The library ends the subscriptions and finishes on the event loop,
    // which frees what is left; the program never waits for the network.
    // At exit there is no loop any more: the OS takes the rest.
    core_->handler = nullptr;
    core_->abandoned = true;
    nua_shutdown(core_->agent);
    core_ = nullptr;
}

}  // namespace platform::sip
