#pragma once
#include "platform/clock/Clock.h"

// A clock that stands still until a test moves it.
class FakeClock : public platform::Clock {
public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(14, 0, 0)))
        : now_(now) {}
    QDateTime Now() const override { return now_; }
    void Set(const QDateTime& now) { now_ = now; }
    void SetTime(const QTime& time) { now_.setTime(time); }
    void Advance(double seconds) { now_ = now_.addMSecs(static_cast<qint64>(seconds * 1000)); }

private:
    QDateTime now_;
};
