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

QString Clock::DateFormat() {
    const QLocale locale;
    if (IsCLocale(locale)) return "M/d/yyyy";
    return locale.dateFormat(QLocale::ShortFormat);
}

QString Clock::TimeFormat() {
    const QLocale locale;
    if (IsCLocale(locale)) return "HH:mm:ss";
    // The long format carries seconds; the time zone is dropped.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression("\\s*t+\\s*$"));
    return format.trimmed();
}

QString Clock::DateText(const QDateTime& when) {
    const QLocale locale;
    if (IsCLocale(locale)) return when.date().toString(DateFormat());
    return locale.toString(when.date(), DateFormat());
}

QString Clock::TimeText(const QDateTime& when) {
    const QLocale locale;
    if (IsCLocale(locale)) return when.time().toString(TimeFormat());
    return locale.toString(when.time(), TimeFormat());
}

}  // namespace platform
