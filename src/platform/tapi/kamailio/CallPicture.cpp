#include "CallPicture.h"

#include <algorithm>

namespace platform::kamailio {
namespace {
constexpr std::size_t kMaxEndedRemembered = 1024;
}

CallPicture::CallPicture(const std::vector<std::string>& extensions)
    : perDevice_(extensions.size()) {
    for (DWORD d = 0; d < extensions.size(); ++d) devices_.try_emplace(extensions[d], d);
}

std::optional<DWORD> CallPicture::DeviceOf(const std::string& line) const {
    const auto it = devices_.find(line);
    if (it == devices_.end()) return std::nullopt;
    return it->second;
}

bool CallPicture::Apply(const DialogRecord& event) {
    if (inFlight_) touchedInFlight_.insert(event.key);
    if (event.state == 0) {
        const bool known = dialogs_.contains(event.key);
        Remove(event.key);
        RememberEnded(event.key);
        return known;
    }
    if (ended_.contains(event.key)) return false;
    const auto device = DeviceOf(event.line);
    return device && Upsert(event, *device);
}

void CallPicture::BeginSnapshot() {
    inFlight_ = true;
    touchedInFlight_.clear();
}

bool CallPicture::ApplySnapshot(const std::vector<DialogRecord>& dialogs) {
    bool changed = false;
    std::set<std::string> listed;
    for (const DialogRecord& record : dialogs) {
        // What an event said since the request left is newer than the list.
        if (ended_.contains(record.key)) continue;
        const auto device = DeviceOf(record.line);
        if (!device) continue;
        listed.insert(record.key);
        changed |= Upsert(record, *device);
    }
    std::vector<std::string> gone;
    for (const auto& [key, call] : dialogs_) {
        if (!listed.contains(key) && !touchedInFlight_.contains(key)) gone.push_back(key);
    }
    for (const std::string& key : gone) Remove(key);
    inFlight_ = false;
    touchedInFlight_.clear();
    return changed || !gone.empty();
}

bool CallPicture::Upsert(const DialogRecord& record, DWORD device) {
    auto it = dialogs_.find(record.key);
    if (it == dialogs_.end()) {
        std::vector<CallId>& calls = perDevice_[device];
        if (calls.size() >= kMaxCallsPerLine) return false;
        ProviderCall call{nextId_++, device, record.state, record.number, record.name};
        calls.push_back(call.id);  // ids grow, so the list stays oldest first
        keys_.emplace(call.id, record.key);
        dialogs_.emplace(record.key, std::move(call));
        return true;
    }
    ProviderCall& call = it->second;
    if (call.number.empty()) call.number = record.number;
    if (call.name.empty()) call.name = record.name;
    // A dialog never goes back from answered to ringing.
    if (record.state == LINECALLSTATE_CONNECTED && call.state != LINECALLSTATE_CONNECTED) {
        call.state = LINECALLSTATE_CONNECTED;
        return true;
    }
    return false;
}

void CallPicture::Remove(const std::string& key) {
    const auto it = dialogs_.find(key);
    if (it == dialogs_.end()) return;
    std::erase(perDevice_[it->second.device], it->second.id);
    keys_.erase(it->second.id);
    dialogs_.erase(it);
}

void CallPicture::RememberEnded(const std::string& key) {
    if (!ended_.insert(key).second) return;
    endedOrder_.push_back(key);
    if (endedOrder_.size() > kMaxEndedRemembered) {
        ended_.erase(endedOrder_.front());
        endedOrder_.pop_front();
    }
}

bool CallPicture::Clear() {
    const bool had = !dialogs_.empty();
    dialogs_.clear();
    keys_.clear();
    for (auto& calls : perDevice_) calls.clear();
    inFlight_ = false;
    touchedInFlight_.clear();
    return had;
}

void CallPicture::ForgetEnded() {
    ended_.clear();
    endedOrder_.clear();
}

const std::vector<CallId>& CallPicture::CallsOn(DWORD device) const {
    return device < perDevice_.size() ? perDevice_[device] : none_;
}

const ProviderCall* CallPicture::Find(CallId id) const {
    const auto key = keys_.find(id);
    if (key == keys_.end()) return nullptr;
    return &dialogs_.at(key->second);
}

}  // namespace platform::kamailio
