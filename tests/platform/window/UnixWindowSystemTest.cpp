// UnixWindowSystem between real processes; the test binary runs itself as the
// other process and every child is stopped by its pid.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QtEndian>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <optional>
#include <thread>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "platform/window/CopyDataFrame.h"
#include "platform/window/UnixWindowSystem.h"

using namespace platform;
using namespace std::chrono_literals;

namespace {

// Runs the event loop until the condition holds or the time is up.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
    for (QDeadlineTimer deadline(timeout); !condition();) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

sockaddr_un AddressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = path.toLocal8Bit();
    std::memcpy(address.sun_path, bytes.constData(), bytes.size());
    return address;
}

// Connected: the socket or -1 (a full backlog is waited for five seconds at
// most). Otherwise a socket file with nobody behind it, as kill -9 leaves one.
int Connect(const QString& path, int flags = 0, bool connect = true) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    const timeval fiveSeconds{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &fiveSeconds, sizeof(fiveSeconds));
    const sockaddr_un address = AddressOf(path);
    const auto* a = reinterpret_cast<const sockaddr*>(&address);
    if (connect && ::connect(fd, a, sizeof(address)) == 0) return fd;
    EXPECT_TRUE(connect || ::bind(fd, a, sizeof(address)) == 0);
    ::close(fd);
    return -1;
}

QByteArray With(QByteArray frame, qsizetype offset, quint32 value) {
    qToLittleEndian(value, frame.data() + offset);
    return frame;
}

const QByteArray kTest("test\0", 5);
const QByteArray kGood = CopyDataFrame::Encode({WM_COPYDATA, 0, 3, kTest});
// What a window must drop without running its procedure or answering.
const std::pair<const char*, QByteArray> kMalformed[] = {
    {"garbage", QByteArray(40, '\x01')},
    {"cbData 1000", With(With(kGood, 24, 1000), 4, 1028) + QByteArray(995, 'x')},
    {"size 99", With(kGood, 4, 99)},
    {"unknown message", With(kGood, 8, WM_MOUSEMOVE)},
    {"trailing bytes", kGood + "more"},
    {"one byte short", kGood.chopped(1)},
    {"header cut", kGood.first(20)},
    {"nothing at all", QByteArray()},
    {"5000 bytes of V", QByteArray(5000, 'V')},
};
constexpr int kMalformedCount = std::size(kMalformed);

// A copy of this test binary playing the other process; it reads
// "mode\nruntime dir\ntarget hwnd\ntext" and prints "child:key=value" lines.
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
            ::kill(static_cast<pid_t>(process_.processId()), SIGKILL), process_.waitForFinished(10000);
    }
    std::optional<QString> Value(const QString& key, std::chrono::milliseconds timeout = 20s) {
        std::optional<QString> found;
        const QByteArray prefix = "child:" + key.toUtf8() + "=";
        WaitUntil(
            [&] {
                output_ += process_.readAllStandardOutput();
                for (const QByteArray& line : output_.split('\n'))
                    if (line.startsWith(prefix)) found = QString::fromUtf8(line.mid(prefix.size()));
                return found.has_value();
            },
            timeout);
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
        r = {r.calls + 1, h, {msg, w, 0, {}}};
        if (msg == WM_COPYDATA)
            r.m = {msg, w, cds->dwData,
                   QByteArray(static_cast<const char*>(cds->lpData), cds->cbData)};
        return result;
    };
}

}  // namespace

