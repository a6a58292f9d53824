// The built program under bad input, faults and load: a disk that fills, a
// blocked data folder, damaged files, kill -9 mid-scan, a crowd of copies
// starting together and a flood on its socket. It must keep running, keep
// its files readable and lose no record.
#include <gtest/gtest.h>

#include <QRegularExpression>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <thread>

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include "ProgramHome.h"
#include "platform/window/CopyDataFrame.h"
#include "platform/window/UnixWindowSystem.h"
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

// Every line of the data log is a whole record: a success record with all
// six fields or a failure record, or the blank line that ends a save.
int TornRecords(const QByteArray& log) {
    static const QRegularExpression success(
        "^ \\d+\\t[^\\t]{22}\\t  [01]\\t[^\\t]+ \\d\\d:\\d\\d:\\d\\d"
        "\\t \\d+ h  \\d\\d m  \\d\\d s\\t \\d+ h  \\d\\d m  \\d\\d s$");
    static const QRegularExpression failure("^ \\d+\\t[^\\t]{22}Line cannot be monitored$");
    int torn = 0;
    const QList<QByteArray> lines = log.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (i + 1 < lines.size()) {
            if (!line.endsWith('\r')) {
                ++torn;
                continue;
            }
            line.chop(1);
        } else if (!line.isEmpty()) {
            ++torn;  // the file must end with a line end
            continue;
        }
        if (line.isEmpty()) continue;
        const QString text = QString::fromLatin1(line);
        if (!success.match(text).hasMatch() && !failure.match(text).hasMatch()) ++torn;
    }
    return torn;
}

// The online times of one line's records, in file order.
std::vector<int> OnlineSeconds(const QByteArray& log, const QByteArray& nameField) {
    static const QRegularExpression time(" (\\d+) h  (\\d\\d) m  (\\d\\d) s\\t");
    std::vector<int> seconds;
    for (const QByteArray& line : log.split('\n')) {
        if (!line.contains("\t" + nameField)) continue;
        const auto m = time.match(QString::fromLatin1(line));
        if (!m.hasMatch()) continue;
        seconds.push_back(m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 +
                          m.captured(3).toInt());
    }
    return seconds;
}

// The registry store is readable line by line as the program writes it.
bool RegistryReadable(const QByteArray& store) {
    static const QRegularExpression value("^\"([^\"\\\\]|\\\\.)*\"=REG_SZ:\"([^\"\\\\]|\\\\.)*\"$");
    for (const QByteArray& line : store.split('\n')) {
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[') && line.endsWith(']')) continue;
        if (!value.match(QString::fromLatin1(line)).hasMatch()) return false;
    }
    return true;
}

// ---- the data log against a full disk and a blocked folder ------------------

TEST(Faults, DataLogSavesIntoABlockedPathAndAFullDiskLoseNoRecord) {
    ProgramHome home;
    // The data folder is taken by a plain file.
    home.Write("program/DataLogs", "not a folder");
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    ASSERT_EQ(home.Phone({"ring", "2"}), 0);  // line 2 online: one second more per scan
    QThread::msleep(2500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);

    // Then a folder again, but every write into the log reports a full disk.
    ASSERT_TRUE(QFile::remove(home.Path("program/DataLogs")));
    ASSERT_TRUE(QDir().mkpath(home.Path("program/DataLogs")));
    ASSERT_TRUE(QFile::link("/dev/full", home.DataLogPath()));
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
    const std::vector<int> line2 = OnlineSeconds(log, "Line 2,");
    const std::vector<int> line3 = OnlineSeconds(log, "Sales desk,");
    // Seven seconds at least, each counted second present exactly once.
    ASSERT_GE(line2.size(), 7u);
    EXPECT_EQ(line3.size(), line2.size());
    const std::size_t firstOnline =
        std::find_if(line2.begin(), line2.end(), [](int s) { return s > 0; }) - line2.begin();
    ASSERT_LT(firstOnline, line2.size());
    for (std::size_t i = firstOnline; i < line2.size(); ++i)
        EXPECT_EQ(line2[i], static_cast<int>(i - firstOnline) + 1) << "record " << i;
    for (int s : line3) EXPECT_EQ(s, 0);
}

// ---- damaged files at start-up ---------------------------------------------

