// The built program under faults and load: it must keep running, keep its
// files readable and lose no record.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "NonRegularFiles.h"
#include "ProgramHome.h"

using e2e::ProgramHome;
using e2e::WaitFor;

namespace {

// Data log lines that are not whole records (or the blank line ending a save).
int TornRecords(const QByteArray& log) {
    static const QRegularExpression record(QRegularExpression::anchoredPattern(
        " \\d+\\t[^\\t\\r\\n]{22}(Line cannot be monitored|\\t  [01]\\t[^\\t\\r\\n]+ "
        "\\d\\d:\\d\\d:\\d\\d(\\t \\d+ h  \\d\\d m  \\d\\d s){2})"));
    int torn = !log.isEmpty() && !log.endsWith("\r\n");
    for (const QString& line : QString::fromLatin1(log).split("\r\n"))
        torn += !line.isEmpty() && !record.match(line).hasMatch();
    return torn;
}

std::vector<int> OnlineSeconds(const QByteArray& log, const QByteArray& nameField) {
    static const QRegularExpression time(" (\\d+) h  (\\d\\d) m  (\\d\\d) s\\t");
    std::vector<int> seconds;
    for (const QByteArray& line : log.split('\n')) {
        const auto m = time.match(QString::fromLatin1(line));
        if (line.contains("\t" + nameField) && m.hasMatch())
            seconds.push_back(m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 +
                              m.captured(3).toInt());
    }
    return seconds;
}

bool RegistryReadable(const QByteArray& store) {
    static const QRegularExpression value(QRegularExpression::anchoredPattern(
        "#.*|\\[.*\\]|\"([^\"\\\\]|\\\\.)*\"=REG_SZ:\"([^\"\\\\]|\\\\.)*\""));
    for (const QByteArray& line : store.split('\n'))
        if (!line.isEmpty() && !value.match(QString::fromLatin1(line)).hasMatch()) return false;
    return true;
}

// Calls rung on the simulated exchange while the data log cannot be written.
TEST(Faults, DataLogSavesIntoAFullDiskAndAFifoLoseNoRecord) {
    ProgramHome home;
    // Every write into the log reports a full disk.
    ASSERT_TRUE(QDir().mkpath(home.Path("program/DataLogs")));
    ASSERT_TRUE(QFile::link("/dev/full", home.DataLogPath()));
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    ASSERT_EQ(home.Phone({"ring", "2", "--number", "5551234"}), 0);  // line 2 online
    EXPECT_TRUE(WaitFor([&] { return home.Read("program/In.log").contains("5551234"); }, 5000));
    QThread::msleep(2500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    // Then a FIFO that nobody reads: a save that waited on it would never end.
    ASSERT_TRUE(QFile::remove(home.DataLogPath()) && MakeFifo(home.DataLogPath()));
    QThread::msleep(2500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    // Writable again: everything gathered meanwhile arrives with the next save.
    ASSERT_TRUE(QFile::remove(home.DataLogPath()));
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 5000));
    ASSERT_EQ(home.Phone({"block", "3"}), 0);
    EXPECT_TRUE(WaitFor([&] { return home.DataLog().contains("Line cannot be monitored"); }, 5000));
    EXPECT_TRUE(ProgramHome::EndsOnSigterm(vastrel));
    EXPECT_FALSE(home.Registry().contains("hKey") || home.Registry().contains("hTapi"));
    const QByteArray log = home.DataLog();
    EXPECT_EQ(TornRecords(log), 0);
    EXPECT_TRUE(log.contains("\r\n 1\tLine 2,") && log.contains("\r\n 2\tSales desk,"));
    EXPECT_EQ(home.Read("program/In.log").count("5551234"), 1);  // logged once per call
    // Each counted second present exactly once (a loaded machine scans less).
    std::vector<int> line2 = OnlineSeconds(log, "Line 2,");
    ASSERT_GE(line2.size(), 4u);
    const std::vector<int> desk = OnlineSeconds(log, "Sales desk,");  // idle, then blocked
    EXPECT_TRUE(!desk.empty() && desk == std::vector<int>(desk.size(), 0));
    EXPECT_EQ(log.count("\tSales desk,"), qsizetype(line2.size()));  // a record each scan
    line2.erase(line2.begin(), std::find_if(line2.begin(), line2.end(), [](int s) { return s; }));
    std::vector<int> counted(line2.size());
    std::iota(counted.begin(), counted.end(), 1);
    EXPECT_TRUE(!line2.empty() && line2 == counted);
}

// A FIFO with nobody at its other end (opening or reading it would wait for
// ever), or an oversized file, where one of the program's files belongs:
// start-up completes, scans go on, SIGTERM ends the program and a FIFO stays
// a FIFO. Garbage in each file is for the parsers' own tests and fuzzers.
TEST(Faults, FifosOrHugeFilesInTheirPlaceNeitherStopNorHangTheProgram) {
    const QByteArray fifo = "FIFO", ini = ProgramHome::kHeader;
    struct Case {
        const char* file;
        QByteArray content;
        bool savesEachScan;               // saves seen while it runs
        const char *watched, *unwatched;  // lines in the data log ("" for none)
    };
    const std::vector<Case> cases = {
        // A ten-megabyte line, a megabyte value and repeated keys: the first counts.
        {"config/vastrel.ini",
         ini + "[Preferences]\r\nJunk=" + QByteArray(10 << 20, 'x') +
             "\r\nSave Data=0\r\nLines=3," + QByteArray(1 << 20, '9') +
             "\r\nSave Data=720\r\nLines=1,2,\r\n[preferences]\r\nLines=1,\r\n",
         true, "Sales desk", "Line 2"},
        // No lines: start-up waits in its "No lines to test" box, which SIGTERM ends.
        {"config/telephon.ini", "[Exchange]\nLines=-3\n", false, "", ""},
        {"config/vastrel.ini", fifo, false, "Line 1", ""},
        {"config/telephon.ini", fifo, true, "Line 2", "Line 1"},
        // Without its store the program cannot announce itself; it scans and saves all the same.
        {"state/vastrel/registry", fifo, true, "Sales desk", "Line 1"},
        {"program/In.log", fifo, true, "Line 2", "Line 1"},
        {"program/DataLogs/Data.log", fifo, false, "", ""},  // the save at SIGTERM included
        {"runtime/vastrel/exchange.state", fifo, true, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + (c.content == fifo ? " as a FIFO" : ""));
        ProgramHome home;
        const QString path = home.Path(c.file);
        QFile::remove(path);
        if (c.content == fifo)
            ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()) && MakeFifo(path));
        else
            home.Write(c.file, c.content);
        QProcess* vastrel = home.Start();
        const bool storeless = c.content == fifo && path.endsWith("registry");
        ASSERT_TRUE(storeless ? WaitFor([&] { return home.DataLog().size() > 0; }, 10000)
                              : home.WaitAnnounced(vastrel, 15000));
        if (storeless) {  // nor can a second start find it: it says so, and does not run
            const e2e::Ended second = home.RunToEnd({"test"}, 8000);
            EXPECT_TRUE(second.ended && second.code == 1) << second.err.toStdString();
        }
        home.Phone({"ring", "2"});                             // a call for In.log
        const int saveWithin = c.savesEachScan ? 5000 : 1500;  // or not for 720 minutes
        EXPECT_EQ(WaitFor([&] { return home.DataLog().size() > 0; }, saveWithin), c.savesEachScan);
        QThread::msleep(1100);  // one scan more at least
        ASSERT_EQ(vastrel->state(), QProcess::Running);
        EXPECT_TRUE(ProgramHome::EndsOnSigterm(vastrel));
        const QByteArray log = home.DataLog();
        EXPECT_EQ(TornRecords(log), 0);
        EXPECT_TRUE(!*c.watched || log.count(QByteArray("\t") + c.watched + ",") >= 2);
        EXPECT_TRUE(!*c.unwatched || !log.contains(QByteArray("\t") + c.unwatched + ","));
        EXPECT_TRUE(RegistryReadable(home.Registry()) && !home.Registry().contains("hKey"));
        EXPECT_TRUE(c.content != fifo || IsFifo(path));
    }
}

