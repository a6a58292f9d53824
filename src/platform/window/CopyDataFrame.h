#pragma once
// The bytes that carry one window message between processes, and the reply.
// Pure functions so the decoder can be tested and fuzzed on its own.
//
// Message frame, little-endian:
//   0  magic "VWM1"      4
//   4  frameSize         4   whole frame in bytes = 28 + cbData
//   8  msg               4   WM_COPYDATA or WM_CLOSE
//  12  wParam            8
//  20  dwData            4   0 for WM_CLOSE
//  24  cbData            4   at most 256; 0 for WM_CLOSE
//  28  data              cbData
// Reply frame: magic "VWR1", then the LRESULT as 8 bytes.
#include <QByteArray>
#include <QByteArrayView>

#include "platform/Win32.h"

namespace platform {

class CopyDataFrame {
public:
    // 255 bytes of text and its NUL: the hand-over buffer.
    static constexpr DWORD kMaxData = 256;
    static constexpr qsizetype kHeaderSize = 28;
    static constexpr qsizetype kMaxFrameSize = kHeaderSize + kMaxData;
    static constexpr qsizetype kReplySize = 12;

    enum class Status { Incomplete, Complete, Invalid };

    struct Message {
        UINT msg = 0;
        WPARAM wParam = 0;
        DWORD dwData = 0;
        QByteArray data;  // exactly cbData bytes
    };

    struct Decoded {
        Status status = Status::Incomplete;
        Message message;
    };

    struct DecodedReply {
        Status status = Status::Incomplete;
        LRESULT result = 0;
    };

    // Empty when the message cannot travel (unknown msg, too much data,
    // WM_CLOSE with data).
    static QByteArray Encode(const Message& message);
    // Looks only at the bytes given. Invalid as early as the bytes allow, so
    // a peer sending garbage is dropped without waiting for more.
    static Decoded Decode(QByteArrayView bytes);

    static QByteArray EncodeReply(LRESULT result);
    static DecodedReply DecodeReply(QByteArrayView bytes);
};

}  // namespace platform