struct Damage {
    const char* name;
    const char* file;
    QByteArray content;
    bool savesEveryScan;        // Save Data=0 survives the damage
    const char* watchedName;    // a line that must be in the records
    const char* unwatchedName;  // one that must not ("" for none)
};

void PrintTo(const Damage& d, std::ostream* os) {
    *os << d.name;
}

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
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(vastrel->exitCode(), 0);

    const QByteArray log = home.DataLog();
    EXPECT_EQ(TornRecords(log), 0);
    EXPECT_TRUE(log.contains(QByteArray("\t") + damage.watchedName));
    if (*damage.unwatchedName) {
        EXPECT_FALSE(log.contains(QByteArray("\t") + damage.unwatchedName + ","));
    }
    EXPECT_TRUE(RegistryReadable(home.Registry()));
    EXPECT_FALSE(home.Registry().contains("hKey"));
}

QByteArray Ini(const QByteArray& body) {
    return QByteArray(ProgramHome::kHeader) + body;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DamagedFiles,
    ::testing::Values(
        Damage{"SettingsOfBinaryGarbage", "config/vastrel.ini", Garbage(64 * 1024, 1), false,
               "Line 1", ""},
        Damage{"SettingsWithATenMegabyteLine", "config/vastrel.ini",
               Ini("[Preferences]\r\nJunk=" + QByteArray(10 << 20, 'x') +
                   "\r\nSave Data=0\r\nLines=3," + QByteArray(1 << 20, '9') + "\r\n"),
               true, "Sales desk", "Line 2"},
        Damage{"SettingsWithoutTheHeader", "config/vastrel.ini",
               "[Preferences]\r\nSave Data=0\r\nLines=3,\r\n", false, "Line 1", ""},
        Damage{"SettingsWithRepeatedKeys", "config/vastrel.ini",
               Ini("[Preferences]\r\nSave Data=0\r\nLines=3,\r\nSave Data=720\r\nLines=1,2,\r\n"
                   "[preferences]\r\nLines=1,\r\n"),
               true, "Sales desk", "Line 2"},
        Damage{"SettingsHalfGarbage", "config/vastrel.ini",
               Ini("[Preferences]\r\nSave Data=0\r\nLines=2,3,\r\n" + Garbage(4096, 2) +
                   "\r\n[Preferences]\r\nSave Data=5\r\n"),
               true, "Sales desk", "Line 1"},
        Damage{"RegistryOfBinaryGarbage", "state/vastrel/registry", Garbage(16 * 1024, 3), true,
               "Sales desk", "Line 1"},
        Damage{"RegistryWithBogusHandles", "state/vastrel/registry",
               "[Software\\Orlwen\\Pelmarsh]\n\"hKey\"=REG_SZ:\" 99999999999\"\n"
               "\"hTapi\"=REG_SZ:\"-7e300\"\n\"hKey\"=REG_SZ:\"&HFFFFFFFF\"\n[\n\"x\"=REG_SZ:\"\\",
               true, "Sales desk", "Line 1"},
        Damage{"ExchangeOfBinaryGarbage", "config/telephon.ini", Garbage(16 * 1024, 4), true,
               "Line 2", "Line 1"},
        Damage{"ExchangeWithNonsenseValues", "config/telephon.ini",
               "[Exchange]\nLines=2\nLines=-3\nTraffic=\xff\xfe\nSeed=1e999\nDrop=\n"
               "[Line2]\nName=\\xZZ\\\nVersions=0xFFFFFFFF-0x0\n[Line3]\nName=" +
                   QByteArray(100000, 'n') + "\n",
               true, "\\xZZ\\", "Line 1"}),
    [](const ::testing::TestParamInfo<Damage>& info) { return std::string(info.param.name); });

// An exchange without lines stops start-up at its "No lines to test" box; a
// SIGTERM then must still end the program, not leave it waiting forever.
TEST(Faults, AnExchangeWithoutLinesEndsOnSigtermDuringTheStartUpMessage) {
    ProgramHome home;
    home.Write("config/telephon.ini", "[Exchange]\nLines=-3\n");
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    QThread::msleep(500);
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_FALSE(home.Registry().contains("hKey"));
}

// ---- kill -9 at random moments ----------------------------------------------

