// The built program under faults and load: it must keep running, keep its
// files readable and lose no record.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstring>
#include <numeric>
#include <random>
#include <thread>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "NonRegularFiles.h"
#include "ProgramHome.h"
#include "platform/window/CopyDataFrame.h"
#include "platform/window/WindowSystem.h"

using e2e::ProgramHome;
using e2e::WaitFor;
using platform::CopyDataFrame;

namespace {

QByteArray Garbage(std::size_t size, unsigned seed) {
    std::mt19937 random(seed);
    QByteArray bytes(static_cast<qsizetype>(size), '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);
    return bytes;
}

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

TEST(Faults, DataLogSavesIntoABlockedPathAFullDiskAndAFifoLoseNoRecord) {
    ProgramHome home;
    home.Write("program/DataLogs", "not a folder");  // the data folder is taken by a file
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel) && home.Phone({"ring", "2"}) == 0);  // line 2 online
    QThread::msleep(2500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    // Then a folder again, but every write into the log reports a full disk.
    ASSERT_TRUE(QFile::remove(home.Path("program/DataLogs")));
    ASSERT_TRUE(QDir().mkpath(home.Path("program/DataLogs")));
    ASSERT_TRUE(QFile::link("/dev/full", home.DataLogPath()));
    QThread::msleep(2500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    // Then a FIFO that nobody reads: a save that waited on it would never end.
    ASSERT_TRUE(QFile::remove(home.DataLogPath()) && MakeFifo(home.DataLogPath()));
    QThread::msleep(2500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    // Writable again: everything gathered meanwhile arrives with the next save.
    ASSERT_TRUE(QFile::remove(home.DataLogPath()));
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 5000));
    QThread::msleep(1500);
    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    const QByteArray log = home.DataLog();
    EXPECT_EQ(TornRecords(log), 0);
    // Each counted second present exactly once (a loaded machine scans less).
    std::vector<int> line2 = OnlineSeconds(log, "Line 2,");
    ASSERT_GE(line2.size(), 4u);
    EXPECT_EQ(OnlineSeconds(log, "Sales desk,"), std::vector<int>(line2.size(), 0));
    line2.erase(line2.begin(), std::find_if(line2.begin(), line2.end(), [](int s) { return s; }));
    std::vector<int> counted(line2.size());
    std::iota(counted.begin(), counted.end(), 1);
    EXPECT_TRUE(!line2.empty() && line2 == counted);
}

struct Damage {  // Save Data=0 survives; a watched line and one not ("" for none)
    const char *name, *file;
    QByteArray content;
    bool savesEveryScan;
    const char *watchedName, *unwatchedName;
};

class DamagedFiles : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedFiles, StartUpCompletesAndTheProgramKeepsScanning) {
    const Damage& damage = GetParam();
    ProgramHome home;
    home.Write(damage.file, damage.content);
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel, 15000));
    if (damage.savesEveryScan) {
        ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 5000));
        const qsizetype first = home.DataLog().size();
        EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > first; }, 5000));
    } else {
        QThread::msleep(1500);
    }
    ASSERT_TRUE(vastrel->state() == QProcess::Running && ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    const QByteArray log = home.DataLog();
    EXPECT_EQ(TornRecords(log), 0);
    EXPECT_TRUE(log.contains(QByteArray("\t") + damage.watchedName));
    EXPECT_TRUE(!*damage.unwatchedName ||
                !log.contains(QByteArray("\t") + damage.unwatchedName + ","));
    EXPECT_TRUE(RegistryReadable(home.Registry()) && !home.Registry().contains("hKey"));
}

