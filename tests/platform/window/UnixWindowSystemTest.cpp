// UnixWindowSystem between real processes (the test binary runs itself as the
// other process and every child is stopped by its pid), and the bytes of one
// message between them. Random mutations are left to fuzz/copydata_fuzzer.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "NonRegularFiles.h"
#include "platform/window/CopyDataFrame.h"
#include "platform/window/UnixWindowSystem.h"

using namespace platform;
using namespace std::chrono_literals;
using Status = CopyDataFrame::Status;

namespace {

// A socket at path: connected (the socket or -1), listening (the socket), or
// a file with nobody behind it, as kill -9 leaves one (-1).
enum class Sock { Connect, Listen, Stale };
int UnixSocket(const QString& path, Sock mode = Sock::Connect, int flags = 0) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    sockaddr_un address{AF_UNIX, {}};
    const QByteArray bytes = QFile::encodeName(path);
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    const auto* a = reinterpret_cast<const sockaddr*>(&address);
    if (mode == Sock::Connect && ::connect(fd, a, sizeof(address)) == 0) return fd;
    const bool bound = mode != Sock::Connect && ::bind(fd, a, sizeof(address)) == 0;
    EXPECT_TRUE(mode == Sock::Connect || bound);
    if (mode == Sock::Listen && bound && ::listen(fd, 4) == 0) return fd;
    ::close(fd);
    return -1;
}

QByteArray With(QByteArray frame, qsizetype offset, quint32 value) {
    qToLittleEndian(value, frame.data() + offset);
    return frame;
}

CopyDataFrame::Message HandOver(DWORD dwData, QByteArray data) {
    return {WM_COPYDATA, 0x1234, dwData, std::move(data)};
}

TEST(CopyDataFrame, RoundTripsWhatTravelsAndRefusesTheRest) {
    for (const auto& message :
         {HandOver(1, QByteArray(1, '\0')), HandOver(3, "test\0"), HandOver(0, {}),
          HandOver(7, QByteArray(256, 'x')), CopyDataFrame::Message{WM_CLOSE, ~WPARAM{0}, 0, {}}}) {
        const QByteArray frame = CopyDataFrame::Encode(message);
        ASSERT_EQ(frame.size(), CopyDataFrame::kHeaderSize + message.data.size());
        const auto decoded = CopyDataFrame::Decode(frame);
        ASSERT_EQ(decoded.status, Status::Complete);
        const auto& m = decoded.message;
        EXPECT_EQ(std::tuple(m.msg, m.wParam, m.dwData, m.data),
                  std::tuple(message.msg, message.wParam, message.dwData, message.data));
    }
    for (LRESULT r : {LRESULT{0}, LRESULT{42}, LRESULT{-1}, LRESULT{INT64_MIN}}) {
        const auto decoded = CopyDataFrame::DecodeReply(CopyDataFrame::EncodeReply(r));
        EXPECT_TRUE(decoded.status == Status::Complete && decoded.result == r) << r;
    }
    for (const auto& unsendable : {HandOver(3, QByteArray(257, 'x')),
                                   {WM_MOUSEMOVE, 0, 0, {}},
                                   {WM_CLOSE, 0, 1, {}},
                                   {WM_CLOSE, 0, 0, "x"}})
        EXPECT_TRUE(CopyDataFrame::Encode(unsendable).isEmpty()) << unsendable.msg;
}

TEST(CopyDataFrame, PrefixesAreIncompleteAndBadFramesInvalidAsSoonAsTheBytesShowIt) {
    const QByteArray good = CopyDataFrame::Encode(HandOver(3, QByteArray("test\0", 5)));
    for (qsizetype n = 0; n < good.size(); ++n)
        EXPECT_EQ(CopyDataFrame::Decode(good.first(n)).status, Status::Incomplete) << n;
    const QByteArray reply = CopyDataFrame::EncodeReply(5);
    EXPECT_EQ(CopyDataFrame::DecodeReply(reply.first(11)).status, Status::Incomplete);

    const QByteArray header = good.first(CopyDataFrame::kHeaderSize);
    const std::tuple<const char*, QByteArray, bool> bad[] = {
        // what, bytes, is a reply
        {"garbage, first byte", "G", false},
        {"wrong magic", "VWMX", false},
        {"cbData 1000", With(With(header, 24, 1000), 4, 1028), false},
        {"28 + cbData wraps", With(With(header, 24, 0xFFFFFFF0u), 4, 12), false},
        {"size too small", With(good, 4, CopyDataFrame::kHeaderSize + 4), false},
        {"size too large", With(good, 4, CopyDataFrame::kHeaderSize + 6), false},
        {"unknown message", With(good, 8, WM_MOUSEMOVE), false},
        {"close with data", With(good, 8, WM_CLOSE), false},
        {"trailing byte", good + "x", false},
        {"reply, trailing byte", reply + "x", true},
        {"reply, wrong magic", "VWM1", true},
    };
    for (const auto& [what, bytes, isReply] : bad)
        EXPECT_EQ(isReply ? CopyDataFrame::DecodeReply(bytes).status
                          : CopyDataFrame::Decode(bytes).status,
                  Status::Invalid)
            << what;
}

