// The bytes of one window message between processes: what travels, what is
// refused, and a decoder that never accepts more than it was given.
#include <gtest/gtest.h>

#include <QtEndian>

#include <random>

#include "platform/window/CopyDataFrame.h"
#include "platform/window/WindowSystem.h"

using namespace platform;
using Status = CopyDataFrame::Status;

namespace {

CopyDataFrame::Message HandOver(DWORD dwData, QByteArray data) {
    return {WM_COPYDATA, 0x1234, dwData, std::move(data)};
}

const QByteArray kTest("test\0", 5);

QByteArray With(QByteArray frame, qsizetype offset, quint32 value) {
    qToLittleEndian(value, frame.data() + offset);
    return frame;
}

TEST(CopyDataFrame, RoundTripsWhatTravelsAndRefusesTheRest) {
    const CopyDataFrame::Message cases[] = {HandOver(1, QByteArray(1, '\0')),
                                            HandOver(3, kTest),
                                            HandOver(0, {}),
                                            HandOver(7, QByteArray(256, 'x')),
                                            {WM_CLOSE, ~WPARAM{0}, 0, {}}};
    for (const auto& message : cases) {
        const QByteArray frame = CopyDataFrame::Encode(message);
        ASSERT_EQ(frame.size(), CopyDataFrame::kHeaderSize + message.data.size());
        const auto decoded = CopyDataFrame::Decode(frame);
        ASSERT_EQ(decoded.status, Status::Complete);
        EXPECT_EQ(decoded.message.msg, message.msg);
        EXPECT_EQ(decoded.message.wParam, message.wParam);
        EXPECT_EQ(decoded.message.dwData, message.dwData);
        EXPECT_EQ(decoded.message.data, message.data);
    }
    EXPECT_TRUE(CopyDataFrame::Encode(HandOver(3, QByteArray(257, 'x'))).isEmpty());
    EXPECT_TRUE(CopyDataFrame::Encode({WM_MOUSEMOVE, 0, 0, {}}).isEmpty());
    EXPECT_TRUE(CopyDataFrame::Encode({WM_CLOSE, 0, 1, {}}).isEmpty());
    EXPECT_TRUE(CopyDataFrame::Encode({WM_CLOSE, 0, 0, "x"}).isEmpty());
}

TEST(CopyDataFrame, PrefixesAreIncompleteAndBadFramesInvalidAsSoonAsTheBytesShowIt) {
    const QByteArray good = CopyDataFrame::Encode(HandOver(3, kTest));
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_EQ(CopyDataFrame::Decode(good.first(n)).status, Status::Incomplete) << n;

    const QByteArray header = good.first(CopyDataFrame::kHeaderSize);
    const std::pair<const char*, QByteArray> bad[] = {
        {"garbage, first byte", "G"},
        {"wrong magic", "VWMX"},
        {"cbData 1000", With(With(header, 24, 1000), 4, 1028)},
        {"28 + cbData wraps", With(With(header, 24, 0xFFFFFFF0u), 4, 12)},
        {"size too small", With(good, 4, CopyDataFrame::kHeaderSize + 4)},
        {"size too large", With(good, 4, CopyDataFrame::kHeaderSize + 6)},
        {"unknown message", With(good, 8, WM_MOUSEMOVE)},
        {"close with data", With(good, 8, WM_CLOSE)},
        {"trailing byte", good + "x"},
    };
    for (const auto& [what, bytes] : bad)
        EXPECT_EQ(CopyDataFrame::Decode(bytes).status, Status::Invalid) << what;
}

TEST(CopyDataFrame, RepliesRoundTripAndRejectGarbage) {
    for (LRESULT r : {LRESULT{0}, LRESULT{42}, LRESULT{-1}, LRESULT{INT64_MIN}}) {
        const auto decoded = CopyDataFrame::DecodeReply(CopyDataFrame::EncodeReply(r));
        ASSERT_EQ(decoded.status, Status::Complete);
        EXPECT_EQ(decoded.result, r);
    }
    const QByteArray reply = CopyDataFrame::EncodeReply(5);
    EXPECT_EQ(CopyDataFrame::DecodeReply(reply.first(11)).status, Status::Incomplete);
    EXPECT_EQ(CopyDataFrame::DecodeReply(reply + "x").status, Status::Invalid);
    EXPECT_EQ(CopyDataFrame::DecodeReply("VWM1").status, Status::Invalid);
}

// Mutated frames never crash the decoder, and whatever it accepts is exactly
// the canonical encoding of what it returns (nothing is guessed).
TEST(CopyDataFrame, MutatedFramesDecodeOnlyToWhatTheyEncode) {
    std::mt19937 random(20240611);
    const QByteArray base = CopyDataFrame::Encode(HandOver(3, kTest));
    int complete = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = base;
        for (int e = 0, edits = 1 + static_cast<int>(random() % 3); e < edits; ++e) {
            const auto at = static_cast<qsizetype>(random() % bytes.size());
            const unsigned kind = random() % 3;
            if (kind == 0) bytes[at] = static_cast<char>(random());
            if (kind == 1) bytes.truncate(at);
            if (kind == 2) bytes.append(static_cast<char>(random()));
            if (bytes.isEmpty()) bytes = base;
        }
        const auto decoded = CopyDataFrame::Decode(bytes);
        if (decoded.status != Status::Complete) continue;
        ++complete;
        EXPECT_EQ(CopyDataFrame::Encode(decoded.message), bytes);
    }
    EXPECT_GT(complete, 0);  // some mutations (wParam, dwData, data) stay valid
}

}  // namespace