QStringList SocketFiles(const QString& dir) {
    return QDir(dir).entryList({"*.hwnd"}, QDir::System | QDir::Files);
}

TEST(Faults, KillNineDuringScansAndSavesLeavesReadableFilesAndWholeRecords) {
    ProgramHome home;
    const QByteArray files = home.Read("config/vastrel.ini") + home.Read("config/telephon.ini");
    std::mt19937 random(20261205);
    bool rang = false;
    // Killed during start-up and after announcing, at random moments.
    for (int round = 0; round < 4; ++round) {
        QProcess* vastrel = home.Start();
        if (round % 2 == 1) home.WaitAnnounced(vastrel);
        if (!rang) rang = home.Phone({"ring", "2"}) == 0;
        QThread::msleep(std::uniform_int_distribution<int>(0, 1800)(random));
        ProgramHome::Stop(vastrel, SIGKILL);
        EXPECT_TRUE(RegistryReadable(home.Registry())) << "round " << round;
    }
    ASSERT_GE(SocketFiles(home.Path("runtime/vastrel")).size(), 1u);

    // The next copy finds the stale handles, takes over, announces itself
    // and sweeps the sockets the killed copies left.
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    EXPECT_EQ(SocketFiles(home.Path("runtime/vastrel")),
              QStringList{QString::number(home.PublishedHandle().value()) + ".hwnd"});
    const qsizetype before = home.DataLog().size();
    EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > before; }, 5000));
    EXPECT_TRUE(ProgramHome::EndsOnSigterm(vastrel));
    EXPECT_TRUE(RegistryReadable(home.Registry()));
    EXPECT_FALSE(home.Registry().contains("hKey") || home.Registry().contains("hTapi"));
    EXPECT_EQ(home.Read("config/vastrel.ini") + home.Read("config/telephon.ini"), files);
    EXPECT_GT(home.DataLog().count("\tSales desk,"), 2);
    EXPECT_EQ(TornRecords(home.DataLog()), 0);
}

