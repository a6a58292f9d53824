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

    // Seconds since local midnight, to the millisecond. Double, not the
    // original single float: late in the day that has steps of 7.8 ms, enough
    // to make a tick that comes a hair early look too early.
    double SecondsSinceMidnight() const;
    // The locale's default short date and time-of-day texts for Now().
    QString DateText() const { return DateText(Now()); }
    QString TimeText() const { return TimeText(Now()); }
    static QString DateText(const QDateTime& when);
    static QString TimeText(const QDateTime& when);
    // The formats of those texts, for reading them back.
    static QString DateFormat();
    static QString TimeFormat();
};

class SystemClock : public Clock {
public:
    QDateTime Now() const override { return QDateTime::currentDateTime(); }
};

}  // namespace platform
