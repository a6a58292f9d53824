#include "IncomingCallLog.h"

#include <QDateTime>
#include <QFile>
#include <algorithm>

#include "platform/Utf8Text.h"
#include "platform/clock/Clock.h"
#include "platform/file/AppendOnlyFile.h"
#include "telephony/Tapi.h"
#include "telephony/TapiSession.h"
#include "telephony/VarText.h"

using namespace platform;

namespace {
// A provider asking for more than this is not believed.
constexpr DWORD kMaxCallInfoSize = 1 << 16;
}  // namespace

IncomingCallLog::IncomingCallLog(Tapi& tapi, TapiSession& session, const Clock& clock, QString path)
    : tapi_(tapi),
      session_(session),
      clock_(clock),
      path_(std::move(path)),
      // Failures are absorbed: a record that cannot be written is not kept.
      appender_([this](const std::vector<std::string>& records) { Append(records); }) {}

std::string IncomingCallLog::Shown(const std::string& id, std::size_t longest,
                                   const char* unknown) {
    if (id.empty()) return unknown;
    // A longer id keeps one character more than `longest`, and the "*".
    if (Utf8Text::Length(id) <= longest) return id;
    return std::string(Utf8Text::Left(id, longest + 1)) + "*";
}

std::string IncomingCallLog::ShownName(const std::string& name) {
    return Shown(name, 37, "Unknown Caller");
}

std::string IncomingCallLog::ShownNumber(const std::string& number) {
    return Shown(number, 51, "Unknown #");
}

std::string IncomingCallLog::Record(const std::string& name, const std::string& number,
                                    const QDateTime& when) {
    return " " + Utf8Text::Padded(name, 42) + Utf8Text::Padded(number, 55) +
           when.toString("MM-dd-yyyy  HH:mm:ss").toStdString();
}

bool IncomingCallLog::QueryCallInfo(HCALL call, std::vector<BYTE>& info) {
    info.assign(kCallInfoSize, 0);
    WriteDword(info.data(), kCallInfoSize, linecallinfo::dwTotalSize, linecallinfo::kFixedSize);
    session_.lastResult = tapi_.Api().lineGetCallInfo(call, info.data());
    if (session_.lastResult != 0) {
        tapi_.DropCall();
        return false;
    }
    // The second query declares exactly the buffer it hands over, so the
    // service can never write past it.
    DWORD needed = ReadDword(info.data(), kCallInfoSize, linecallinfo::dwNeededSize);
    needed = std::clamp<DWORD>(needed, kCallInfoSize, kMaxCallInfoSize);
    info.assign(needed, 0);
    WriteDword(info.data(), needed, linecallinfo::dwTotalSize, needed);
    session_.lastResult = tapi_.Api().lineGetCallInfo(call, info.data());
    return session_.lastResult == 0;
}

void IncomingCallLog::LogIncomingCall(HCALL& callHandle) {
    std::vector<BYTE> info;
    if (!QueryCallInfo(callHandle, info)) return;
    const DWORD size = static_cast<DWORD>(info.size());
    const DWORD fixed = linecallinfo::kFixedSize;
    const std::string_view area(reinterpret_cast<const char*>(info.data()) + fixed, size - fixed);
    auto field = [&](DWORD offsetAt, DWORD sizeAt) {
        return vartext::Field(area, ReadDword(info.data(), size, offsetAt),
                              ReadDword(info.data(), size, sizeAt), fixed);
    };
    caller_.number = field(linecallinfo::dwCallerIDOffset, linecallinfo::dwCallerIDSize);
    caller_.name = field(linecallinfo::dwCallerIDNameOffset, linecallinfo::dwCallerIDNameSize);
    appender_.Add(Record(ShownName(caller_.name), ShownNumber(caller_.number), clock_.Now()));
}

bool IncomingCallLog::Append(const std::vector<std::string>& records) const {
    // One append of whole lines, undone when it fails: a full disk leaves
    // no half record for the next one to run into.
    const std::string header = std::string(kHeader1) + "\r\n" + kHeader2 + "\r\n";
    std::vector<std::string_view> pieces;
    for (const std::string& record : records) {
        pieces.emplace_back(record);
        pieces.emplace_back("\r\n");
    }
    return AppendOnlyFile(path_).Append(pieces, header);
}

void IncomingCallLog::CutTornTail() const {
    AppendOnlyFile(path_).CutTornTail();
}
