#pragma once
// The calls on the watched lines as the scan reads them, one line per
// extension, each line set from the dialogs its subscription reports. A
// dialog keeps its call (and CallId) for as long as it is reported; a call
// whose dialog is no longer reported has ended, and its id is never given
// out again.
#include <cstddef>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "DialogInfo.h"
#include "platform/tapi/LineProvider.h"

namespace platform::sip {

class SipCallPicture {
public:
    // More calls on one line are not tracked; the line is busy anyway.
    static constexpr std::size_t kMaxCallsPerLine = DialogInfo::kMaxDialogs;

    explicit SipCallPicture(std::size_t devices);

    // The calls on a device are now those of the live dialogs (terminated or
    // unknown states are left out). Returns whether calls, their states or
    // their caller ids changed.
    bool Show(DWORD device, const std::vector<DialogEntry>& live);
    // Every call on the device has ended; returns whether there were any.
    bool Clear(DWORD device);

    // Oldest first; empty for a device out of range.
    const std::vector<CallId>& CallsOn(DWORD device) const;
    // Null once the call has ended.
    const ProviderCall* Find(CallId id) const;

    // The call state a live dialog shows as; 0 for one that is over.
    static DWORD CallState(const DialogEntry& dialog);

private:
    struct Line {
        std::vector<CallId> calls;
        std::map<std::string, CallId> byDialog;
    };

    std::vector<Line> lines_;
    std::unordered_map<CallId, ProviderCall> calls_;
    std::vector<CallId> none_;
    CallId nextId_ = 1;
};

}  // namespace platform::sip
