// The built program in a temporary home with its own XDG folders, driven by
// vastrel-phone, second starts and signals; the files it writes are read back.
#include <gtest/gtest.h>

#include <QElapsedTimer>

#include "ProgramHome.h"

namespace {

using e2e::WaitFor;

// The shared home (Save Data=0, lines 2 and 3) and a running copy that has
// announced itself and scanned.
class Home : public e2e::ProgramHome {
public:
    bool WaitRunning() {
        return WaitFor([&] { return Registry().contains("hKey") && QFile::exists(DataLogPath()); },
                       10000);
    }
};

TEST(EndToEnd, RunsHeadlessAnnouncesItselfAndEndsCleanlyOnSigterm) {
    Home home;
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitRunning());
    EXPECT_TRUE(home.Registry().contains("\"hKey\"=REG_SZ:\" "));
    EXPECT_TRUE(home.Registry().contains("\"hTapi\""));
    EXPECT_TRUE(home.Read("config/vastrel.ini").startsWith("The following lines"));

    ASSERT_TRUE(Home::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(home.Registry().contains("hKey"));
    EXPECT_FALSE(home.Registry().contains("hTapi"));
    const QByteArray log = home.Read("program/DataLogs/Data.log");
    EXPECT_TRUE(log.contains("\r\n 1\tLine 2,"));
    EXPECT_TRUE(log.contains("\r\n 2\tSales desk,"));
    EXPECT_FALSE(log.contains("Line 1,"));
}

TEST(EndToEnd, ASecondStartHandsOverAndEndsWithinASecond) {
    Home home;
    QProcess* first = home.Start();
    ASSERT_TRUE(home.WaitRunning());
    QElapsedTimer timer;
    timer.start();
    QProcess* second = home.Start({"/test"});
    ASSERT_TRUE(second->waitForFinished(5000));
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(second->exitCode(), 0);
    EXPECT_EQ(first->state(), QProcess::Running);
    Home::Stop(first, SIGTERM);
}

TEST(EndToEnd, AfterKillNineTheNextStartEndsTheStaleSessionAndPublishesItsOwn) {
    Home home;
    QProcess* first = home.Start();
    ASSERT_TRUE(home.WaitRunning());
    const QByteArray before = home.Registry();
    ASSERT_TRUE(Home::Stop(first, SIGKILL));
    QProcess* next = home.Start();
    ASSERT_TRUE(WaitFor([&] { return home.Registry() != before; }, 10000));
    EXPECT_EQ(next->state(), QProcess::Running);
    Home::Stop(next, SIGTERM);
    EXPECT_FALSE(home.Registry().contains("hTapi"));
}

TEST(EndToEnd, CallsDrivenByThePhoneReachTheListTheDataLogAndInLog) {
    Home home;
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitRunning());
    ASSERT_EQ(home.Phone({"ring", "2", "--number", "5551234"}), 0);
    ASSERT_TRUE(WaitFor([&] { return home.Read("program/In.log").contains("5551234"); }, 10000));
    ASSERT_EQ(home.Phone({"answer", "2"}), 0);
    ASSERT_TRUE(
        WaitFor([&] { return home.Read("program/DataLogs/Data.log").contains(" 0 h  00 m  03 s"); },
                10000));
    ASSERT_EQ(home.Phone({"hangup", "2"}), 0);
    ASSERT_EQ(home.Phone({"block", "3"}), 0);
    ASSERT_TRUE(WaitFor(
        [&] { return home.Read("program/DataLogs/Data.log").contains("Line cannot be monitored"); },
        10000));
    Home::Stop(vastrel, SIGTERM);

    const QList<QByteArray> in = home.Read("program/In.log").split('\n');
    ASSERT_GE(in.size(), 3);
    EXPECT_EQ(in[0], "Warning: This file is not to be edited!!!\r");
    const QByteArray record = in[2].chopped(1);
    EXPECT_EQ(record.size(), 118);
    EXPECT_TRUE(record.startsWith(" Unknown Caller" + QByteArray(28, ' ') + "5551234"));
    EXPECT_EQ(home.Read("program/In.log").count("5551234"), 1);  // logged once per call
}

}  // namespace
