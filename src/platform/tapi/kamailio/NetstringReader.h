#pragma once
// Splits the evapi stream into its messages ("LENGTH:DATA," netstrings).
#include <QByteArray>
#include <optional>

namespace platform::kamailio {

class NetstringReader {
public:
    explicit NetstringReader(qsizetype maxMessage) : maxMessage_(maxMessage) {}

    void Feed(const QByteArray& bytes);
    // The next whole message, if one has arrived.
    std::optional<QByteArray> Next();
    // The stream is not netstrings (or a message is too long): it cannot be
    // resynchronised, only reconnected. Stays set until Reset.
    bool Broken() const { return broken_; }
    void Reset();

private:
    qsizetype maxMessage_;
    QByteArray buffer_;
    bool broken_ = false;
};

}  // namespace platform::kamailio
