#pragma once
// What this program knows of the calls on its lines, fed by the server's
// events and corrected by RPC snapshots. The scan reads it without waiting
// for the network.
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

#include "DialogParser.h"
#include "platform/tapi/LineProvider.h"

namespace platform::kamailio {

class CallPicture {
public:
    // More calls on one line are not tracked; the line is busy anyway.
    static constexpr std::size_t kMaxCallsPerLine = 64;

    // Device d is the line whose extension is extensions[d].
    explicit CallPicture(const std::vector<std::string>& extensions);

    // Each returns whether the calls or their states changed.
    bool Apply(const DialogRecord& event);
    // A snapshot request is on its way: events until its reply are newer than it.
    void BeginSnapshot();
    bool ApplySnapshot(const std::vector<DialogRecord>& dialogs);
    bool Clear();
    // The server may have restarted, so its dialog keys may be used again.
    void ForgetEnded();

    const std::vector<CallId>& CallsOn(DWORD device) const;
    const ProviderCall* Find(CallId id) const;

private:
    std::optional<DWORD> DeviceOf(const std::string& line) const;
    bool Upsert(const DialogRecord& record, DWORD device);
    void Remove(const std::string& key);
    void RememberEnded(const std::string& key);

    std::unordered_map<std::string, DWORD> devices_;
    std::map<std::string, ProviderCall> dialogs_;
    std::unordered_map<CallId, std::string> keys_;
    std::vector<std::vector<CallId>> perDevice_;
    std::vector<CallId> none_;
    CallId nextId_ = 1;
    // Late events for an ended dialog must not bring it back.
    std::deque<std::string> endedOrder_;
    std::set<std::string> ended_;
    bool inFlight_ = false;
    std::set<std::string> touchedInFlight_;
};

}  // namespace platform::kamailio