TEST(Child, DISABLED_Run) {
    const QStringList args = qEnvironmentVariable("VASTREL_WINDOW_CHILD").split('\n');
    ASSERT_EQ(args.size(), 4);
    UnixWindowSystem system(args[1]);
    const HWND target = args[2].toUInt();
    const auto print = [](const char* key, long long value) {
        std::printf("\nchild:%s=%lld\n", key, value), std::fflush(stdout);
    };
    if (args[0] == "lock") {  // args[3]: the file that says go
        print("ready", 1);
        for (int i = 0; i < 15000 && !QFile::exists(args[3]); ++i) std::this_thread::sleep_for(1ms);
        const bool prev = system.PrevInstance();
        print("prev", prev);
        if (!prev) std::this_thread::sleep_for(30s);  // until killed
    } else if (args[0] == "send") {
        // As a second start hands its command line over: text, NUL, zeros.
        const HWND self = system.CreateWindowHandle();
        const QByteArray text = args[3].toLatin1();
        char buffer[255] = {};
        std::memcpy(buffer, text.constData(), text.size());
        COPYDATASTRUCT cds{text.isEmpty() ? 1u : 3u, DWORD(text.size() + 1), buffer};
        print("result", system.SendMessageA(target, WM_COPYDATA, self, LPARAM(&cds)));
        print("error", system.LastError());
        print("self", self);
    } else if (args[0] == "flood") {  // every malformed connection, then one good message
        long long answered = 0;
        for (int i = 0; i < 2000; ++i) {
            const int kind = i % (kMalformedCount + 1);
            COPYDATASTRUCT cds{7, 2, "n"};
            if (kind == kMalformedCount) {
                answered += system.SendMessageA(target, WM_COPYDATA, i, LPARAM(&cds)) == i + 1;
            } else if (const int fd = Connect(UnixWindowSystem::SocketPath(args[1], target));
                       fd >= 0) {
                const QByteArray& bytes = kMalformed[kind].second;
                ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
                ::close(fd);
            }
        }
        print("answered", answered);
    }
}

TEST_F(WindowSystemTest, SimultaneousStartsLeaveExactlyOneInstanceUntilItIsKilled) {
    const QString go = runtimeDir_ + "/go";
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 6; ++i)
        children.push_back(std::make_unique<Child>(QStringList{"lock", runtimeDir_, "0", go}));
    for (auto& child : children) ASSERT_TRUE(child->Value("ready"));
    ASSERT_TRUE(QFile(go).open(QIODevice::WriteOnly));
    std::vector<Child*> holders;
    for (auto& child : children) {
        const auto prev = child->Value("prev");
        ASSERT_TRUE(prev);
        if (*prev == "0") holders.push_back(child.get());
    }
    ASSERT_EQ(holders.size(), 1u) << "exactly one process may think it is first";
    auto self = std::make_unique<UnixWindowSystem>(runtimeDir_);
    EXPECT_TRUE(self->PrevInstance());
    holders[0]->KillHard();  // the kernel drops the lock without any clean-up
    EXPECT_FALSE(self->PrevInstance());
    EXPECT_FALSE(self->PrevInstance());  // still ours, asking again changes nothing
    UnixWindowSystem next(runtimeDir_);
    EXPECT_TRUE(next.PrevInstance());
    self.reset();
    EXPECT_FALSE(next.PrevInstance());
}

TEST_F(WindowSystemTest, DeadHandlesFailAtOnceStaleSocketsAreReplacedLiveOnesKept) {
    UnixWindowSystem system(runtimeDir_);
    HWND first = 0;
    {
        UnixWindowSystem a(runtimeDir_);
        first = a.CreateWindowHandle();
        ASSERT_TRUE(first != 0 && first <= HWND(INT32_MAX));
        UnixWindowSystem b(runtimeDir_);  // same pid, same counter start
        EXPECT_NE(b.CreateWindowHandle(), first);
    }
    const HWND stale = (HWND{1} << 9) | 1;  // another process's, killed with -9
    Connect(Socket(stale), 0, false);
    Connect(Socket(first), 0, false);
    for (const HWND h : {HWND{0}, (HWND{1} << 9) | 2, stale}) {  // none, no file, stale
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 0, 0), 0) << h;
        EXPECT_TRUE(timer.elapsed() < 100 && system.LastError() == ERROR_INVALID_HANDLE) << h;
    }
    UnixWindowSystem c(runtimeDir_);
    EXPECT_EQ(c.CreateWindowHandle(), first);
    EXPECT_GE(::close(Connect(Socket(first))), 0);
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
    for (const QByteArray text : {"", "test"}) {
        Child sender({"send", runtimeDir_, QString::number(h), text});
        const auto result = sender.Value("result");
        ASSERT_TRUE(result) << text.constData();
        EXPECT_EQ(result->toLongLong(), text.isEmpty() ? 4201 : 4203);
        EXPECT_EQ(sender.Value("error")->toInt(), ERROR_SUCCESS);
        EXPECT_EQ(std::tuple(received.calls, received.hWnd, received.m.msg),
                  std::tuple(text.isEmpty() ? 1 : 2, h, UINT{WM_COPYDATA}));
        EXPECT_EQ(received.m.wParam, sender.Value("self")->toULongLong());  // the sender's handle
        EXPECT_EQ(received.m.data, text + '\0');
    }
}

