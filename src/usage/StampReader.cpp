#include "StampReader.h"

#include <QLocale>

#include "platform/clock/Clock.h"

namespace {
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// One or two digits at pos.
std::optional<int> TwoDigits(std::string_view text, std::size_t& pos) {
    if (pos >= text.size() || !IsDigit(text[pos])) return std::nullopt;
    int value = text[pos++] - '0';
    if (pos < text.size() && IsDigit(text[pos])) value = value * 10 + (text[pos++] - '0');
    return value;
}

bool StartsWithNoCase(std::string_view text, std::size_t pos, const std::string& word) {
    if (word.empty() || text.size() - pos < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[pos + i]);
        const auto b = static_cast<unsigned char>(word[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

QString FromText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

StampReader::StampReader()
    : StampReader(platform::Clock::DateFormat(), platform::Clock::TimeFormat()) {}

StampReader::StampReader(QString dateFormat, QString timeFormat)
    : dateFormat_(std::move(dateFormat)), timeFormat_(std::move(timeFormat)) {
    const QLocale locale;
    amText_ = locale.amText().toStdString();
    pmText_ = locale.pmText().toStdString();
    CompileTimeFormat();
}

void StampReader::CompileTimeFormat() {
    // Digits, the AM/PM text and literal text; anything else (fractions,
    // zones) is left to the locale's parser.
    const QString f = timeFormat_;
    compiled_ = true;
    for (qsizetype i = 0; i < f.size();) {
        const QChar c = f[i];
        qsizetype run = 1;
        while (i + run < f.size() && f[i + run] == c) ++run;
        if (c == 'H' || c == 'h' || c == 'm' || c == 's') {
            if (run > 2) compiled_ = false;
            tokens_.push_back({c == 'H'   ? Token::Hour24
                               : c == 'h' ? Token::Hour12
                               : c == 'm' ? Token::Minute
                                          : Token::Second,
                               {}});
        } else if (c == 'A' || c == 'a') {
            const bool ap = i + 1 < f.size() && (f[i + 1] == 'P' || f[i + 1] == 'p');
            run = ap ? 2 : 1;
            tokens_.push_back({Token::AmPm, {}});
        } else if (c == '\'') {
            const qsizetype close = f.indexOf('\'', i + 1);
            if (close < 0) compiled_ = false;
            const qsizetype end = close < 0 ? f.size() : close;
            tokens_.push_back({Token::Literal, f.mid(i + 1, end - i - 1).toStdString()});
            run = end + 1 - i;
        } else if (c == 't') {
            // Some locales keep a zone name inside the format ("(t)").
            tokens_.push_back({Token::Zone, {}});
        } else if (c.isLetter()) {
            compiled_ = false;
        } else {
            tokens_.push_back({Token::Literal, QString(f.mid(i, run)).toStdString()});
        }
        i += run;
    }
    // An hour of 12 without its AM/PM text cannot be read back.
    bool twelve = false, ampm = false;
    for (const Token& t : tokens_) twelve |= t.kind == Token::Hour12, ampm |= t.kind == Token::AmPm;
    if (twelve && !ampm) compiled_ = false;
}

std::optional<int> StampReader::ParseTime(std::string_view text) const {
    if (!compiled_) return ParseTimeSlowly(text);
    if (const std::optional<int> seconds = ParseCompiled(text)) return seconds;
    return ParseTimeSlowly(text);
}

std::optional<int> StampReader::ParseCompiled(std::string_view text) const {
    int hour = -1, minute = 0, second = 0, pm = -1;
    std::size_t pos = 0;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
        const Token& t = tokens_[i];
        if (t.kind == Token::Zone) {
            // Up to the literal text that follows, or the end.
            const bool more = i + 1 < tokens_.size() && tokens_[i + 1].kind == Token::Literal;
            const std::size_t end = more ? text.find(tokens_[i + 1].literal, pos) : text.size();
            if (end == std::string_view::npos) return std::nullopt;
            pos = end;
        } else if (t.kind == Token::Literal) {
            if (text.substr(pos, t.literal.size()) != t.literal) return std::nullopt;
            pos += t.literal.size();
        } else if (t.kind == Token::AmPm) {
            if (StartsWithNoCase(text, pos, amText_)) {
                pm = 0, pos += amText_.size();
            } else if (StartsWithNoCase(text, pos, pmText_)) {
                pm = 1, pos += pmText_.size();
            } else {
                return std::nullopt;
            }
        } else {
            const std::optional<int> v = TwoDigits(text, pos);
            if (!v) return std::nullopt;
            (t.kind == Token::Minute ? minute : t.kind == Token::Second ? second : hour) = *v;
        }
    }
    if (pos != text.size()) return std::nullopt;
    if (pm >= 0) {
        if (hour < 1 || hour > 12) return std::nullopt;
        hour = hour % 12 + (pm == 1 ? 12 : 0);
    }
    if (hour < 0 || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

std::optional<int> StampReader::ParseTimeSlowly(std::string_view text) const {
    // Digits of another script ("۱۲") read as ASCII ones through the format.
    QString ascii = FromText(text);
    bool changed = false;
    for (QChar& c : ascii) {
        if (c.unicode() > 127 && c.isDigit() && c.digitValue() >= 0)
            c = QChar('0' + c.digitValue()), changed = true;
    }
    if (changed && compiled_) {
        if (const auto seconds = ParseCompiled(ascii.toStdString())) return seconds;
    }
    const QTime time = QLocale().toTime(FromText(text), timeFormat_);
    if (!time.isValid()) return std::nullopt;
    return time.msecsSinceStartOfDay() / 1000;
}

std::optional<int> StampReader::ReadTime(std::string_view text) {
    if (text == lastTimeText_ && lastSeconds_ >= 0) return lastSeconds_;
    const std::optional<int> seconds = ParseTime(text);
    if (!seconds) return std::nullopt;
    lastTimeText_.assign(text);
    lastSeconds_ = *seconds;
    return seconds;
}

std::optional<QDate> StampReader::ReadDate(std::string_view text) const {
    QDate date = QLocale().toDate(FromText(text), dateFormat_);
    if (!date.isValid()) return std::nullopt;
    // Two-digit years read as 19yy; these logs are all of this century.
    if (!dateFormat_.contains("yyyy") && date.year() < 2000) date = date.addYears(100);
    return date;
}

std::optional<StampReader::Stamp> StampReader::Read(std::string_view stamp) {
    const std::size_t known = lastDateText_.size();
    if (known > 0 && stamp.size() > known && stamp[known] == ' ' &&
        stamp.compare(0, known, lastDateText_) == 0) {
        const std::optional<int> seconds = ReadTime(stamp.substr(known + 1));
        if (!seconds) return std::nullopt;
        return Stamp{lastDate_, *seconds};
    }
    // A date text may hold blanks itself ("2024. 3. 12."): every blank is
    // tried as the one between date and time.
    for (std::size_t blank = stamp.find(' '); blank != std::string_view::npos;
         blank = stamp.find(' ', blank + 1)) {
        const std::optional<QDate> date = ReadDate(stamp.substr(0, blank));
        if (!date) continue;
        const std::optional<int> seconds = ReadTime(stamp.substr(blank + 1));
        if (!seconds) continue;
        lastDateText_.assign(stamp.substr(0, blank));
        lastDate_ = *date;
        return Stamp{*date, *seconds};
    }
    return std::nullopt;
}
