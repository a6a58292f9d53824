// The bytes of one window message between processes: what travels, what is
// refused, and a decoder that never accepts more than it was given. Random
// mutations are left to fuzz/copydata_fuzzer.
#include <gtest/gtest.h>

#include <QtEndian>

#include "platform/window/CopyDataFrame.h"
#include "platform/window/WindowSystem.h"

using namespace platform;
using Status = CopyDataFrame::Status;

namespace {

CopyDataFrame::Message HandOver(DWORD dwData, QByteArray data) {
    return {WM_COPYDATA, 0x1234, dwData, std::move(data)};
}

QByteArray With(QByteArray frame, qsizetype offset, quint32 value) {
    qToLittleEndian(value, frame.data() + offset);
    return frame;
}

TEST(CopyDataFrame, RoundTripsWhatTravelsAndRefusesTheRest) {
    for (const auto& message :
         {HandOver(1, QByteArray(1, '\0')), HandOver(3, "test\0"), HandOver(0, {}),
          HandOver(7, QByteArray(256, 'x')), CopyDataFrame::Message{WM_CLOSE, ~WPARAM{0}, 0, {}}}) {
        const QByteArray frame = CopyDataFrame::Encode(message);
        ASSERT_EQ(frame.size(), CopyDataFrame::kHeaderSize + message.data.size());
        const auto decoded = CopyDataFrame::Decode(frame);
        ASSERT_EQ(decoded.status, Status::Complete);
        const auto& m = decoded.message;
        EXPECT_EQ(std::tuple(m.msg, m.wParam, m.dwData, m.data),
                  std::tuple(message.msg, message.wParam, message.dwData, message.data));
    }
    for (LRESULT r : {LRESULT{0}, LRESULT{42}, LRESULT{-1}, LRESULT{INT64_MIN}}) {
        const auto decoded = CopyDataFrame::DecodeReply(CopyDataFrame::EncodeReply(r));
        EXPECT_TRUE(decoded.status == Status::Complete && decoded.result == r) << r;
    }
    for (const auto& unsendable : {HandOver(3, QByteArray(257, 'x')),
                                   {WM_MOUSEMOVE, 0, 0, {}},
                                   {WM_CLOSE, 0, 1, {}},
                                   {WM_CLOSE, 0, 0, "x"}})
        EXPECT_TRUE(CopyDataFrame::Encode(unsendable).isEmpty()) << unsendable.msg;
}

TEST(CopyDataFrame, PrefixesAreIncompleteAndBadFramesInvalidAsSoonAsTheBytesShowIt) {
    const QByteArray good = CopyDataFrame::Encode(HandOver(3, QByteArray("test\0", 5)));
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_EQ(CopyDataFrame::Decode(good.first(n)).status, Status::Incomplete) << n;
    const QByteArray reply = CopyDataFrame::EncodeReply(5);
    EXPECT_EQ(CopyDataFrame::DecodeReply(reply.first(11)).status, Status::Incomplete);

    const QByteArray header = good.first(CopyDataFrame::kHeaderSize);
    const std::tuple<const char*, QByteArray, bool> bad[] = {
        // what, bytes, is a reply
        {"garbage, first byte", "G", false},
        {"wrong magic", "VWMX", false},
        {"cbData 1000", With(With(header, 24, 1000), 4, 1028), false},
        {"28 + cbData wraps", With(With(header, 24, 0xFFFFFFF0u), 4, 12), false},
        {"size too small", With(good, 4, CopyDataFrame::kHeaderSize + 4), false},
        {"size too large", With(good, 4, CopyDataFrame::kHeaderSize + 6), false},
        {"unknown message", With(good, 8, WM_MOUSEMOVE), false},
        {"close with data", With(good, 8, WM_CLOSE), false},
        {"trailing byte", good + "x", false},
        {"reply, trailing byte", reply + "x", true},
        {"reply, wrong magic", "VWM1", true},
    };
    for (const auto& [what, bytes, isReply] : bad)
        EXPECT_EQ(isReply ? CopyDataFrame::DecodeReply(bytes).status
                          : CopyDataFrame::Decode(bytes).status,
                  Status::Invalid)
            << what;
}

}  // namespace