TEST(Faults, KillNineDuringScansAndSavesLeavesReadableFilesAndWholeRecords) {
    ProgramHome home;
    const QByteArray settings = home.Read("config/vastrel.ini");
    const QByteArray exchange = home.Read("config/telephon.ini");
    std::mt19937 random(20261205);
    bool rang = false;
    for (int round = 0; round < 8; ++round) {
        QProcess* vastrel = home.Start();
        if (round % 2 == 1) home.WaitAnnounced(vastrel);
        if (!rang && home.Phone({"ring", "2"}) == 0) rang = true;
        QThread::msleep(std::uniform_int_distribution<int>(0, 1800)(random));
        ProgramHome::Stop(vastrel, SIGKILL);
        EXPECT_TRUE(RegistryReadable(home.Registry())) << "round " << round;
    }

    // The next copy finds the stale handles, takes over and announces itself.
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    const qsizetype before = home.DataLog().size();
    EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > before; }, 5000));
    ASSERT_EQ(vastrel->state(), QProcess::Running);
    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);

    EXPECT_TRUE(RegistryReadable(home.Registry()));
    EXPECT_FALSE(home.Registry().contains("hKey"));
    EXPECT_FALSE(home.Registry().contains("hTapi"));
    EXPECT_EQ(home.Read("config/vastrel.ini"), settings);
    EXPECT_EQ(home.Read("config/telephon.ini"), exchange);
    const QByteArray log = home.DataLog();
    EXPECT_GT(log.count("\tSales desk,"), 4);
    EXPECT_EQ(TornRecords(log), 0);
}

// ---- many copies at once ---------------------------------------------------

TEST(Faults, TenCopiesStartedTogetherLeaveExactlyOneRunning) {
    ProgramHome home;
    std::vector<QProcess*> copies;
    std::vector<QElapsedTimer> started(10);
    for (int i = 0; i < 10; ++i) {
        copies.push_back(home.Start({}, false));
        started[i].start();
    }
    for (QProcess* copy : copies) copy->waitForStarted(5000);
    std::vector<qint64> lifetime(10, -1);
    // Everyone but one ends; a copy may have started just before the first
    // had announced itself and then has nobody to hand over to, but it ends too.
    WaitFor(
        [&] {
            int ended = 0;
            for (int i = 0; i < 10; ++i) {
                if (lifetime[i] < 0 && copies[i]->state() == QProcess::NotRunning)
                    lifetime[i] = started[i].elapsed();
                ended += lifetime[i] >= 0;
            }
            return ended >= 9;
        },
        10000);
    QThread::msleep(1000);
    int running = 0;
    QProcess* survivor = nullptr;
    for (int i = 0; i < 10; ++i) {
        if (copies[i]->state() != QProcess::NotRunning) {
            ++running;
            survivor = copies[i];
            continue;
        }
        EXPECT_EQ(copies[i]->exitCode(), 0) << "copy " << i;
        // Start-up of ten programs shares two cores: a second each, and some.
        EXPECT_LT(lifetime[i], 2500 * e2e::Slowdown()) << "copy " << i;
    }
    ASSERT_EQ(running, 1);
    EXPECT_TRUE(home.WaitAnnounced(survivor));
    ASSERT_TRUE(ProgramHome::Stop(survivor, SIGTERM));
    EXPECT_EQ(survivor->exitCode(), 0);
}

// ---- a flood on the window's socket ------------------------------------------

