#pragma once
#include <QDateTime>
#include <QString>

namespace platform {

// Time as the program reads it. Injected so that midnight, intervals and the
// texts can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime Now() const = 0;

    // Seconds since local midnight, with fraction (the original "Timer").
    float SecondsSinceMidnight() const;
    // The locale's default short date and time-of-day texts for Now().
    QString DateText() const { return DateText(Now()); }
    QString TimeText() const { return TimeText(Now()); }
    static QString DateText(const QDateTime& when);
    static QString TimeText(const QDateTime& when);
};

class SystemClock : public Clock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

}  // namespace platform
