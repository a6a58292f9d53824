#include "Clock.h"

#include <QLocale>
#include <QRegularExpression>

namespace platform {

float Clock::SecondsSinceMidnight() const {
    const QTime t = Now().time();
    return static_cast<float>(t.msecsSinceStartOfDay() / 1000.0);
}

QString Clock::DateText() const { return QLocale().toString(Now().date(), QLocale::ShortFormat); }

QString Clock::TimeText() const {
    return QLocale().toString(Now().time(), QLocale().timeFormat(QLocale::LongFormat)
                                                .remove(QRegularExpression(" ?t")));
}

}  // namespace platform
