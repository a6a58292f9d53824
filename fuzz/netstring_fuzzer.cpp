// The evapi stream as arbitrary bytes: however the network cuts it into
// reads, the same messages come out, none longer than the limit, and a
// broken stream gives nothing more until it is reset.
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/tapi/kamailio/NetstringReader.h"

using platform::kamailio::NetstringReader;

namespace {

struct Read {
    std::vector<QByteArray> messages;
    bool broken = false;
};

// Fed in pieces of step, 1, 2, ... step bytes in turn (a step of the
// stream's size feeds it at once).
Read ReadAll(const QByteArray& stream, qsizetype limit, qsizetype step) {
    NetstringReader reader(limit);
    Read read;
    qsizetype piece = step;
    for (qsizetype at = 0; at < stream.size(); at += piece, piece = piece % step + 1) {
        reader.Feed(stream.mid(at, piece));
        while (const auto message = reader.Next()) read.messages.push_back(*message);
        if (reader.Broken() && reader.Next()) std::abort();
    }
    read.broken = reader.Broken();
    reader.Reset();
    reader.Feed("0:,");  // a reset reader reads again, whatever the limit
    if (reader.Next() != QByteArray("")) std::abort();
    return read;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    // Small limits too, so that messages over the limit are met often.
    const qsizetype limit = data[0] & 0x3F;
    const qsizetype step = 1 + (data[0] >> 6);  // 1 to 4
    const QByteArray stream(reinterpret_cast<const char*>(data + 1),
                            static_cast<qsizetype>(size - 1));

    const Read whole = ReadAll(stream, limit, stream.size());
    const Read pieces = ReadAll(stream, limit, step);
    if (whole.messages != pieces.messages || whole.broken != pieces.broken) std::abort();
    qsizetype framed = 0;
    for (const QByteArray& message : whole.messages) {
        if (message.size() > limit) std::abort();
        framed += message.size() + 3;  // at least "N:" and ","
    }
    if (framed > stream.size()) std::abort();
    return 0;
}
