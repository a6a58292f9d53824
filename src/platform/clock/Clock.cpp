#include "Clock.h"

#include <QLocale>
#include <QRegularExpression>

namespace platform {

double Clock::SecondsSinceMidnight() const {
    return Now().time().msecsSinceStartOfDay() / 1000.0;
}

namespace {
// Without a configured locale ("C") the texts fall back to fixed numeric ones.
bool IsCLocale(const QLocale& locale) {
    return locale.language() == QLocale::C;
}
}  // namespace

QString Clock::DateText(const QDateTime& when) {
    const QLocale locale;
    if (IsCLocale(locale)) return when.date().toString("M/d/yyyy");
    return locale.toString(when.date(), QLocale::ShortFormat);
}

QString Clock::TimeText(const QDateTime& when) {
    const QLocale locale;
    if (IsCLocale(locale)) return when.time().toString("HH:mm:ss");
    // The long format carries seconds; the time zone is dropped.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression("\\s*t+\\s*$"));
    return locale.toString(when.time(), format.trimmed());
}

}  // namespace platform