class Peer {
public:
    explicit Peer(const QString& path) {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval timeout{10, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        ::setsockopt(fd_, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toLocal8Bit();
        std::memcpy(address.sun_path, bytes.constData(),
                    std::min<std::size_t>(bytes.size(), sizeof address.sun_path - 1));
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Peer() { ::close(fd_); }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    bool Connected() const { return connected_; }
    bool Send(const QByteArray& bytes) {
        return ::send(fd_, bytes.constData(), bytes.size(), MSG_NOSIGNAL) == bytes.size();
    }
    // Says it has nothing more to send, so a short frame ends at once.
    void EndSending() { ::shutdown(fd_, SHUT_WR); }
    // Everything the other side sends until it closes.
    QByteArray Answer() {
        QByteArray all;
        char chunk[64];
        ssize_t n = 0;
        while ((n = ::recv(fd_, chunk, sizeof chunk, 0)) > 0) all.append(chunk, n);
        return all;
    }

private:
    int fd_ = -1;
    bool connected_ = false;
};

QByteArray HandOverFrame(const QByteArray& text, platform::DWORD dwData = 3) {
    return CopyDataFrame::Encode({platform::WM_COPYDATA, 1, dwData, text + '\0'});
}

QByteArray MalformedFrame(std::mt19937& random, int kind) {
    QByteArray good = HandOverFrame("flood");
    switch (kind) {
        case 0:
            return Garbage(1 + random() % 300, random());
        case 1:
            return good.replace(0, 4, "VWMX");
        case 2: {  // cbData claims far more than the most a hand-over carries
            QByteArray f = good;
            f[24] = '\xff', f[25] = '\xff', f[26] = '\xff', f[27] = '\x7f';
            return f;
        }
        case 3:
            return good + "trailing";
        case 4:
            return good.left(static_cast<qsizetype>(random() % good.size()));
        case 5: {  // WM_CLOSE must never carry data
            QByteArray f = good;
            f[8] = char(platform::WM_CLOSE);
            return f;
        }
        case 6: {  // a message no window here knows
            QByteArray f = good;
            f[8] = '\x11';
            return f;
        }
        default: {  // frame size and cbData disagree
            QByteArray f = good;
            f[4] = char(f[4] + 1);
            return f;
        }
    }
}

TEST(Faults, AFloodOfHandOversAndMalformedFramesLeavesTheProgramScanning) {
    ProgramHome home;
    QProcess* vastrel = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(vastrel));
    const auto handle = home.PublishedHandle();
    ASSERT_TRUE(handle);
    const QString socket = platform::UnixWindowSystem::SocketPath(home.RuntimeDir(), *handle);
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 5000));

    constexpr int kSenders = 4;
    constexpr int kHandOvers = 10000;
    constexpr int kMalformed = 4000;
    std::atomic<int> answered{0}, refused{0}, badAnswered{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> senders;
    for (int t = 0; t < kSenders; ++t) {
        senders.emplace_back([&, t] {
            std::mt19937 random(t);
            for (int i = t; i < kHandOvers + kMalformed; i += kSenders) {
                Peer peer(socket);
                if (!peer.Connected()) {
                    ++refused;
                    continue;
                }
                if (i < kHandOvers) {
                    peer.Send(HandOverFrame("flood"));
                    if (peer.Answer() == CopyDataFrame::EncodeReply(0)) ++answered;
                } else {
                    peer.Send(MalformedFrame(random, i % 8));
                    peer.EndSending();
                    if (!peer.Answer().isEmpty()) ++badAnswered;
                }
            }
        });
    }
    // Meanwhile every interval still brings a scan, and with it a save.
    std::thread watcher([&] {
        while (!done) {
            const qsizetype size = home.DataLog().size();
            QThread::msleep(1500 * e2e::Slowdown());
            if (!done) {
                EXPECT_GT(home.DataLog().size(), size) << "no scan for 1.5 s";
            }
        }
    });
    for (std::thread& s : senders) s.join();
    done = true;
    watcher.join();

    EXPECT_EQ(badAnswered, 0);
    // A listening backlog that is briefly full refuses a few connections.
    EXPECT_GT(answered + refused, kHandOvers - 1);
    EXPECT_GT(answered, kHandOvers * 9 / 10);
    ASSERT_EQ(vastrel->state(), QProcess::Running);

    // Connections that say nothing are dropped after their time, and the
    // window answers afterwards as before.
    {
        std::vector<std::unique_ptr<Peer>> silent;
        for (int i = 0; i < 200; ++i) silent.push_back(std::make_unique<Peer>(socket));
        const qsizetype size = home.DataLog().size();
        EXPECT_TRUE(WaitFor([&] { return home.DataLog().size() > size; }, 3000));
        for (auto& peer : silent)
            if (peer->Connected()) {
                EXPECT_TRUE(peer->Answer().isEmpty());
            }
    }
    Peer last(socket);
    ASSERT_TRUE(last.Connected());
    ASSERT_TRUE(last.Send(HandOverFrame("flood")));
    EXPECT_EQ(last.Answer(), CopyDataFrame::EncodeReply(0));

    ASSERT_TRUE(ProgramHome::Stop(vastrel, SIGTERM));
    EXPECT_EQ(vastrel->exitCode(), 0);
    EXPECT_EQ(TornRecords(home.DataLog()), 0);
}

}  // namespace