const QByteArray kIni = ProgramHome::kHeader;
INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedFiles,
    ::testing::Values(
        Damage{"SettingsOfBinaryGarbage", "config/vastrel.ini", Garbage(64 * 1024, 1), false,
               "Line 1", ""},
        Damage{"SettingsWithATenMegabyteLine", "config/vastrel.ini",
               kIni + ("[Preferences]\r\nJunk=" + QByteArray(10 << 20, 'x') +
                       "\r\nSave Data=0\r\nLines=3," + QByteArray(1 << 20, '9') + "\r\n"),
               true, "Sales desk", "Line 2"},
        Damage{"SettingsWithoutTheHeader", "config/vastrel.ini",
               "[Preferences]\r\nSave Data=0\r\nLines=3,\r\n", false, "Line 1", ""},
        Damage{"SettingsWithRepeatedKeys", "config/vastrel.ini",
               kIni + ("[Preferences]\r\nSave Data=0\r\nLines=3,\r\nSave Data=720\r\nLines=1,2,\r\n"
                       "[preferences]\r\nLines=1,\r\n"),
               true, "Sales desk", "Line 2"},
        // Bogus handles, then garbage.
        Damage{"RegistryOfGarbage", "state/vastrel/registry",
               "[Software\\Orlwen\\Pelmarsh]\n\"hKey\"=REG_SZ:\" 99999999999\"\n"
               "\"hTapi\"=REG_SZ:\"-7e300\"\n[\n\"x\"=REG_SZ:\"\\" +
                   Garbage(16 * 1024, 3),
               true, "Sales desk", "Line 1"},
        Damage{"ExchangeOfBinaryGarbage", "config/telephon.ini", Garbage(16 * 1024, 4), true,
               "Line 2", "Line 1"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// A FIFO, with nobody at its other end, where one of the program's files
// belongs: opening or reading it would wait for ever.
class FifoInPlace : public ::testing::TestWithParam<const char*> {};

TEST_P(FifoInPlace, StartUpNeitherWaitsOnItNorReplacesItAndSigtermEndsTheProgram) {
    ProgramHome home;
    const QString fifo = home.Path(GetParam());
    QFile::remove(fifo);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(fifo).path()) && MakeFifo(fifo));
    QProcess* vastrel = home.Start();
    // Without its store the program cannot announce itself; it scans and saves all the same.
    if (fifo == home.Path("state/vastrel/registry"))
        ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 10000));
    else
        ASSERT_TRUE(home.WaitAnnounced(vastrel, 15000));
    home.Phone({"ring", "2"});  // a call for In.log (refused without the exchange's state)
    QThread::msleep(1500);
    ASSERT_TRUE(vastrel->state() == QProcess::Running && ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_TRUE(IsFifo(fifo));
}

INSTANTIATE_TEST_SUITE_P(Faults, FifoInPlace,
                         ::testing::Values("config/vastrel.ini", "config/telephon.ini",
                                           "state/vastrel/registry", "program/DataLogs/Data.log",
                                           "program/In.log", "runtime/vastrel/exchange.state"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(Faults, TheFilesAndFoldersTheProgramCreatesAreItsUsersAlone) {
    ProgramHome home;
    // This time the program writes its settings and exchange files itself.
    ASSERT_TRUE(QFile::remove(home.Path("config/vastrel.ini")) &&
                QFile::remove(home.Path("config/telephon.ini")));
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    ASSERT_EQ(home.Phone({"ring", "2"}), 0);
    EXPECT_TRUE(WaitFor([&] { return home.Read("program/In.log").size() > 0; }, 5000));
    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));  // its last save makes the data log
    EXPECT_EQ(vastrel->exitCode(), 0);
    for (const char* file :
         {"config/vastrel.ini", "config/telephon.ini", "state/vastrel/registry",
          "state/vastrel/registry.lock", "program/DataLogs/Data.log", "program/In.log"})
        EXPECT_EQ(ModeOf(home.Path(file)), 0600) << file;
    EXPECT_EQ(ModeOf(home.Path("program/DataLogs")), 0700);
}

// No lines: start-up waits at its "No lines to test" box, which SIGTERM ends.
TEST(Faults, AnExchangeWithoutLinesEndsOnSigtermDuringTheStartUpMessage) {
    ProgramHome home;
    home.Write("config/telephon.ini", "[Exchange]\nLines=-3\n");
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    QThread::msleep(500);
    ASSERT_TRUE(vastrel->state() == QProcess::Running && ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_FALSE(home.Registry().contains("hKey"));
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

    // The next copy finds the stale handles, takes over and announces itself.
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    const qsizetype before = home.DataLog().size();
    EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > before; }, 5000));
    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_TRUE(RegistryReadable(home.Registry()));
    EXPECT_FALSE(home.Registry().contains("hKey") || home.Registry().contains("hTapi"));
    EXPECT_EQ(home.Read("config/vastrel.ini") + home.Read("config/telephon.ini"), files);
    EXPECT_GT(home.DataLog().count("\tSales desk,"), 2);
    EXPECT_EQ(TornRecords(home.DataLog()), 0);
}

