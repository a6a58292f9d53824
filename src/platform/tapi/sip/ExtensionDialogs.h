#pragma once
// What one subscription has told of one extension's dialogs. Documents are
// taken in version order as RFC 4235 lays down: a full state replaces the
// picture, a partial one changes the dialogs it lists, and one that is older
// than what is known changes nothing. A missing partial cannot be made up
// for: the caller subscribes again.
#include <cstdint>
#include <optional>
#include <vector>

#include "DialogInfo.h"

namespace platform::sip {

class ExtensionDialogs {
public:
    enum class Outcome {
        Applied,
        Ignored,  // a repeat, or older than what is known
        Gap,      // a partial state that does not follow on: subscribe again, then Restart()
    };

    Outcome Apply(const DialogInfo& document);
    // A NOTIFY without a body: the extension has no dialogs. Versions count
    // documents, so the next one must still follow the last document.
    void ApplyEmpty();
    // A new subscription: its versions start again, and its first document
    // must be a full state. What is known stays until that document arrives,
    // so calls that go on across the new subscription are not seen to end.
    void Restart();

    // The dialogs that are not over, at most DialogInfo::kMaxDialogs, the
    // oldest first.
    const std::vector<DialogEntry>& Live() const { return live_; }
    // The dialogs the last Apply or ApplyEmpty ended: those it listed as
    // terminated, or that a full state or an empty body left out, as last
    // seen (with the ending document's state, caller id and direction when
    // it listed them).
    const std::vector<DialogEntry>& Ended() const { return ended_; }

private:
    void Replace(const std::vector<DialogEntry>& dialogs);
    void Merge(const std::vector<DialogEntry>& dialogs);

    std::vector<DialogEntry> live_;
    std::vector<DialogEntry> ended_;
    std::optional<std::uint32_t> version_;  // of the last document applied
    // The subscription has given its first state (a document or an empty body).
    bool started_ = false;
};

}  // namespace platform::sip
