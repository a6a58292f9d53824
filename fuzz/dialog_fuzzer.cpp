// What a Kamailio server sends, as arbitrary bytes, one message a line: evapi
// events and dlg.profile_list replies. What the parser gives is bounded,
// valid UTF-8 and printable, and the call picture they move keeps its
// bookkeeping straight.
// A line "B" starts a snapshot request, "F" forgets the ended dialogs.
#include <QByteArray>
#include <QList>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "CallerTextCheck.h"
#include "platform/Utf8Text.h"
#include "platform/tapi/CallerText.h"
#include "platform/tapi/kamailio/CallPicture.h"
#include "platform/tapi/kamailio/DialogParser.h"
#include "platform/tapi/kamailio/KamailioConfig.h"

using namespace platform;
using namespace platform::kamailio;

namespace {

const std::vector<std::string> kLines = {"101", "102", "103"};

bool AsciiDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// "H_ENTRY:H_ID" in ASCII digits.
bool IsDialogKey(const std::string& key) {
    const std::size_t colon = key.find(':');
    return colon != std::string::npos && AsciiDigits(std::string_view(key).substr(0, colon)) &&
           AsciiDigits(std::string_view(key).substr(colon + 1));
}

void CheckRecord(const DialogRecord& record) {
    const bool live =
        record.state == LINECALLSTATE_OFFERING || record.state == LINECALLSTATE_CONNECTED;
    if (!(live || record.state == 0) || !IsDialogKey(record.key) || record.key.size() > 24 ||
        !IsCallerText(record.number, CallerText::kMaxNumber) ||
        !IsCallerText(record.name, CallerText::kMaxName))
        std::abort();
}

void CheckEvent(const DialogRecord& record) {
    CheckRecord(record);
    if (record.line.size() > KamailioConfig::kMaxExtension) std::abort();
}

// A snapshot's line comes as the server's plain profile value; a long one
// simply matches no extension.
void CheckSnapshot(const std::vector<DialogRecord>& dialogs) {
    for (const DialogRecord& record : dialogs) {
        // Listed dialogs are alive; an ended one is left out, not listed as ended.
        if (record.state == 0) std::abort();
        CheckRecord(record);
    }
}

void CheckPicture(const CallPicture& picture) {
    for (DWORD device = 0; device <= kLines.size(); ++device) {
        const auto& calls = picture.CallsOn(device);
        if (calls.size() > CallPicture::kMaxCallsPerLine) std::abort();
        if (device == kLines.size() && !calls.empty()) std::abort();
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const ProviderCall* call = picture.Find(calls[i]);
            if (call == nullptr || call->device != device || call->id != calls[i]) std::abort();
            if (i > 0 && calls[i - 1] >= calls[i]) std::abort();  // oldest first
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    CallPicture picture(kLines);
    for (const QByteArray& message : input.split('\n')) {
        if (message == "B") {
            picture.BeginSnapshot();
        } else if (message == "F") {
            picture.ForgetEnded();
        } else {
            if (const auto event = DialogParser::ParseEvent(message)) {
                CheckEvent(*event);
                picture.Apply(*event);
            }
            if (const auto dialogs = DialogParser::ParseProfileList(message)) {
                CheckSnapshot(*dialogs);
                picture.ApplySnapshot(*dialogs);
            }
        }
        CheckPicture(picture);
    }
    return 0;
}
