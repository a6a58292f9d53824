// Reading a day's records into figures: stamps in the locale's formats,
// records good and damaged, calls and hours, In.log, streaming and CSV.
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "datalog/DataLogRecord.h"
#include "platform/clock/Clock.h"
#include "usage/DayFigures.h"
#include "usage/DayReader.h"
#include "usage/OfferedCalls.h"
#include "usage/StampReader.h"
#include "usage/UsageCsv.h"

namespace {

const QDate kDay(2024, 3, 12);

// A success record as the scanner writes it, in the C locale's texts.
std::string Rec(int row, const char* name, bool online, const char* time, int timeOnline,
                const char* date = "3/12/2024") {
    auto text = [](int s) {
        char b[40];
        std::snprintf(b, sizeof b, " %d h  %02d m  %02d s", s / 3600, s / 60 % 60, s % 60);
        return std::string(b);
    };
    std::string field = std::string(name) + ",";
    field.resize(22, ' ');
    return datalogrecord::Success(row, field, online ? 1 : 0, date, time, text(timeOnline),
                                  text(timeOnline))
        .substr(2);
}

class CLocale : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }
};

// ---- stamps -----------------------------------------------------------------

TEST(StampReaderTest, ReadsBackWhatTheClockWroteInEachLocale) {
    const QTime times[] = {{0, 0, 0},   {9, 5, 7},    {12, 0, 0},
                           {12, 30, 1}, {13, 59, 59}, {23, 59, 59}};
    for (const char* name : {"C", "en_US", "en_GB", "de_DE", "fr_FR", "ko_KR", "ja_JP", "hu_HU",
                             "ar_EG", "fa_IR", "bg_BG"}) {
        QLocale::setDefault(QLocale(name));
        StampReader reader;
        for (const QDate& date : {kDay, QDate(2031, 12, 1)}) {
            for (const QTime& time : times) {
                const QDateTime when(date, time);
                const std::string stamp =
                    (platform::Clock::DateText(when) + " " + platform::Clock::TimeText(when))
                        .toStdString();
                const auto read = reader.Read(stamp);
                ASSERT_TRUE(read) << name << " " << stamp;
                EXPECT_EQ(read->date, date) << name << " " << stamp;
                EXPECT_EQ(read->seconds, time.msecsSinceStartOfDay() / 1000)
                    << name << " " << stamp;
            }
        }
    }
    QLocale::setDefault(QLocale::system());
}

TEST_F(CLocale, StampsThatAreNotTimesAreRefused) {
    StampReader reader;
    for (const char* stamp : {"3/12/2024 24:00:00", "3/12/2024 12:60:00", "3/12/2024", "garbage",
                              "3/12/2024 12:00:00x", "13/40/2024 12:00:00", ""})
        EXPECT_FALSE(reader.Read(stamp)) << stamp;
}

// ---- records ----------------------------------------------------------------

