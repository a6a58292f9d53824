#pragma once
#include <QDate>
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Reads back the "date time" stamp of a data-log record, written with the
// locale's formats (platform::Clock::DateFormat / TimeFormat). A day's file
// repeats one date text and each time text once per line, so the last texts
// are kept and a new time text is read with the format compiled once: the
// locale's own parser costs microseconds, a day has 86,400 distinct texts.
class StampReader {
public:
    struct Stamp {
        QDate date;
        int seconds = 0;  // since midnight
    };

    StampReader();
    StampReader(QString dateFormat, QString timeFormat);

    std::optional<Stamp> Read(std::string_view stamp);
    std::optional<int> ReadTime(std::string_view text);

private:
    struct Token {
        enum Kind { Hour24, Hour12, Minute, Second, AmPm, Zone, Literal } kind;
        std::string literal;
    };
    std::optional<QDate> ReadDate(std::string_view text) const;
    std::optional<int> ParseTime(std::string_view text) const;
    std::optional<int> ParseCompiled(std::string_view text) const;
    std::optional<int> ParseTimeSlowly(std::string_view text) const;
    void CompileTimeFormat();

    QString dateFormat_;
    QString timeFormat_;
    std::vector<Token> tokens_;
    bool compiled_ = false;
    std::string amText_, pmText_;
    std::string lastDateText_;
    QDate lastDate_;
    std::string lastTimeText_;
    int lastSeconds_ = -1;
};
