#include "OfferedCalls.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdlib>
#include <optional>

namespace {
constexpr int kStampLength = 20;  // "MM-dd-yyyy  HH:mm:ss"
constexpr int kNameColumns = 42;
}  // namespace

std::optional<OfferedCalls::Offer> OfferedCalls::ParseLine(const QByteArray& bytes) {
    QString line = QString::fromUtf8(bytes);
    while (line.endsWith('\r') || line.endsWith('\n')) line.chop(1);
    if (line.size() < 1 + kStampLength || !line.startsWith(' ')) return std::nullopt;
    const QDateTime when = QDateTime::fromString(line.right(kStampLength), "MM-dd-yyyy  HH:mm:ss");
    if (!when.isValid()) return std::nullopt;
    const QString ids = line.mid(1, line.size() - 1 - kStampLength);
    return Offer{when, ids.mid(kNameColumns).trimmed(), ids.left(kNameColumns).trimmed()};
}

std::vector<OfferedCalls::Offer> OfferedCalls::Read(const QString& path, const QDate& day) {
    std::vector<Offer> offers;
    QFile file(path);
    // Anything but a regular file is not read (a FIFO would block).
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return offers;
    while (!file.atEnd()) {
        const std::optional<Offer> offer = ParseLine(file.readLine(4096));
        if (offer && offer->when.date() == day) offers.push_back(*offer);
    }
    return offers;
}

void OfferedCalls::Match(const std::vector<Offer>& offers, DayUsage& usage, int toleranceSeconds) {
    for (const Offer& offer : offers) {
        DayUsage::Call* best = nullptr;
        qint64 bestDistance = toleranceSeconds + 1;
        // The calls are in order of their start: only a few are near.
        const QDateTime from = offer.when.addSecs(-toleranceSeconds);
        auto call = std::lower_bound(
            usage.calls.begin(), usage.calls.end(), from,
            [](const DayUsage::Call& c, const QDateTime& t) { return c.start < t; });
        for (; call != usage.calls.end() && call->start.secsTo(offer.when) >= -toleranceSeconds;
             ++call) {
            if (call->offered) continue;
            const qint64 distance = std::llabs(call->start.secsTo(offer.when));
            if (distance < bestDistance) best = &*call, bestDistance = distance;
        }
        if (!best) {
            ++usage.unmatchedOffers;
            continue;
        }
        best->offered = true;
        best->callerNumber = offer.number;
        best->callerName = offer.name;
        ++usage.lines[best->line].offeredCalls;
    }
}
