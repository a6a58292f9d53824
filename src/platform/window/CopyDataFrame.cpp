#include "CopyDataFrame.h"

#include <QtEndian>

#include "platform/window/WindowSystem.h"

namespace platform {
namespace {

constexpr QByteArrayView kMessageMagic("VWM1");
constexpr QByteArrayView kReplyMagic("VWR1");
constexpr qsizetype kMagicSize = 4;

bool StartsLike(QByteArrayView bytes, QByteArrayView magic) {
    const qsizetype n = std::min(bytes.size(), magic.size());
    return bytes.first(n) == magic.first(n);
}

template <typename T>
T ReadLE(QByteArrayView bytes, qsizetype offset) {
    return qFromLittleEndian<T>(bytes.data() + offset);
}

template <typename T>
void AppendLE(QByteArray& out, T value) {
    char buf[sizeof(T)];
    qToLittleEndian(value, buf);
    out.append(buf, sizeof(T));
}

bool Carries(UINT msg, DWORD dwData, qsizetype size) {
    if (msg == WM_COPYDATA) return size <= CopyDataFrame::kMaxData;
    if (msg == WM_CLOSE) return dwData == 0 && size == 0;
    return false;
}

}  // namespace

QByteArray CopyDataFrame::Encode(const Message& message) {
    const qsizetype size = message.data.size();
    if (!Carries(message.msg, message.dwData, size)) return {};
    QByteArray out;
    out.reserve(kHeaderSize + size);
    out.append(kMessageMagic.data(), kMagicSize);
    AppendLE<quint32>(out, static_cast<quint32>(kHeaderSize + size));
    AppendLE<quint32>(out, message.msg);
    AppendLE<quint64>(out, message.wParam);
    AppendLE<quint32>(out, message.dwData);
    AppendLE<quint32>(out, static_cast<quint32>(size));
    out.append(message.data);
    return out;
}

CopyDataFrame::Decoded CopyDataFrame::Decode(QByteArrayView bytes) {
    Decoded result;
    if (!StartsLike(bytes, kMessageMagic)) return {Status::Invalid, {}};
    if (bytes.size() < kHeaderSize) return result;

    const quint32 frameSize = ReadLE<quint32>(bytes, 4);
    const UINT msg = ReadLE<quint32>(bytes, 8);
    const WPARAM wParam = static_cast<WPARAM>(ReadLE<quint64>(bytes, 12));
    const DWORD dwData = ReadLE<quint32>(bytes, 20);
    const DWORD cbData = ReadLE<quint32>(bytes, 24);
    // Compare in 64 bits: a hostile cbData near 2^32 must not wrap.
    if (cbData > kMaxData || !Carries(msg, dwData, cbData) ||
        static_cast<quint64>(frameSize) != static_cast<quint64>(kHeaderSize) + cbData) {
        return {Status::Invalid, {}};
    }
    if (bytes.size() < static_cast<qsizetype>(frameSize)) return result;
    // One message per connection: anything after it is not ours to guess at.
    if (bytes.size() > static_cast<qsizetype>(frameSize)) return {Status::Invalid, {}};

    result.status = Status::Complete;
    result.message = {msg, wParam, dwData, bytes.sliced(kHeaderSize, cbData).toByteArray()};
    return result;
}

QByteArray CopyDataFrame::EncodeReply(LRESULT result) {
    QByteArray out(kReplyMagic.data(), kMagicSize);
    AppendLE<qint64>(out, static_cast<qint64>(result));
    return out;
}

CopyDataFrame::DecodedReply CopyDataFrame::DecodeReply(QByteArrayView bytes) {
    if (!StartsLike(bytes, kReplyMagic) || bytes.size() > kReplySize) {
        return {Status::Invalid, 0};
    }
    if (bytes.size() < kReplySize) return {Status::Incomplete, 0};
    return {Status::Complete, static_cast<LRESULT>(ReadLE<qint64>(bytes, kMagicSize))};
}

}  // namespace platform
