#pragma once
// One SIP user agent (Sofia-SIP's nua) on the program's one thread. Its
// events arrive through the GLib main context that Qt's event dispatcher
// runs; under a dispatcher without GLib the agent is stepped by a timer.
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include <sofia-sip/nua.h>
#include <sofia-sip/sip.h>
#include <sofia-sip/su_wait.h>

namespace platform::sip {

struct SofiaEvent {
    nua_event_t event;
    int status;
    const char* phrase;
    nua_handle_t* handle;
    void* handleMagic;  // what the handle was made with
    const sip_t* sip;   // null for answers made up locally (timeouts, no route)
    tagi_t* tags;
};

class SofiaStack {
public:
    // Timer B/F: how long a request waits for its answer. A phone system on
    // the office network answers in milliseconds; 32 s would leave the lines
    // showing calls long gone.
    static constexpr unsigned kRequestTimeoutMs = 8000;
    static constexpr int kStepMs = 20;  // only without GLib

    using Handler = std::function<void(const SofiaEvent&)>;

    SofiaStack();
    ~SofiaStack();
    SofiaStack(const SofiaStack&) = delete;
    SofiaStack& operator=(const SofiaStack&) = delete;

    // Listens on bindUrl ("sip:127.0.0.1:*;transport=udp") and sends every
    // request through proxyUrl. False, with a reason, when that fails.
    bool Start(const std::string& bindUrl, const std::string& proxyUrl, Handler handler,
               std::string* error);
    nua_t* Agent() const { return core_ != nullptr ? core_->agent : nullptr; }
    bool Running() const { return core_ != nullptr; }

private:
    // What the library's callback reaches. It outlives the stack when the
    // library has not finished shutting down: the event loop completes the
    // shutdown later, and then frees it.
    struct Core {
        su_root_t* root = nullptr;
        nua_t* agent = nullptr;
        Handler handler;
        bool abandoned = false;
        // VASTREL_SIP_TRACE=1: every event on standard error, for an operator
        // asking why a line cannot be watched. Passwords never appear in them.
        bool trace = false;
    };

    static void Callback(nua_event_t event, int status, char const* phrase, nua_t* nua,
                         nua_magic_t* magic, nua_handle_t* nh, nua_hmagic_t* hmagic,
                         sip_t const* sip, tagi_t tags[]);
    static void Free(Core* core);
    void Stop();

    Core* core_ = nullptr;
    QTimer step_;
};

}  // namespace platform::sip
