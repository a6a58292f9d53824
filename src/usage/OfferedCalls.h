#pragma once
#include <QDateTime>
#include <QString>
#include <vector>

#include "usage/DayUsage.h"

// The calls In.log recorded as offered, with their caller ids. In.log names
// no line: an offered call is given to the call of a line that the same scan
// saw start (the offering is logged as the scan finds the call).
class OfferedCalls {
public:
    struct Offer {
        QDateTime when;
        QString number;
        QString name;
    };

    // The day's offers in In.log ("MM-dd-yyyy  HH:mm:ss" at the end of each
    // line); a missing file has none.
    static std::vector<Offer> Read(const QString& path, const QDate& day);
    static std::optional<Offer> ParseLine(const QByteArray& line);
    // Each offer goes to the unoffered call starting closest to it, within
    // toleranceSeconds; the rest are counted as unmatched.
    static void Match(const std::vector<Offer>& offers, DayUsage& usage, int toleranceSeconds = 3);
};