TEST(Faults, TenCopiesStartedTogetherLeaveExactlyOneRunning) {
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
    QProcess* survivor = *std::find_if(copies.begin(), copies.end(), up);
    EXPECT_TRUE(home.WaitAnnounced(survivor));
    ASSERT_TRUE(ProgramHome::Stop(survivor, SIGTERM));
    EXPECT_EQ(survivor->exitCode(), 0);
}

// A client of the window's socket, with ten-second send and receive limits.
struct Peer {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool connected = false;
    explicit Peer(const QString& path) {
        const timeval timeout{10, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof address.sun_path - 1);
        connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Peer() { ::close(fd); }
    // Sends, then reads everything until the other side closes.
    QByteArray Exchange(const QByteArray& bytes, bool last = false) {
        ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
        if (last) ::shutdown(fd, SHUT_WR);  // so a short frame ends at once
        QByteArray all;
        char chunk[64];
        for (ssize_t n; (n = ::recv(fd, chunk, sizeof chunk, 0)) > 0;) all.append(chunk, n);
        return all;
    }
};

QByteArray HandOverFrame() {
    return CopyDataFrame::Encode({platform::WM_COPYDATA, 1, 3, QByteArray("flood") + '\0'});
}

// Each kind breaks the frame in another way.
QByteArray MalformedFrame(std::mt19937& random, int kind) {
    QByteArray f = HandOverFrame();
    if (kind == 0) return Garbage(1 + random() % 300, random());
    if (kind == 1) return f.replace(0, 4, "VWMX");
    if (kind == 2) return f.replace(24, 4, "\xff\xff\xff\x7f");  // cbData beyond any hand-over
    if (kind == 3) return f + "trailing";
    if (kind == 4) return f.left(static_cast<qsizetype>(random() % f.size()));
    if (kind == 5) return f.replace(4, 1, QByteArray(1, char(f[4] + 1)));  // size and cbData differ
    return f.replace(8, 1, QByteArray(1, kind == 6 ? char(platform::WM_CLOSE) : '\x11'));
}

TEST(Faults, AFloodOfHandOversAndMalformedFramesLeavesTheProgramScanning) {
    ProgramHome home;
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    const QString socket = home.PublishedSocket();
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 5000));
    constexpr int kSenders = 4, kHandOvers = 2000, kMalformed = 500;
    std::atomic<int> answered{0}, refused{0}, badAnswered{0}, busy{kSenders};
    std::vector<std::thread> senders;
    for (int t = 0; t < kSenders; ++t) {
        senders.emplace_back([&, t] {
            std::mt19937 random(t);
            for (int i = t; i < kHandOvers + kMalformed; i += kSenders) {
                Peer peer(socket);
                if (!peer.connected)
                    ++refused;
                else if (i < kHandOvers)
                    answered += peer.Exchange(HandOverFrame()) == CopyDataFrame::EncodeReply(0);
                else
                    badAnswered += !peer.Exchange(MalformedFrame(random, i % 8), true).isEmpty();
            }
            --busy;
        });
    }
    // Meanwhile every interval still brings a scan, and with it a save.
    for (qsizetype size = home.DataLog().size(); busy; size = home.DataLog().size()) {
        QThread::msleep(1500 * e2e::Slowdown());
        EXPECT_TRUE(!busy || home.DataLog().size() > size) << "no scan for 1.5 s";
    }
    for (std::thread& s : senders) s.join();

    EXPECT_EQ(badAnswered, 0);
    EXPECT_GT(answered + refused, kHandOvers - 1);  // a full backlog refuses a few
    EXPECT_GT(answered, kHandOvers * 9 / 10);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    // Silent connections are dropped in time; scans and answers go on.
    {
        std::vector<std::unique_ptr<Peer>> silent;
        for (int i = 0; i < 100; ++i) silent.push_back(std::make_unique<Peer>(socket));
        const qsizetype size = home.DataLog().size();
        EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > size; }, 3000));
        for (auto& peer : silent) EXPECT_TRUE(!peer->connected || peer->Exchange({}).isEmpty());
    }
    EXPECT_EQ(Peer(socket).Exchange(HandOverFrame()), CopyDataFrame::EncodeReply(0));

    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_EQ(TornRecords(home.DataLog()), 0);
}

}  // namespace
