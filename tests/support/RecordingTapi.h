#pragma once
// The real telephony service over the simulated exchange, with every call the
// program makes recorded, so a test can assert what was (or was not) asked.
// The exchange is changed as vastrel-phone changes it; the few answers it
// cannot be made to give (a refused session, a failed drop) are forced.
#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/tapi/TapiFactory.h"
#include "platform/tapi/sim/SimExchange.h"

class RecordingTapi : public platform::Tapi32 {
public:
    using DWORD = platform::DWORD;
    using LONG = platform::LONG;
    using BYTE = platform::BYTE;

    RecordingTapi(const platform::sim::ExchangeConfig& config, const platform::Paths& paths,
                  const platform::Clock* demoClock = nullptr)
        : service_(platform::CreateSimTapiService(config, paths, demoClock)) {}

    std::vector<std::string> log;
    // Function name -> the result it returns instead of asking the service.
    std::map<std::string, LONG> forced;
    platform::HLINEAPP app = 0;  // the last session started
    bool recording = true;       // off for benchmarks: the service alone is measured
    DWORD inflateCallInfo = 0;   // nonzero: call info reports needing this many bytes
    DWORD largestCallInfo = 0;   // the largest call info buffer the program offered

    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& entry : log) n += entry.rfind(prefix, 0) == 0;
        return n;
    }
    platform::sim::SimExchange& Exchange() {
        return static_cast<platform::sim::SimExchange&>(service_->Provider());
    }
    // The device carries this many connected calls from now on.
    void SetCalls(DWORD device, int calls) {
        Exchange().Store().Update([&](platform::sim::ExchangeState& s) {
            s.HangupOn(device);
            for (int i = 0; i < calls; ++i) s.Ring(device, "", "");
            s.AnswerOn(device);
        });
    }
    void Block(DWORD device, bool blocked) {
        Exchange().Store().Update(
            [&](platform::sim::ExchangeState& s) { s.SetBlocked(device, blocked); });
    }

    LONG lineInitialize(platform::HLINEAPP* lineApp, platform::HINSTANCE instance,
                        platform::LINECALLBACK callback, const std::string& name,
                        DWORD* devices) override {
        if (Record("lineInitialize", name)) return forced["lineInitialize"];
        const LONG r = service_->lineInitialize(lineApp, instance, callback, name, devices);
        if (r == 0) app = *lineApp;
        return r;
    }
    LONG lineNegotiateAPIVersion(platform::HLINEAPP lineApp, DWORD device, DWORD low, DWORD high,
                                 DWORD* version, platform::LINEEXTENSIONID* id) override {
        Record("lineNegotiateAPIVersion", std::to_string(device));
        return service_->lineNegotiateAPIVersion(lineApp, device, low, high, version, id);
    }
    LONG lineGetDevCaps(platform::HLINEAPP lineApp, DWORD device, DWORD version, DWORD ext,
                        BYTE* caps) override {
        Record("lineGetDevCaps", std::to_string(device));
        return service_->lineGetDevCaps(lineApp, device, version, ext, caps);
    }
    LONG lineShutdown(platform::HLINEAPP lineApp) override {
        Record("lineShutdown", std::to_string(lineApp));
        return service_->lineShutdown(lineApp);
    }
    LONG lineOpen(platform::HLINEAPP lineApp, DWORD device, platform::HLINE* line, DWORD version,
                  DWORD ext, platform::DWORD_PTR instance, DWORD privileges, DWORD modes,
                  const void* params) override {
        Record("lineOpen", std::to_string(device) + " " + std::to_string(privileges));
        return service_->lineOpen(lineApp, device, line, version, ext, instance, privileges, modes,
                                  params);
    }
    LONG lineGetNewCalls(platform::HLINE line, DWORD address, DWORD select, BYTE* list) override {
        Record("lineGetNewCalls", std::to_string(line));
        return service_->lineGetNewCalls(line, address, select, list);
    }
    LONG lineClose(platform::HLINE line) override {
        if (Record("lineClose", std::to_string(line))) return forced["lineClose"];
        return service_->lineClose(line);
    }
    LONG lineGetCallInfo(platform::HCALL call, BYTE* info) override {
        if (Record("lineGetCallInfo", std::to_string(call))) return forced["lineGetCallInfo"];
        const DWORD total = platform::ReadDword(info, 4, platform::linecallinfo::dwTotalSize);
        largestCallInfo = std::max(largestCallInfo, total);
        const LONG r = service_->lineGetCallInfo(call, info);
        if (r == 0 && inflateCallInfo != 0)
            platform::WriteDword(info, total, platform::linecallinfo::dwNeededSize,
                                 inflateCallInfo);
        return r;
    }
    LONG lineDrop(platform::HCALL call, const char* userInfo, DWORD size) override {
        if (Record("lineDrop", std::to_string(call))) return forced["lineDrop"];
        return service_->lineDrop(call, userInfo, size);
    }
    LONG lineDeallocateCall(platform::HCALL call) override {
        Record("lineDeallocateCall", std::to_string(call));
        return service_->lineDeallocateCall(call);
    }
    LONG lineGetRequest(platform::HLINEAPP lineApp, DWORD mode, BYTE* request) override {
        Record("lineGetRequest", "");
        return service_->lineGetRequest(lineApp, mode, request);
    }

private:
    // Records the call; true when its result is forced.
    bool Record(const std::string& function, const std::string& arguments) {
        if (!recording) return false;
        log.push_back(arguments.empty() ? function : function + " " + arguments);
        return forced.contains(function);
    }

    std::unique_ptr<platform::TapiService> service_;
};