int ConnectSilently(const QByteArray& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    sockaddr_un address{AF_UNIX, {}};
    std::strncpy(address.sun_path, path.constData(), sizeof address.sun_path - 1);
    ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    return fd;
}

TEST(Faults, OfTenCopiesStartedTogetherOneRunsAndSilentConnectionsNeitherStopNorDelayIt) {
    ProgramHome home;
    std::vector<QProcess*> copies;
    for (int i = 0; i < 10; ++i) copies.push_back(home.Start({}, false));
    const auto up = [](QProcess* p) { return p->state() != QProcess::NotRunning; };
    const auto running = [&] { return std::count_if(copies.begin(), copies.end(), up); };
    // All but one end within their start-up, even one with nobody to hand over to.
    EXPECT_TRUE(WaitFor([&] { return running() <= 1; }, 2500));
    QThread::msleep(1000);
    ASSERT_EQ(running(), 1);
    for (QProcess* copy : copies) EXPECT_TRUE(up(copy) || copy->exitCode() == 0);
    QProcess* vastrel = *std::find_if(copies.begin(), copies.end(), up);
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 5000));
    // 300 connections that say nothing, each reopened as soon as the program drops it.
    std::atomic<bool> flooding{true};
    std::thread flood([&, socket = QFile::encodeName(home.PublishedSocket())] {
        std::vector<int> fds(300, -1);
        for (; flooding; std::this_thread::sleep_for(std::chrono::milliseconds(5)))
            for (int& fd : fds)
                if (pollfd p{fd, POLLIN, 0}; fd < 0 || ::poll(&p, 1, 0) > 0)
                    ::close(fd), fd = ConnectSilently(socket);
        for (int fd : fds) ::close(fd);
    });
    QThread::msleep(500);
    const qsizetype size = home.DataLog().size();
    for (int i = 0; i < 3; ++i) {
        const e2e::Ended second = home.RunToEnd({"/test"});
        EXPECT_TRUE(second.ended && second.code == 0) << second.err.constData();
        EXPECT_LT(second.ms, 1000 * e2e::Slowdown());
    }
    // Every interval still brings a scan, and with it a save.
    EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > size; }, 3000));
    flooding = false;
    flood.join();
    EXPECT_TRUE(ProgramHome::EndsOnSigterm(vastrel));
    EXPECT_EQ(TornRecords(home.DataLog()), 0);
}

}  // namespace
