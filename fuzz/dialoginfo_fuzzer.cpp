// What a SIP server sends in the NOTIFYs of a dialog subscription, as
// arbitrary bytes: dialog-info documents separated by NUL bytes, a part
// that is only "R" standing for a new subscription. What the parser gives
// is bounded, valid UTF-8 and printable; the subscription's view keeps to
// its bounds; and the call picture it moves keeps its bookkeeping straight.
#include <QByteArray>
#include <QList>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "CallerTextCheck.h"
#include "platform/Utf8Text.h"
#include "platform/tapi/CallerText.h"
#include "platform/tapi/sip/DialogInfo.h"
#include "platform/tapi/sip/ExtensionDialogs.h"
#include "platform/tapi/sip/SipCallPicture.h"

using namespace platform;
using namespace platform::sip;

namespace {

constexpr std::string_view kStates[] = {"trying", "proceeding", "early", "confirmed", "terminated"};

void CheckDialogs(const std::vector<DialogEntry>& dialogs, bool mayBeOver) {
    if (dialogs.size() > DialogInfo::kMaxDialogs) std::abort();
    std::set<std::string> ids;
    for (const DialogEntry& d : dialogs) {
        if (d.id.empty() || !ids.insert(d.id).second) std::abort();
        if (std::find(std::begin(kStates), std::end(kStates), d.state) == std::end(kStates))
            std::abort();
        if (!mayBeOver && d.state == "terminated") std::abort();
        if (!IsCallerText(d.remoteNumber, CallerText::kMaxNumber) ||
            !IsCallerText(d.remoteName, CallerText::kMaxName))
            std::abort();
    }
}

void CheckPicture(const SipCallPicture& picture, std::size_t devices) {
    for (DWORD device = 0; device <= devices; ++device) {
        const auto& calls = picture.CallsOn(device);
        if (calls.size() > SipCallPicture::kMaxCallsPerLine) std::abort();
        if (device == devices && !calls.empty()) std::abort();
        for (std::size_t i = 0; i < calls.size(); ++i) {
            const ProviderCall* call = picture.Find(calls[i]);
            if (call == nullptr || call->device != device || call->id != calls[i]) std::abort();
            if (call->state != LINECALLSTATE_OFFERING && call->state != LINECALLSTATE_PROCEEDING &&
                call->state != LINECALLSTATE_CONNECTED)
                std::abort();
            if (i > 0 && calls[i - 1] >= calls[i]) std::abort();  // oldest first
        }
    }
}

bool Same(const std::vector<DialogEntry>& a, const std::vector<DialogEntry>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const auto& x, const auto& y) {
        return x.id == y.id && x.state == y.state && x.direction == y.direction &&
               x.remoteNumber == y.remoteNumber && x.remoteName == y.remoteName;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ExtensionDialogs extension;
    // Line 0 follows the subscription; line 1 shows each document by itself.
    SipCallPicture picture(2);
    for (const QByteArray& part : input.split('\0')) {
        const std::string_view body(part.constData(), static_cast<std::size_t>(part.size()));
        if (body == "R") {
            extension.Restart();
        } else if (DialogInfo::IsEmptyBody(body)) {
            if (DialogInfo::Parse(body)) std::abort();  // no document, not an empty one
            extension.ApplyEmpty();
        } else if (const auto document = DialogInfo::Parse(body)) {
            if (body.size() > DialogInfo::kMaxBytes) std::abort();
            CheckDialogs(document->dialogs, true);
            const auto before = extension.Live();
            const auto outcome = extension.Apply(*document);
            // Only an applied document changes what is known.
            if (outcome != ExtensionDialogs::Outcome::Applied &&
                (!extension.Ended().empty() || !Same(before, extension.Live())))
                std::abort();
            picture.Show(1, document->dialogs);
        }
        CheckDialogs(extension.Live(), false);
        CheckDialogs(extension.Ended(), true);
        picture.Show(0, extension.Live());
        // Showing the same dialogs again changes nothing.
        if (picture.Show(0, extension.Live())) std::abort();
        CheckPicture(picture, 2);
        if (picture.CallsOn(0).size() != extension.Live().size()) std::abort();
    }
    return 0;
}
