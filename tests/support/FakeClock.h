#pragma once
#include "platform/clock/Clock.h"

// A clock that stands still until a test moves it, or that follows the real
// clock at an offset (a test on the real timer across a shifted midnight).
class FakeClock : public platform::Clock {
public:
    explicit FakeClock(QDateTime now = QDateTime(QDate(2026, 12, 5), QTime(14, 0, 0)))
        : now_(now) {}
    QDateTime Now() const override {
        return followsSystem_ ? QDateTime::currentDateTime().addMSecs(offsetMs_) : now_;
    }
    void Set(const QDateTime& now) { now_ = now; }
    void SetTime(const QTime& time) { now_.setTime(time); }
    void Advance(double seconds) { now_ = now_.addMSecs(static_cast<qint64>(seconds * 1000)); }
    // From now on the real clock, shifted so that it reads `reads` now.
    void FollowSystemClock(const QDateTime& reads) {
        followsSystem_ = true;
        offsetMs_ = QDateTime::currentDateTime().msecsTo(reads);
    }

private:
    QDateTime now_;
    bool followsSystem_ = false;
    qint64 offsetMs_ = 0;
};
