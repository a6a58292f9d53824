#include "NetstringReader.h"

namespace platform::kamailio {

void NetstringReader::Feed(const QByteArray& bytes) {
    if (!broken_) buffer_.append(bytes);
}

std::optional<QByteArray> NetstringReader::Next() {
    if (broken_) return std::nullopt;
    qsizetype length = 0;
    qsizetype i = 0;
    for (; i < buffer_.size() && buffer_[i] != ':'; ++i) {
        const char c = buffer_[i];
        length = length * 10 + (c - '0');
        // The length's digits alone tell whether the message is acceptable.
        if (c < '0' || c > '9' || length > maxMessage_) {
            broken_ = true;
            buffer_.clear();
            return std::nullopt;
        }
    }
    if (i == buffer_.size()) return std::nullopt;
    if (i == 0) {
        broken_ = true;
        buffer_.clear();
        return std::nullopt;
    }
    const qsizetype end = i + 1 + length;
    if (buffer_.size() <= end) return std::nullopt;
    if (buffer_[end] != ',') {
        broken_ = true;
        buffer_.clear();
        return std::nullopt;
    }
    QByteArray message = buffer_.mid(i + 1, length);
    buffer_.remove(0, end + 1);
    return message;
}

void NetstringReader::Reset() {
    buffer_.clear();
    broken_ = false;
}

}  // namespace platform::kamailio
