// The headless report beside a running Vastrel, on calls of known length
// placed on the simulated exchange with vastrel-phone.
#include <gtest/gtest.h>

#include <QThread>

#include "e2e/ProgramHome.h"

namespace {

using e2e::ProgramHome;

struct Ran {
    int code = -1;
    QByteArray out, err;
};

Ran Report(ProgramHome& home, const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(home.Env());
    p.start(home.Program(), QStringList{"--report"} + args);
    Ran r;
    if (p.waitForFinished(10000 * e2e::Slowdown()) && p.exitStatus() == QProcess::NormalExit)
        r = {p.exitCode(), p.readAllStandardOutput(), p.readAllStandardError()};
    else
        p.kill(), p.waitForFinished(1000);
    return r;
}

// The seconds of " H h  MM m  SS s".
int Seconds(const QByteArray& text) {
    const QList<QByteArray> parts = text.simplified().split(' ');
    return parts.size() == 6 ? parts[0].toInt() * 3600 + parts[2].toInt() * 60 + parts[4].toInt()
                             : -1;
}

// The program's own total for a line: the last total field it wrote for it.
int ProgramTotal(const QByteArray& log, const QByteArray& nameField) {
    int total = -1;
    for (const QByteArray& record : log.split('\n')) {
        const QList<QByteArray> f = record.trimmed().split('\t');
        if (f.size() == 6 && f[1].startsWith(nameField)) total = Seconds(f[5]);
    }
    return total;
}

TEST(UsageReportE2E, ReportsTheCallsOfARunningCopyFigureByFigure) {
    ProgramHome home;
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    const QDate today = QDate::currentDate();
    struct Placed {
        const char* line;
        const char* number;
        const char* name;
        int heldMs;
    };
    const Placed placed[] = {{"2", "5551234", "Ada Lovelace", 4000},
                             {"3", "5559876", "Smith, John", 2000}};
    qint64 heldMs[2] = {};
    for (int c = 0; c < 2; ++c) {
        const Placed& p = placed[c];
        QElapsedTimer held;
        held.start();
        ASSERT_EQ(home.Phone({"ring", p.line, "--number", p.number, "--name", p.name}), 0);
        // Answered once a scan has seen it offered (and In.log has it).
        ASSERT_TRUE(
            e2e::WaitFor([&] { return home.Read("program/In.log").contains(p.number); }, 5000));
        ASSERT_EQ(home.Phone({"answer", p.line}), 0);
        QThread::msleep(p.heldMs);
        ASSERT_EQ(home.Phone({"hangup", p.line}), 0);
        heldMs[c] = held.elapsed();
    }
    // Both lines idle in a saved scan (Save Data=0: every scan is saved).
    QThread::msleep(2500);

    const Ran calls = Report(home, {"--calls"});
    const Ran hourly = Report(home, {today.toString(Qt::ISODate)});
    ASSERT_EQ(calls.code, 0) << calls.err.constData();
    ASSERT_EQ(hourly.code, 0) << hourly.err.constData();
    EXPECT_EQ(vastrel->state(), QProcess::Running);  // no lock taken, nothing disturbed

    const QList<QByteArray> rows = calls.out.split('\n');
    ASSERT_EQ(rows.size(), 4) << calls.out.constData();  // header, two calls, the end
    EXPECT_EQ(rows[0], "line,name,start,end,duration_seconds,caller_number,caller_name\r");
    const QByteArray expectedLead[] = {"1,Line 2,", "2,Sales desk,"};
    const QByteArray expectedCaller[] = {",5551234,Ada Lovelace\r", ",5559876,\"Smith, John\"\r"};
    const QByteArray nameFields[] = {"Line 2,", "Sales desk,"};
    for (int c = 0; c < 2; ++c) {
        const QByteArray& row = rows[c + 1];
        EXPECT_TRUE(row.startsWith(expectedLead[c])) << row.constData();
        EXPECT_TRUE(row.endsWith(expectedCaller[c])) << row.constData();
        const QList<QByteArray> f = row.split(',');
        const QDateTime start = QDateTime::fromString(f[2], Qt::ISODate);
        const QDateTime end = QDateTime::fromString(f[3], Qt::ISODate);
        const int seconds = f[4].toInt();
        // Online from the ring to the hang-up, seen by 1 s scans.
        const int held = int(heldMs[c] / 1000);
        EXPECT_GE(seconds, held - 1) << row.constData();
        EXPECT_LE(seconds, held + 2) << row.constData();
        EXPECT_GE(seconds, placed[c].heldMs / 1000);
        EXPECT_EQ(start.date(), today);
        EXPECT_NEAR(start.secsTo(end), seconds - 1, 1) << row.constData();
        // The same time as the program's own total for the line, and as the
        // hourly table's sum.
        EXPECT_EQ(seconds, ProgramTotal(home.DataLog(), nameFields[c]));
        int hourSum = 0;
        for (const QByteArray& h : hourly.out.split('\n'))
            if (h.startsWith(expectedLead[c])) hourSum += h.split(',').last().trimmed().toInt();
        EXPECT_EQ(hourSum, seconds);
    }
    EXPECT_EQ(hourly.out.count('\n'), 1 + 2 * 24);
    EXPECT_TRUE(ProgramHome::EndsOnSigterm(vastrel));

    // A record torn by a crash and a line of garbage are skipped and counted.
    QFile log(home.DataLogPath());
    ASSERT_TRUE(log.open(QIODevice::Append));
    log.write("\r\n 1\tLine 2,               \t  1\t" + today.toString("M/d/yyyy").toLatin1() +
              " 23:5\r\n\x01garbage\tline\r\n");
    log.close();
    const Ran again = Report(home, {"--calls"});
    EXPECT_EQ(again.code, 0);
    EXPECT_EQ(again.out, calls.out);
    EXPECT_TRUE(again.err.contains("2 damaged record(s) skipped")) << again.err.constData();

    // A day the log has nothing of: an empty report that says so.
    const Ran empty = Report(home, {"2001-01-01"});
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.out, "line,name,hour,seconds_online\r\n");
    EXPECT_TRUE(empty.err.contains("no records of 2001-01-01")) << empty.err.constData();
}

}  // namespace
