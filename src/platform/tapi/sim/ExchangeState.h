#pragma once
// The live state of the simulated exchange that every process of the user
// shares: the calls on each line and the lines refused to lineOpen.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/tapi/LineProvider.h"

namespace platform::sim {

struct SimCall {
    ProviderCall call;
    std::int64_t owner = 0;  // process that made it (demo traffic), 0 = stays until hung up
};

class ExchangeState {
public:
    // Fresh state: the first id is random so that ids from a state file that
    // was removed meanwhile are not handed out again to different calls.
    ExchangeState();

    CallId Ring(DWORD device, std::string_view number, std::string_view name,
                std::int64_t owner = 0);
    // Offered calls on the device become connected; returns how many.
    int AnswerOn(DWORD device);
    // Every call on the device ends; returns how many.
    int HangupOn(DWORD device);
    bool Answer(CallId id);
    bool End(CallId id);
    // Returns how many calls were removed.
    int EndIf(const std::function<bool(const SimCall&)>& predicate);
    void SetBlocked(DWORD device, bool blocked);

    bool IsBlocked(DWORD device) const { return blocked_.contains(device); }
    const std::vector<CallId>& CallsOn(DWORD device) const;
    const SimCall* Find(CallId id) const;
    // Oldest first.
    const std::vector<SimCall>& Calls() const { return calls_; }

    // One record per text line; fields separated by tabs, texts escaped.
    std::string Serialize() const;
    // Records it cannot read are skipped; text without the header is empty state.
    static ExchangeState Parse(std::string_view text);

private:
    void Reindex();

    std::vector<SimCall> calls_;
    std::unordered_map<DWORD, std::vector<CallId>> byDevice_;
    std::unordered_map<CallId, std::size_t> byId_;
    std::unordered_set<DWORD> blocked_;
    CallId nextId_ = 1;
};

}  // namespace platform::sim
