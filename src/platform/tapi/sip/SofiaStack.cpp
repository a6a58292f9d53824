#include "SofiaStack.h"

#include <QAbstractEventDispatcher>
#include <QElapsedTimer>
#include <QThread>
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
        if (root_ != nullptr) su_root_step(root_, 0);
    });
}

SofiaStack::~SofiaStack() {
    Stop();
}

bool SofiaStack::Start(const std::string& bindUrl, const std::string& proxyUrl, Handler handler,
                       std::string* error) {
    if (agent_ != nullptr) return true;
    if (!InitOnce()) {
        *error = "the SIP library could not start";
        return false;
    }
    handler_ = std::move(handler);
    const bool glib = DispatcherRunsGlib();
    root_ = glib ? su_glib_root_create(this) : su_root_create(this);
    if (root_ == nullptr) {
        *error = "the SIP library could not start";
        return false;
    }
    // The SIP stack would otherwise run in a thread of its own; here it runs
    // on the program's one thread, driven by the same loop as everything else.
    su_root_threading(root_, 0);
    if (glib) {
        GSource* source = su_glib_root_gsource(root_);
        g_source_attach(source, nullptr);
    } else {
        step_.start(kStepMs);
    }
    shutDown_ = false;
    agent_ = nua_create(root_, &SofiaStack::Callback, this, NUTAG_URL(bindUrl.c_str()),
                        NUTAG_PROXY(proxyUrl.c_str()), NTATAG_SIP_T1X64(kRequestTimeoutMs),
                        NUTAG_USER_AGENT("Vastrel"), TAG_END());
    if (agent_ == nullptr) {
        *error = "cannot listen for SIP messages on " + bindUrl;
        Stop();
        return false;
    }
    return true;
}

void SofiaStack::Callback(nua_event_t event, int status, char const* phrase, nua_t*,
                          nua_magic_t* magic, nua_handle_t* nh, nua_hmagic_t* hmagic,
                          sip_t const* sip, tagi_t tags[]) {
    auto* self = static_cast<SofiaStack*>(magic);
    if (self->trace_)
        std::fprintf(stderr, "vastrel: SIP %s %d %s\n", nua_event_name(event), status,
                     phrase != nullptr ? phrase : "");
    if (event == nua_r_shutdown && status >= 200) self->shutDown_ = true;
    if (self->handler_) self->handler_(SofiaEvent{event, status, phrase, nh, hmagic, sip, tags});
}

void SofiaStack::Stop() {
    step_.stop();
    handler_ = nullptr;
    if (agent_ != nullptr) {
        // Ends the subscriptions politely when the server answers at once;
        // never waits longer than a moment at exit.
        nua_shutdown(agent_);
        QElapsedTimer waited;
        waited.start();
        while (!shutDown_ && waited.elapsed() < kShutdownMs) {
            if (su_root_step(root_, 10) < 0) QThread::msleep(10);
        }
        if (shutDown_) nua_destroy(agent_);  // otherwise the library refuses; left to exit
        agent_ = nullptr;
    }
    if (root_ != nullptr && shutDown_) {
        su_root_destroy(root_);
    }
    root_ = nullptr;
}

}  // namespace platform::sip
