#include "SipCallPicture.h"

#include <algorithm>

namespace platform::sip {

SipCallPicture::SipCallPicture(std::size_t devices) : lines_(devices) {}

DWORD SipCallPicture::CallState(const DialogEntry& dialog) {
    if (dialog.state == "confirmed") return LINECALLSTATE_CONNECTED;
    if (dialog.state != "trying" && dialog.state != "proceeding" && dialog.state != "early")
        return 0;
    // Whoever rings the extension is offering it a call. A dialog of unknown
    // direction that has not reached early may be either; a call being set
    // up is in use all the same.
    if (dialog.direction == DialogDirection::Recipient ||
        (dialog.direction == DialogDirection::Unknown && dialog.state == "early"))
        return LINECALLSTATE_OFFERING;
    return LINECALLSTATE_PROCEEDING;
}

bool SipCallPicture::Show(DWORD device, const std::vector<DialogEntry>& live) {
    if (device >= lines_.size()) return false;
    Line& line = lines_[device];
    std::map<std::string, CallId> next;
    bool changed = false;
    // Calls already on the line first, so a flood of new dialogs cannot push
    // one of them off.
    for (const DialogEntry& dialog : live) {
        const DWORD state = CallState(dialog);
        const auto known = line.byDialog.find(dialog.id);
        if (state == 0 || known == line.byDialog.end() || next.contains(dialog.id)) continue;
        next.emplace(dialog.id, known->second);
        ProviderCall& call = calls_.at(known->second);
        // A dialog never goes back from answered to ringing; showing it so
        // would count the call as offered twice.
        if (call.state != state && call.state != LINECALLSTATE_CONNECTED) {
            call.state = state;
            changed = true;
        }
        // A document that leaves the caller out does not take it away.
        if (!dialog.remoteNumber.empty() && dialog.remoteNumber != call.number) {
            call.number = dialog.remoteNumber;
            changed = true;
        }
        if (!dialog.remoteName.empty() && dialog.remoteName != call.name) {
            call.name = dialog.remoteName;
            changed = true;
        }
    }
    for (const DialogEntry& dialog : live) {
        const DWORD state = CallState(dialog);
        if (state == 0 || next.size() >= kMaxCallsPerLine || next.contains(dialog.id)) continue;
        const CallId id = nextId_++;
        next.emplace(dialog.id, id);
        calls_.emplace(id, ProviderCall{id, device, state, dialog.remoteNumber, dialog.remoteName});
        changed = true;
    }
    for (const auto& [dialogId, id] : line.byDialog) {
        if (next.contains(dialogId)) continue;
        calls_.erase(id);
        changed = true;
    }
    line.byDialog = std::move(next);
    line.calls.clear();
    for (const auto& entry : line.byDialog) line.calls.push_back(entry.second);
    std::sort(line.calls.begin(), line.calls.end());  // ids grow: oldest first
    return changed;
}

bool SipCallPicture::Clear(DWORD device) {
    if (device >= lines_.size()) return false;
    Line& line = lines_[device];
    for (const CallId id : line.calls) calls_.erase(id);
    const bool had = !line.calls.empty();
    line.calls.clear();
    line.byDialog.clear();
    return had;
}

const std::vector<CallId>& SipCallPicture::CallsOn(DWORD device) const {
    return device < lines_.size() ? lines_[device].calls : none_;
}

const ProviderCall* SipCallPicture::Find(CallId id) const {
    const auto it = calls_.find(id);
    return it == calls_.end() ? nullptr : &it->second;
}

}  // namespace platform::sip