TEST_F(WindowSystemTest, MalformedFramesAreDroppedWhileGoodOnesStillWork) {
    UnixWindowSystem system(runtimeDir_, {300ms, 10000ms});
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 77));
    // What comes back before the window closes the connection.
    const auto exchange = [&](const QByteArray& bytes, bool closeWriteSide) {
        const int fd = Connect(Socket(h), SOCK_NONBLOCK);
        EXPECT_GE(fd, 0);
        ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
        if (closeWriteSide) ::shutdown(fd, SHUT_WR);
        QByteArray answer;
        char buf[64];
        const bool closed = WaitUntil(
            [&] {
                const ssize_t n = ::recv(fd, buf, sizeof(buf), MSG_DONTWAIT);
                if (n > 0) answer.append(buf, n);
                return n == 0 || (n < 0 && errno != EAGAIN);
            },
            3s);
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

TEST_F(WindowSystemTest, ConnectionsFromOtherUsersAreDropped) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 1));
    // Open the folder and the socket so only the credential check stands.
    for (const QString& path : {runtimeDir_, Socket(h)})
        ::chmod(path.toLocal8Bit().constData(), 0777);
    const QByteArray frame = CopyDataFrame::Encode({WM_CLOSE, 0, 0, {}});
    const sockaddr_un address = AddressOf(Socket(h));
    const pid_t pid = ::fork();
    if (pid == 0) {  // only system calls here: this is a copy of a Qt process
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(2);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const timeval fiveSeconds{5, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &fiveSeconds, sizeof(fiveSeconds));
        if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0)
            ::_exit(3);
        ::send(fd, frame.constData(), frame.size(), MSG_NOSIGNAL);
        char reply[16];
        ::_exit(::recv(fd, reply, sizeof(reply), 0) <= 0 ? 0 : 4);
    }
    ASSERT_GT(pid, 0);
    int status = -1;
    const bool exited = WaitUntil([&] { return ::waitpid(pid, &status, WNOHANG) == pid; }, 10s);
    if (!exited) ::kill(pid, SIGKILL), ::waitpid(pid, &status, 0);
    ASSERT_TRUE(exited && WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not connect, 4: got an answer";
    EXPECT_EQ(received.calls, 0);
}

TEST_F(WindowSystemTest, TerminationSignalsBecomeCloseOnTheEventLoop) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 0));
    system.RouteTerminationSignalsTo(h);
    for (const int signo : {SIGTERM, SIGINT, SIGHUP}) {
        const int before = received.calls;
        ASSERT_EQ(::kill(::getpid(), signo), 0);
        EXPECT_EQ(received.calls, before) << "ran inside the signal handler";
        EXPECT_TRUE(WaitUntil([&] { return received.calls == before + 1; }, 2s)) << signo;
        EXPECT_EQ(std::tuple(received.m.msg, received.hWnd), std::tuple(UINT{WM_CLOSE}, h));
    }
}

TEST_F(WindowSystemTest, AFloodOfMessagesLeavesTheEventLoopResponsive) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    int handled = 0;  // every call counts: a malformed frame let through shows here
    system.SetWindowLongA(h, GWL_WNDPROC, [&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
        ++handled;
        return msg == WM_COPYDATA && cds->dwData == 7 && cds->cbData == 2 ? LRESULT(w) + 1 : 0;
    });
    QElapsedTimer sinceTick;
    qint64 longestGap = 0;
    int ticks = 0;
    QTimer timer;
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        if (ticks++ > 0) longestGap = std::max(longestGap, sinceTick.elapsed());
        sinceTick.restart();
    });
    timer.start(5);
    sinceTick.start();
    Child flood({"flood", runtimeDir_, QString::number(h), ""});
    const auto answered = flood.Value("answered", 60s);
    ASSERT_TRUE(answered);
    longestGap = std::max(longestGap, sinceTick.elapsed());  // starved to the very end
    EXPECT_EQ(std::tuple(answered->toInt(), handled), std::tuple(200, 200));
    EXPECT_LT(longestGap, 500) << "the timer starved during the flood";
    EXPECT_GT(ticks, 5);
}
