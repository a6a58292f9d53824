#include "ExtensionDialogs.h"

#include <algorithm>

namespace platform::sip {
namespace {

bool Over(const DialogEntry& dialog) {
    return dialog.state == "terminated";
}

template <typename List>
auto FindId(List& list, const std::string& id) {
    return std::find_if(list.begin(), list.end(), [&](const DialogEntry& d) { return d.id == id; });
}

}  // namespace

ExtensionDialogs::Outcome ExtensionDialogs::Apply(const DialogInfo& document) {
    ended_.clear();
    if (!version_) {
        // A new subscription starts from a full state. After an empty first
        // body the state is known to be empty, so a partial builds on that.
        if (!started_ && !document.full) return Outcome::Gap;
    } else if (document.version <= *version_) {
        return Outcome::Ignored;
    } else if (!document.full && document.version != std::uint64_t{*version_} + 1) {
        return Outcome::Gap;
    }
    if (document.full) {
        Replace(document.dialogs);
    } else {
        Merge(document.dialogs);
    }
    version_ = document.version;
    started_ = true;
    return Outcome::Applied;
}

void ExtensionDialogs::ApplyEmpty() {
    ended_ = std::move(live_);
    live_.clear();
    started_ = true;
}

void ExtensionDialogs::Restart() {
    version_.reset();
    started_ = false;
    ended_.clear();
}

void ExtensionDialogs::Replace(const std::vector<DialogEntry>& dialogs) {
    std::vector<DialogEntry> next;
    // Known dialogs keep their places, so the list stays oldest first.
    for (const DialogEntry& known : live_) {
        const auto listed = FindId(dialogs, known.id);
        if (listed == dialogs.end()) {
            ended_.push_back(known);
        } else if (Over(*listed)) {
            ended_.push_back(*listed);
        } else {
            next.push_back(*listed);
        }
    }
    for (const DialogEntry& dialog : dialogs) {
        if (Over(dialog) || next.size() >= DialogInfo::kMaxDialogs) continue;
        if (FindId(next, dialog.id) == next.end()) next.push_back(dialog);
    }
    live_ = std::move(next);
}

void ExtensionDialogs::Merge(const std::vector<DialogEntry>& dialogs) {
    for (const DialogEntry& dialog : dialogs) {
        const auto known = FindId(live_, dialog.id);
        if (known == live_.end()) {
            if (!Over(dialog) && live_.size() < DialogInfo::kMaxDialogs) live_.push_back(dialog);
        } else if (Over(dialog)) {
            ended_.push_back(dialog);
            live_.erase(known);
        } else {
            *known = dialog;
        }
    }
}

}  // namespace platform::sip
