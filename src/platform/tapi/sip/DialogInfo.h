#pragma once
// One application/dialog-info+xml document (RFC 4235), as a NOTIFY of the
// dialog event package carries it: the dialogs of one watched extension.
// The body comes from the network and is not trusted: it is read with
// bounds, without a DTD and without entity expansion, and what it says
// about callers is cleaned by CallerText before anything else sees it.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::sip {

enum class DialogDirection { Unknown, Initiator, Recipient };

struct DialogEntry {
    std::string id;     // the dialog's identity in its document's subscription
    std::string state;  // lower case: trying, proceeding, early, confirmed, terminated
    DialogDirection direction = DialogDirection::Unknown;
    std::string remoteNumber;  // both made safe by CallerText; empty when not given
    std::string remoteName;
};

struct DialogInfo {
    std::uint32_t version = 0;
    bool full = true;                  // the whole state of the extension, not only what changed
    std::vector<DialogEntry> dialogs;  // ids unique, in document order

    // Larger bodies are not read.
    static constexpr std::size_t kMaxBytes = 64 * 1024;
    // More dialogs are dropped: the line is busy anyway.
    static constexpr std::size_t kMaxDialogs = 64;

    // Nothing for a body that is too large, not well-formed XML, has a DTD or
    // an entity reference, is not a dialog-info document of RFC 4235's
    // namespace, or lacks a valid version or state. Dialogs without an id or
    // a known state are left out; a dialog listed twice is the later entry.
    static std::optional<DialogInfo> Parse(std::string_view body);
    // A NOTIFY without a document (only blanks, if anything): no dialogs.
    static bool IsEmptyBody(std::string_view body);
};

}  // namespace platform::sip