const QByteArray kTest("test\0", 5);
const QByteArray kGood = CopyDataFrame::Encode({WM_COPYDATA, 0, 3, kTest});
// What a window must drop without running its procedure or answering: bad at
// once, cut off (until the read timeout), nothing, and a flood.
const std::pair<const char*, QByteArray> kMalformed[] = {
    {"garbage", QByteArray(40, '\x01')},
    {"size 99", With(kGood, 4, 99)},
    {"trailing bytes", kGood + "more"},
    {"one byte short", kGood.chopped(1)},
    {"header cut", kGood.first(20)},
    {"nothing at all", QByteArray()},
    {"5000 bytes of V", QByteArray(5000, 'V')},
};

// A copy of this test binary playing the other process; it reads
// "mode\nruntime dir\nargument" and prints "child:key=value" lines.
class Child {
public:
    explicit Child(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VASTREL_WINDOW_CHILD", args.join('\n'));
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(),
                       {"--gtest_filter=Child.DISABLED_Run", "--gtest_also_run_disabled_tests"});
        process_.waitForStarted(5000);
    }
    ~Child() { KillHard(); }
    void KillHard() {  // kill -9 by pid: no clean-up runs in the child
        if (process_.state() != QProcess::NotRunning)
            ::kill(static_cast<pid_t>(process_.processId()), SIGKILL),
                process_.waitForFinished(10000);
    }
    std::optional<QString> Value(const QString& key) {  // from its "child:key=value" line
        const QByteArray prefix = "child:" + key.toUtf8() + "=";
        std::optional<QString> found;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                output_ += process_.readAllStandardOutput();
                for (const QByteArray& line : output_.split('\n'))
                    if (line.startsWith(prefix)) found = QString::fromUtf8(line.mid(prefix.size()));
                return found.has_value();
            },
            20000));
        return found;
    }

private:
    QProcess process_;
    QByteArray output_;
};

class WindowSystemTest : public ::testing::Test {
protected:
    QString Socket(HWND h) const { return UnixWindowSystem::SocketPath(runtimeDir_, h); }
    QTemporaryDir root_;  // private (0700), as the user's runtime folder is
    QString runtimeDir_ = root_.path();
};

struct Received {
    int calls = 0;
    HWND hWnd = 0;
    CopyDataFrame::Message m;  // the last message
};

WNDPROC Recorder(Received& r, LRESULT result) {
    return [&r, result](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
        const bool data = msg == WM_COPYDATA;
        r = {r.calls + 1,
             h,
             {msg, w, data ? cds->dwData : 0,
              data ? QByteArray((const char*)cds->lpData, cds->cbData) : ""}};
        return result;
    };
}

}  // namespace

TEST(Child, DISABLED_Run) {
    const QStringList args = qEnvironmentVariable("VASTREL_WINDOW_CHILD").split('\n');
    ASSERT_EQ(args.size(), 3);
    UnixWindowSystem system(args[1]);
    const auto print = [](const char* key, long long value) {
        std::printf("\nchild:%s=%lld\n", key, value), std::fflush(stdout);
    };
    if (args[0] == "send") {  // as a second start hands its command line over
        const HWND self = system.CreateWindowHandle();
        char buffer[255] = "test";
        COPYDATASTRUCT cds{3, 5, buffer};
        print("self", self);
        print("result", system.SendMessageA(args[2].toUInt(), WM_COPYDATA, self, LPARAM(&cds)));
        print("error", system.LastError());
    }
}

TEST_F(WindowSystemTest, DeadHandlesFailAtOnceStaleSocketsAreReplacedLiveOnesKept) {
    UnixWindowSystem system(runtimeDir_);
    HWND first = 0;
    {
        UnixWindowSystem a(runtimeDir_), b(runtimeDir_);  // same pid, same counter start
        first = a.CreateWindowHandle();
        EXPECT_NE(b.CreateWindowHandle(), first);
    }
    const HWND stale = (HWND{1} << 9) | 1;  // another process's, killed with -9
    UnixSocket(Socket(stale), Sock::Stale);
    UnixSocket(Socket(first), Sock::Stale);
    for (const HWND h : {HWND{0}, (HWND{1} << 9) | 2, stale}) {  // none, no file, stale
        const QDeadlineTimer soon(100);
        EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 0, 0), 0) << h;
        EXPECT_TRUE(!soon.hasExpired() && system.LastError() == ERROR_INVALID_HANDLE) << h;
    }
    UnixWindowSystem c(runtimeDir_);
    EXPECT_EQ(c.CreateWindowHandle(), first);
    EXPECT_GE(::close(UnixSocket(Socket(first))), 0);
    // The copy that takes the lock sweeps the files of dead copies only.
    const HWND otherDead = (HWND{2} << 9) | 7;
    UnixSocket(Socket(otherDead), Sock::Stale);
    UnixWindowSystem holder(runtimeDir_);
    ASSERT_EQ(holder.TakeInstanceLock(), InstanceLock::Result::Acquired);
    EXPECT_FALSE(QFile::exists(Socket(stale)) || QFile::exists(Socket(otherDead)));
    EXPECT_TRUE(QFile::exists(Socket(first)));
}

