// Bytes arriving on a window's socket: the frame decoder, fed the way a
// connection collects them, and a decoded hand-over given to the window
// procedure's WM_COPYDATA handler exactly as the window system delivers it.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "FakeWindowSystem.h"
#include "platform/window/CopyDataFrame.h"
#include "shell/CommandText.h"
#include "shell/WindowHook.h"

using platform::CopyDataFrame;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    // A connection decodes what it has so far as bytes arrive and acts on
    // the first answer that is not "incomplete": that answer must agree with
    // the one for all the bytes at once.
    qsizetype decidedAt = -1;
    CopyDataFrame::Decoded decided;
    for (qsizetype n = 0; n <= bytes.size(); ++n) {
        decided = CopyDataFrame::Decode(bytes.first(n));
        if (decided.status != CopyDataFrame::Status::Incomplete) {
            decidedAt = n;
            break;
        }
        if (n > CopyDataFrame::kMaxFrameSize) std::abort();  // never waits for more than a frame
    }
    const CopyDataFrame::Decoded whole = CopyDataFrame::Decode(bytes);
    if (decided.status == CopyDataFrame::Status::Invalid &&
        whole.status != CopyDataFrame::Status::Invalid)
        std::abort();
    if (whole.status == CopyDataFrame::Status::Complete && decidedAt != bytes.size()) std::abort();

    const auto reply = CopyDataFrame::DecodeReply(bytes);
    if (reply.status == CopyDataFrame::Status::Complete &&
        CopyDataFrame::EncodeReply(reply.result) != bytes)
        std::abort();

    if (decided.status != CopyDataFrame::Status::Complete) return 0;
    const CopyDataFrame::Message& message = decided.message;
    // Nothing was read but the frame.
    if (CopyDataFrame::Encode(message) != bytes.first(decidedAt)) std::abort();
    if (message.msg != platform::WM_COPYDATA) return 0;

    FakeWindowSystem windows;
    CommandText command;
    int options = 0, rebuilds = 0;
    WindowHook hook(windows, command, {nullptr, [&] { ++options; }, [&] { ++rebuilds; }});
    platform::COPYDATASTRUCT cds;
    cds.dwData = message.dwData;
    cds.cbData = static_cast<platform::DWORD>(message.data.size());
    cds.lpData = message.data.constData();
    hook.HandleCopyData(reinterpret_cast<platform::LPARAM>(&cds));
    if (command.text.size() > WindowHook::kMaxCopyData ||
        command.text.find('\0') != std::string::npos)
        std::abort();
    if (rebuilds != (command.text == "test" ? 1 : 0)) std::abort();
    if (options > 1) std::abort();
    return 0;
}
