// The headless report's arguments, its sources and what it says.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>

#include "platform/Paths.h"
#include "usage/ReportCommand.h"

namespace {

const QDate kToday(2024, 3, 12);

TEST(ReportCommandTest, ArgumentsAreADayCallsAndAnOutput) {
    struct Case {
        QStringList args;
        bool ok = false;
        QDate day = {};
        bool calls = false;
        QString output = {};
    };
    const Case cases[] = {
        {{}, true, kToday, false, ""},
        {{"2024-02-29", "--calls"}, true, QDate(2024, 2, 29), true, ""},
        {{"--output", "r.csv", "2023-12-31"}, true, QDate(2023, 12, 31), false, "r.csv"},
        {{"2023-02-29"}, false},
        {{"2024-3-1"}, false},
        {{"2024-03-01", "2024-03-02"}, false},
        {{"--output"}, false},
        {{"--bogus"}, false},
    };
    for (const Case& c : cases) {
        QString error;
        const auto o = ReportCommand::Parse(c.args, kToday, error);
        ASSERT_EQ(o.has_value(), c.ok) << c.args.join(' ').toStdString();
        if (!o) {
            EXPECT_FALSE(error.isEmpty());
            continue;
        }
        EXPECT_EQ(o->day, c.day);
        EXPECT_EQ(o->calls, c.calls);
        EXPECT_EQ(o->output, c.output);
    }
}

class ReportRun : public ::testing::Test {
protected:
    QTemporaryDir root;
    platform::Paths paths = platform::Paths::UnderRoot(root.path());
    void SetUp() override { QLocale::setDefault(QLocale::c()); }
    void TearDown() override { QLocale::setDefault(QLocale::system()); }

    // Runs the report; returns the exit status, with out and err captured.
    int Run(const QStringList& args, std::string& out, std::string& err) {
        std::FILE* o = std::tmpfile();
        std::FILE* e = std::tmpfile();
        const int status = ReportCommand::Run(args, paths, kToday, o, e);
        out = Slurp(o), err = Slurp(e);
        return status;
    }
    static std::string Slurp(std::FILE* f) {
        std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
        std::rewind(f);
        text.resize(std::fread(text.data(), 1, text.size(), f));
        std::fclose(f);
        return text;
    }
};

TEST_F(ReportRun, ADayWithoutALogIsAnEmptyReportThatSaysSo) {
    std::string out, err;
    EXPECT_EQ(Run({"--calls"}, out, err), 0);
    EXPECT_EQ(out, "line,name,start,end,duration_seconds,caller_number,caller_name\r\n");
    EXPECT_NE(err.find("no data log for 2024-03-12"), std::string::npos) << err;
    EXPECT_FALSE(QDir(paths.dataDir + "/DataLogs").exists());  // nothing made

    EXPECT_EQ(Run({"yesterday"}, out, err), 2);
    EXPECT_TRUE(out.empty());
}

TEST_F(ReportRun, DailyModeReadsTheDaysFileAndWritesTheOutputFile) {
    QDir().mkpath(paths.dataDir + "/datalogs");  // found in any case
    QFile ini(paths.settingsDir + "/vastrel.ini");
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write(
        "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
        "[Preferences]\r\nAppend Data=0\r\n");
    ini.close();
    QFile day(paths.dataDir + "/datalogs/D031224.log");
    ASSERT_TRUE(day.open(QIODevice::WriteOnly));
    day.write(
        "\r\n 1\tLine 1,               \t  1\t3/12/2024 10:00:00\t 0 h  00 m  01 s\t 0 h  00 m  "
        "01 s\r\n junk\r\n");
    day.close();
    std::string out, err;
    const QString output = root.path() + "/report.csv";
    ASSERT_EQ(Run({"--output", output}, out, err), 0);
    EXPECT_TRUE(out.empty());
    EXPECT_NE(err.find("1 damaged record(s) skipped"), std::string::npos) << err;
    QFile report(output);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    EXPECT_TRUE(report.readAll().contains("1,Line 1,2024-03-12T10:00,1\r\n"));
    EXPECT_EQ(report.permissions() & (QFile::ReadOther | QFile::ReadGroup), 0);
}

}  // namespace