TEST_F(WindowSystemTest, TheLockIsRefusedUnlessARegularFileOfTheUser) {
    const QString lock = runtimeDir_ + "/vastrel.lock";
    const auto take = [&] {
        return ExitCodeWithin(
            3000, [&] { return int(UnixWindowSystem(runtimeDir_).TakeInstanceLock()); });
    };
    const int unavailable = int(InstanceLock::Result::Unavailable);
    ASSERT_TRUE(QDir().mkdir(lock));
    EXPECT_EQ(take(), unavailable) << "a folder";
    ASSERT_TRUE(QDir().rmdir(lock) && MakeFifo(lock));
    EXPECT_EQ(take(), unavailable) << "a FIFO, without waiting on it";
    ASSERT_TRUE(QFile::remove(lock) &&
                QFile(runtimeDir_ + "/elsewhere").open(QIODevice::WriteOnly));
    ASSERT_TRUE(QFile::link(runtimeDir_ + "/elsewhere", lock));
    EXPECT_EQ(take(), unavailable) << "a link";
    ASSERT_TRUE(QFile::remove(lock));
    if (::geteuid() == 0) {
        ASSERT_TRUE(QFile(lock).open(QIODevice::WriteOnly));
        ASSERT_EQ(::chown(QFile::encodeName(lock).constData(), 54321, 54321), 0);
        EXPECT_EQ(take(), unavailable) << "another user's";
        ASSERT_TRUE(QFile::remove(lock));
    }
    EXPECT_EQ(take(), int(InstanceLock::Result::Acquired));
    EXPECT_EQ(ModeOf(lock), 0600);
}

TEST_F(WindowSystemTest, HandOverArrivesIntactAndTheSenderWaitsForTheAnswer) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    const WNDPROC record = Recorder(received, 0);
    system.SetWindowLongA(h, GWL_WNDPROC, [&](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        record(hw, m, w, l);
        std::this_thread::sleep_for(300ms);
        return 4200 + LRESULT(received.m.dwData);  // the sender only knows it if it waited
    });
    Child sender({"send", runtimeDir_, QString::number(h)});
    const auto result = sender.Value("result");
    ASSERT_TRUE(result);
    EXPECT_EQ(std::pair(result->toLongLong(), sender.Value("error")->toInt()),
              std::pair(4203LL, int{ERROR_SUCCESS}));
    EXPECT_EQ(std::tuple(received.calls, received.hWnd, received.m.msg),
              std::tuple(1, h, UINT{WM_COPYDATA}));
    EXPECT_EQ(received.m.wParam, sender.Value("self")->toULongLong());  // the sender's handle
    EXPECT_EQ(received.m.data, kTest);
}

TEST_F(WindowSystemTest, MalformedFramesAreDroppedWhileGoodOnesStillWork) {
    UnixWindowSystem system(runtimeDir_, {300ms, 10000ms});
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 77));
    // What comes back before the window closes the connection.
    const auto exchange = [&](const QByteArray& bytes, bool closeWriteSide) {
        const int fd = UnixSocket(Socket(h), Sock::Connect, SOCK_NONBLOCK);
        EXPECT_GE(fd, 0);
        ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
        if (closeWriteSide) ::shutdown(fd, SHUT_WR);
        QByteArray answer;
        const bool closed = QTest::qWaitFor(
            [&] {
                char buf[64];
                const ssize_t n = ::recv(fd, buf, sizeof(buf), MSG_DONTWAIT);
                if (n > 0) answer.append(buf, n);
                return n == 0 || (n < 0 && errno != EAGAIN);
            },
            3000);
        ::close(fd);
        return closed ? answer : QByteArray("<still open>");
    };
    for (const bool closeWriteSide : {false, true})  // stalled, or closed after sending
        for (const auto& [name, bytes] : kMalformed)
            EXPECT_EQ(exchange(bytes, closeWriteSide), QByteArray()) << name << closeWriteSide;
    EXPECT_EQ(received.calls, 0);
    EXPECT_EQ(exchange(kGood, false), CopyDataFrame::EncodeReply(77));
    EXPECT_EQ(std::tuple(received.calls, received.m.data), std::tuple(1, kTest));
}

TEST_F(WindowSystemTest, TerminationSignalsBecomeCloseOnTheEventLoop) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 0));
    system.RouteTerminationSignalsTo(h);
    ASSERT_EQ(::kill(::getpid(), SIGTERM), 0);
    EXPECT_EQ(received.calls, 0) << "ran inside the signal handler";
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.calls == 1; }, 2000));
    EXPECT_EQ(std::tuple(received.m.msg, received.hWnd), std::tuple(UINT{WM_CLOSE}, h));
}