TEST_F(CLocale, RecordsAreReadAndDamagedOnesRefused) {
    struct Case {
        std::string text;
        bool ok = false;
        int row = 0;
        bool monitored = false, online = false;
        int seconds = 0, timeOnline = 0;
    };
    const Case cases[] = {
        {Rec(2, "Sales desk", true, "14:05:09", 3723), true, 2, true, true, 50709, 3723},
        {Rec(12, "Line 1", false, "00:00:00", 0), true, 12, true, false, 0, 0},
        {Rec(1, "Tab\there", true, "23:59:59", 5), true, 1, true, true, 86399, 5},
        {" 3\tLine 3,              Line cannot be monitored", true, 3, false, false, 0, 0},
        {Rec(2, "Sales desk", true, "14:05:09", 3723).substr(0, 40), false},  // torn
        {"\x01\x02garbage\tgarbage", false},
        {Rec(0, "Zero", true, "10:00:00", 1), false},
        {" 2\tName,\t  2\t3/12/2024 10:00:00\t 0 h  00 m  01 s\t 0 h  00 m  01 s", false},
        {" 2\tName,\t  1\t3/12/2024 10:00:00\t 0 h  61 m  01 s\t 0 h  00 m  01 s", false},
        {" 2\tName,\t  1\t3/12/2024 10:00:00\t 0 h  00 m  01 s\t", false},
        {" 2\tName,\t  0\t3/12/2024 10:00:00\t 0 h  00 m  00 s\t 0 h  00", false},
    };
    RecordParser parser;
    for (const Case& c : cases) {
        const auto r = parser.Parse(c.text);
        ASSERT_EQ(r.has_value(), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(r->row, c.row);
        EXPECT_EQ(r->monitored, c.monitored);
        EXPECT_EQ(r->online, c.online);
        if (!c.monitored) continue;
        EXPECT_EQ(r->stamp.seconds, c.seconds);
        EXPECT_EQ(r->timeOnline, c.timeOnline);
    }
}

// ---- figures ----------------------------------------------------------------

DayUsage Figures(const std::vector<std::string>& records) {
    DayFigures figures(kDay);
    for (const std::string& r : records) figures.Add(r);
    return figures.Finish();
}

TEST_F(CLocale, CallsAreRunsOfOnlineRecordsCreditedAsRecorded) {
    const DayUsage u = Figures({
        // Line 1 (row 1): a call 09:59:50-10:00:10 at 10 s scans across an hour,
        // then one of 10 s; line 2: a call carried over from before midnight.
        Rec(2, "B, \"the\" desk", true, "00:00:05", 600),
        Rec(1, "A", false, "09:59:40", 0),
        Rec(1, "A", true, "09:59:50", 10),
        Rec(1, "A", true, "10:00:00", 20),
        Rec(1, "A", true, "10:00:10", 30),
        Rec(2, "B, \"the\" desk", true, "00:00:15", 610),
        Rec(2, "B, \"the\" desk", false, "00:00:25", 0),
        Rec(1, "A", false, "10:00:20", 0),
        " 1\tA,                    Line cannot be monitored",
        Rec(1, "A", true, "10:30:00", 10),
        // The program restarted during a call: its time online starts over.
        Rec(1, "A", true, "10:40:00", 10),
        Rec(1, "A", true, "10:40:10", 20),
        Rec(1, "A", true, "3:00:00", 10, "3/13/2024"),  // the next day's: not this one's
        "garbage",
        Rec(1, "A", true, "22:00:00", 5).substr(0, 20),
    });
    ASSERT_EQ(u.lines.size(), 2u);
    EXPECT_EQ(u.damaged, 2);
    const DayUsage::Line& a = u.lines[0];
    EXPECT_EQ(a.row, 1);
    EXPECT_EQ(a.name, "A");
    EXPECT_EQ(a.hourSeconds[9], 10);
    EXPECT_EQ(a.hourSeconds[10], 20 + 10 + 20);
    EXPECT_EQ(a.totalSeconds, 60);
    EXPECT_EQ(a.calls, 3);
    EXPECT_EQ(a.longestSeconds, 30);
    EXPECT_EQ(a.busiestHour, 10);
    EXPECT_EQ(a.unmonitoredScans, 1);
    const DayUsage::Line& b = u.lines[1];
    EXPECT_EQ(b.name, "B, \"the\" desk");
    EXPECT_EQ(b.hourSeconds[0], 6 + 10);  // only what fell after midnight
    EXPECT_EQ(b.busiestHour, 0);
    ASSERT_EQ(u.calls.size(), 4u);
    EXPECT_EQ(u.calls[0].line, 1u);
    EXPECT_EQ(u.calls[0].start, QDateTime(kDay, QTime(0, 0, 5)));
    EXPECT_EQ(u.calls[0].end, QDateTime(kDay, QTime(0, 0, 15)));
    EXPECT_EQ(u.calls[1].start, QDateTime(kDay, QTime(9, 59, 50)));
    EXPECT_EQ(u.calls[1].seconds, 30);
    EXPECT_EQ(u.calls[3].seconds, 20);
}

TEST_F(CLocale, ANewNameInARowIsAnotherLine) {
    const DayUsage u =
        Figures({Rec(1, "Old", true, "08:00:00", 1), Rec(1, "New", true, "09:00:00", 1),
                 Rec(1, "Old", true, "10:00:00", 1)});
    ASSERT_EQ(u.lines.size(), 2u);
    EXPECT_EQ(u.lines[0].name, "Old");
    EXPECT_EQ(u.lines[0].totalSeconds, 2);
    EXPECT_EQ(u.lines[1].name, "New");
}

// ---- In.log -----------------------------------------------------------------

TEST_F(CLocale, OffersGoToTheCallStartingWithThem) {
    DayUsage u = Figures({Rec(1, "A", true, "10:00:00", 1), Rec(2, "B", true, "10:00:01", 1),
                          Rec(1, "A", false, "10:00:02", 0), Rec(2, "B", true, "10:00:02", 2),
                          Rec(1, "A", true, "11:00:00", 1)});
    const auto line = [](const char* name, const char* number, const char* when) {
        std::string l = std::string(" ") + name;
        l.resize(43, ' ');
        l += number;
        l.resize(98, ' ');
        return QByteArray::fromStdString(l + when + "\r\n");
    };
    std::vector<OfferedCalls::Offer> offers;
    for (const QByteArray& l : {line("Ada, Countess", "5551234", "03-12-2024  10:00:01"),
                                line("Unknown Caller", "5550000", "03-12-2024  10:00:01"),
                                line("Late", "1", "03-12-2024  15:00:00")}) {
        const auto offer = OfferedCalls::ParseLine(l);
        ASSERT_TRUE(offer) << l.constData();
        offers.push_back(*offer);
    }
    EXPECT_FALSE(OfferedCalls::ParseLine("Warning: This file is not to be edited!!!\r\n"));
    OfferedCalls::Match(offers, u);
    EXPECT_EQ(u.calls[1].callerName, "Ada, Countess");  // line 2's call started 10:00:01
    EXPECT_EQ(u.calls[1].callerNumber, "5551234");
    EXPECT_EQ(u.calls[0].callerNumber, "5550000");
    EXPECT_FALSE(u.calls[2].offered);
    EXPECT_EQ(u.lines[0].offeredCalls, 1);
    EXPECT_EQ(u.lines[1].offeredCalls, 1);
    EXPECT_EQ(u.unmatchedOffers, 1);

    const std::string expected =
        "line,name,start,end,duration_seconds,caller_number,caller_name\r\n"
        "1,A,2024-03-12T10:00:00,2024-03-12T10:00:00,1,5550000,Unknown Caller\r\n"
        "2,B,2024-03-12T10:00:01,2024-03-12T10:00:02,2,5551234,\"Ada, Countess\"\r\n"
        "1,A,2024-03-12T11:00:00,2024-03-12T11:00:00,1,,\r\n";
    EXPECT_EQ(usagecsv::Calls(u), expected);
}

TEST_F(CLocale, HourlyCsvHasEveryHourOfEveryLine) {
    const DayUsage u = Figures({Rec(3, "Desk \"7\", east", true, "13:00:09", 9)});
    std::string expected = "line,name,hour,seconds_online\r\n";
    for (int h = 0; h < 24; ++h) {
        char row[96];
        std::snprintf(row, sizeof row, "3,\"Desk \"\"7\"\", east\",2024-03-12T%02d:00,%d\r\n", h,
                      h == 13 ? 9 : 0);
        expected += row;
    }
    EXPECT_EQ(usagecsv::Hourly(u), expected);
    EXPECT_EQ(usagecsv::Hourly(Figures({})), "line,name,hour,seconds_online\r\n");
}

// ---- streaming --------------------------------------------------------------

TEST_F(CLocale, AFileIsReadInPiecesWithProgressUnsavedTextAndCancel) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/Data.log";
    // Two days, records over many pieces, each save ended by CR LF.
    std::string text, first;
    int expected = 0;
    for (int s = 0; s < 40000; ++s) {
        const QTime t = QTime(0, 0).addSecs(s - 100);  // from 23:58:20 the day before
        const std::string time = t.toString("HH:mm:ss").toStdString();
        for (int row = 1; row <= 8; ++row)
            text += "\r\n" + Rec(row, "Line", true, time.c_str(), s + 1,
                                 s < 100 ? "3/11/2024" : "3/12/2024");
        if (s >= 100) expected += 8;
        if (s % 997 == 0) text += "\r\n";
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.data(), qint64(text.size()));
    f.close();
    ASSERT_GT(text.size(), 3u * DayReader::kPieceBytes);

    DayReader::Source source{kDay, path, -1, "\r\n" + Rec(9, "Unsaved", true, "23:00:00", 7), {}};
    DayUsage u;
    std::vector<qint64> progress;
    const auto result =
        DayReader().Read(source, u, [&](qint64 done, qint64) { progress.push_back(done); });
    EXPECT_EQ(result, DayReader::Result::Done);
    EXPECT_TRUE(u.found);
    EXPECT_EQ(u.damaged, 0);
    EXPECT_EQ(u.records, expected + 1);
    ASSERT_EQ(u.lines.size(), 9u);
    // The day began inside a call: only what came after midnight counts.
    EXPECT_EQ(u.lines[0].totalSeconds, 40000 - 100);
    EXPECT_EQ(u.lines[8].totalSeconds, 7);
    EXPECT_GE(progress.size(), 4u);
    EXPECT_EQ(progress.back(), qint64(text.size()));

    // A limit, as when a save is being written: the part after it is not read.
    source.byteLimit = qint64(text.size() / 2);
    source.unsavedText.clear();
    DayReader().Read(source, u);
    EXPECT_LT(u.lines[0].totalSeconds, 40000 - 100);
    EXPECT_LE(u.damaged, 1);  // at most the record the limit cut

    std::atomic<bool> cancel{true};
    EXPECT_EQ(DayReader().Read(source, u, {}, &cancel), DayReader::Result::Cancelled);

    DayReader::Source none{kDay, dir.path() + "/D031224.log", -1, {}, {}};
    DayReader().Read(none, u);
    EXPECT_FALSE(u.found);
    EXPECT_TRUE(u.lines.empty());
}

}  // namespace
