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

void PutU32(QByteArray& frame, qsizetype offset, quint32 value) {
    qToLittleEndian(value, frame.data() + offset);
}

}  // namespace

TEST(CopyDataFrame, RoundTripsEveryMessageItCarries) {
    const QByteArray test("test\0", 5);
    const QByteArray full(256, 'x');
    const CopyDataFrame::Message cases[] = {HandOver(1, QByteArray(1, '\0')),
                                            HandOver(3, test),
                                            HandOver(0, {}),
                                            HandOver(7, full),
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
}

TEST(CopyDataFrame, RefusesToEncodeWhatCannotTravel) {
    EXPECT_TRUE(CopyDataFrame::Encode(HandOver(3, QByteArray(257, 'x'))).isEmpty());
    EXPECT_TRUE(CopyDataFrame::Encode({WM_MOUSEMOVE, 0, 0, {}}).isEmpty());
    EXPECT_TRUE(CopyDataFrame::Encode({WM_CLOSE, 0, 1, {}}).isEmpty());
    EXPECT_TRUE(CopyDataFrame::Encode({WM_CLOSE, 0, 0, "x"}).isEmpty());
}

TEST(CopyDataFrame, EveryPrefixOfAGoodFrameIsIncomplete) {
    const QByteArray frame = CopyDataFrame::Encode(HandOver(3, QByteArray("test\0", 5)));
    for (qsizetype n = 0; n < frame.size(); ++n)
        EXPECT_EQ(CopyDataFrame::Decode(frame.first(n)).status, Status::Incomplete) << n;
}

TEST(CopyDataFrame, RejectsBadFramesAsSoonAsTheBytesShowIt) {
    const QByteArray good = CopyDataFrame::Encode(HandOver(3, QByteArray("test\0", 5)));
    const QByteArray header = good.first(CopyDataFrame::kHeaderSize);

    // Garbage is refused on its first byte, without waiting for a header.
    EXPECT_EQ(CopyDataFrame::Decode("G").status, Status::Invalid);
    EXPECT_EQ(CopyDataFrame::Decode("VWMX").status, Status::Invalid);

    QByteArray tooBig = header;
    PutU32(tooBig, 24, 1000);
    PutU32(tooBig, 4, 1028);
    EXPECT_EQ(CopyDataFrame::Decode(tooBig).status, Status::Invalid);

    QByteArray wrapping = header;  // 28 + cbData overflowing 32 bits
    PutU32(wrapping, 24, 0xFFFFFFF0u);
    PutU32(wrapping, 4, 12);
    EXPECT_EQ(CopyDataFrame::Decode(wrapping).status, Status::Invalid);

    QByteArray sizeDisagrees = good;
    PutU32(sizeDisagrees, 4, CopyDataFrame::kHeaderSize + 4);
    EXPECT_EQ(CopyDataFrame::Decode(sizeDisagrees).status, Status::Invalid);
    PutU32(sizeDisagrees, 4, CopyDataFrame::kHeaderSize + 6);
    EXPECT_EQ(CopyDataFrame::Decode(sizeDisagrees).status, Status::Invalid);

    QByteArray unknownMessage = good;
    PutU32(unknownMessage, 8, WM_MOUSEMOVE);
    EXPECT_EQ(CopyDataFrame::Decode(unknownMessage).status, Status::Invalid);

    QByteArray closeWithData = good;
    PutU32(closeWithData, 8, WM_CLOSE);
    EXPECT_EQ(CopyDataFrame::Decode(closeWithData).status, Status::Invalid);

    EXPECT_EQ(CopyDataFrame::Decode(good + "x").status, Status::Invalid);
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

// Mutated frames: the decoder must never crash, and whatever it accepts must
// be exactly the canonical encoding of what it returns (nothing is guessed).
TEST(CopyDataFrame, MutatedFramesDecodeOnlyToWhatTheyEncode) {
    std::mt19937 random(20240611);
    const QByteArray base = CopyDataFrame::Encode(HandOver(3, QByteArray("test\0", 5)));
    int complete = 0;
    for (int round = 0; round < 20000; ++round) {
        QByteArray bytes = base;
        const int edits = 1 + static_cast<int>(random() % 3);
        for (int e = 0; e < edits; ++e) {
            const auto at = static_cast<qsizetype>(random() % bytes.size());
            switch (random() % 3) {
                case 0:
                    bytes[at] = static_cast<char>(random());
                    break;
                case 1:
                    bytes.truncate(at);
                    break;
                default:
                    bytes.append(static_cast<char>(random()));
                    break;
            }
            if (bytes.isEmpty()) bytes = base;
        }
        const auto decoded = CopyDataFrame::Decode(bytes);
        if (decoded.status != Status::Complete) continue;
        ++complete;
        EXPECT_EQ(CopyDataFrame::Encode(decoded.message), bytes);
    }
    EXPECT_GT(complete, 0);  // some mutations (wParam, dwData, data) stay valid
}
