#pragma once
// Reads what Kamailio says about the dialogs of watched lines: the events the
// vastrel.cfg routes relay over evapi, and the reply to dlg.profile_list.
#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

#include "platform/tapi/Tapi32.h"

namespace platform::kamailio {

// The dialog profile vastrel.cfg puts every call into, valued by extension.
inline constexpr char kProfile[] = "vastrel_line";

struct DialogRecord {
    std::string key;   // "h_entry:h_id", the dialog's identity on its server
    std::string line;  // the called extension
    DWORD state = 0;   // LINECALLSTATE_OFFERING or _CONNECTED; 0 once ended
    std::string number;
    std::string name;  // both already made safe by CallerText
};

class DialogParser {
public:
    // Larger messages are not believed.
    static constexpr qsizetype kMaxEvent = 64 * 1024;
    static constexpr qsizetype kMaxReply = 8 * 1024 * 1024;

    // One evapi message; nothing when it is not one of ours.
    static std::optional<DialogRecord> ParseEvent(const QByteArray& json);
    // The dialogs of a dlg.profile_list reply that are still alive; nothing
    // for an error reply or anything unreadable.
    static std::optional<std::vector<DialogRecord>> ParseProfileList(const QByteArray& json);
    // The request for it, listing every value of the profile at once.
    static QByteArray ProfileListRequest(int id);
    // Kamailio's dialog state (1 unconfirmed, 2 early, 3 confirmed, 4 established,
    // 5 deleted) as a call state; 0 for a dialog that counts as gone.
    static DWORD CallState(qint64 dialogState);
};

}  // namespace platform::kamailio
