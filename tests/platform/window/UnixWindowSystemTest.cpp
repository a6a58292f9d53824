// UnixWindowSystem between real processes: the instance lock, the hand-over
// arriving intact while the sender waits, stale and foreign sockets, malformed
// frames, signals and a flood. The test binary runs itself as the other
// process; every child is stopped by its pid.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
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

// Runs the event loop until the condition holds or the time is up, without
// sleeping between passes, so round trips stay fast.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() >= timeout.count()) return false;
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

// A connected socket or -1; a full backlog is waited for five seconds at most.
int Connect(const QString& path, int flags = 0) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    const timeval fiveSeconds{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &fiveSeconds, sizeof(fiveSeconds));
    const sockaddr_un address = AddressOf(path);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0) return fd;
    ::close(fd);
    return -1;
}

// A socket file with nobody behind it, as a process killed with -9 leaves.
void MakeStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    EXPECT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

QByteArray With(QByteArray frame, qsizetype offset, quint32 value) {
    qToLittleEndian(value, frame.data() + offset);
    return frame;
}

const QByteArray kTest("test\0", 5);

// A copy of this test binary playing the other process.
class Child {
public:
    Child(const QString& mode, const QString& runtimeDir, const QString& hwnd = {},
          const QString& text = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VASTREL_WINDOW_CHILD", mode);
        env.insert("VASTREL_WINDOW_DIR", runtimeDir);
        env.insert("VASTREL_WINDOW_HWND", hwnd);
        env.insert("VASTREL_WINDOW_TEXT", text);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(),
                       {"--gtest_filter=Child.DISABLED_Run", "--gtest_also_run_disabled_tests"});
        process_.waitForStarted(5000);
    }
    ~Child() { KillHard(); }
    // kill -9 by pid: no clean-up runs in the child.
    void KillHard() {
        if (process_.state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished(10000);
    }
    // The value the child printed as "child:key=value", waiting for it.
    std::optional<QString> Value(const QString& key, std::chrono::milliseconds timeout = 20s) {
        std::optional<QString> found;
        WaitUntil(
            [&] {
                output_ += process_.readAllStandardOutput();
                for (const QByteArray& line : output_.split('\n'))
                    if (line.startsWith("child:" + key.toUtf8() + "="))
                        found = QString::fromUtf8(line.mid(7 + key.size())).trimmed();
                return found.has_value();
            },
            timeout);
        return found;
    }

private:
    QProcess process_;
    QByteArray output_;
};

void Print(const char* key, long long value) {
    std::printf("\nchild:%s=%lld\n", key, value);
    std::fflush(stdout);
}

class WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QDir().mkpath(runtimeDir_));
        QFile::setPermissions(runtimeDir_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString Socket(HWND h) const { return UnixWindowSystem::SocketPath(runtimeDir_, h); }
    QTemporaryDir root_;
    QString runtimeDir_ = root_.path() + "/runtime";
};

struct Received {
    int calls = 0;
    HWND hWnd = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    DWORD dwData = 0;
    QByteArray data;
};

WNDPROC Recorder(Received& r, LRESULT result) {
    return [&r, result](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        r = {r.calls + 1, h, msg, w, 0, {}};
        if (const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l); msg == WM_COPYDATA) {
            r.dwData = cds->dwData;
            r.data = QByteArray(static_cast<const char*>(cds->lpData), cds->cbData);
        }
        return result;
    };
}

}  // namespace

TEST(Child, DISABLED_Run) {
    const QString mode = qEnvironmentVariable("VASTREL_WINDOW_CHILD");
    UnixWindowSystem system(qEnvironmentVariable("VASTREL_WINDOW_DIR"));
    const HWND target = qEnvironmentVariable("VASTREL_WINDOW_HWND").toUInt();
    if (mode == "lock") {
        Print("ready", 1);
        const QString go = qEnvironmentVariable("VASTREL_WINDOW_TEXT");
        for (int i = 0; i < 15000 && !QFile::exists(go); ++i) std::this_thread::sleep_for(1ms);
        const bool prev = system.PrevInstance();
        Print("prev", prev);
        if (!prev) std::this_thread::sleep_for(30s);  // until killed
    } else if (mode == "send") {
        // As a second start hands its command line over: text, NUL, zeros.
        const HWND self = system.CreateWindowHandle();
        const QByteArray text = qEnvironmentVariable("VASTREL_WINDOW_TEXT").toLatin1();
        char buffer[255] = {};
        std::memcpy(buffer, text.constData(), text.size());
        COPYDATASTRUCT cds{text.isEmpty() ? 1u : 3u, static_cast<DWORD>(text.size() + 1), buffer};
        Print("result", system.SendMessageA(target, WM_COPYDATA, self, LPARAM(&cds)));
        Print("error", system.LastError());
        Print("self", self);
    } else if (mode == "flood") {
        // Nine malformed connections for every good message.
        const QByteArray good = CopyDataFrame::Encode({WM_COPYDATA, 0, 7, "n"});
        const QByteArray bad[] = {QByteArray(40, '\x01'),
                                  With(good, 24, 1000),
                                  With(good, 4, 99),
                                  good.first(20),
                                  good.chopped(1),
                                  good + "trailing",
                                  With(good, 8, WM_MOUSEMOVE),
                                  QByteArray(),
                                  QByteArray(5000, 'V')};
        long long answered = 0;
        for (int i = 0; i < 10000; ++i) {
            if (i % 10 == 0) {
                COPYDATASTRUCT cds{7, 2, "n"};
                answered +=
                    system.SendMessageA(target, WM_COPYDATA, WPARAM(i), LPARAM(&cds)) == i + 1;
                continue;
            }
            const int fd = Connect(
                UnixWindowSystem::SocketPath(qEnvironmentVariable("VASTREL_WINDOW_DIR"), target));
            const QByteArray& bytes = bad[i % 10 - 1];
            if (fd >= 0) ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
        }
        Print("answered", answered);
    }
}

TEST_F(WindowSystemTest, TenSimultaneousStartsLeaveExactlyOneInstance) {
    const QString go = root_.path() + "/go";
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 10; ++i)
        children.push_back(std::make_unique<Child>("lock", runtimeDir_, QString(), go));
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

TEST_F(WindowSystemTest, LiveSocketsAreNeverTakenOverStaleOnesAreAndNeitherAnswers) {
    UnixWindowSystem system(runtimeDir_);
    HWND first = 0;
    {
        UnixWindowSystem a(runtimeDir_);
        first = a.CreateWindowHandle();
        ASSERT_NE(first, 0u);
        EXPECT_LE(first, static_cast<HWND>(INT32_MAX));
        UnixWindowSystem b(runtimeDir_);  // same pid, same counter start
        EXPECT_NE(b.CreateWindowHandle(), first);
        // Another object of this process owns it: refused, not run directly.
        EXPECT_EQ(system.SendMessageA(first, WM_CLOSE, 0, 0), 0);
        EXPECT_EQ(system.LastError(), ERROR_INVALID_HANDLE);
    }
    const HWND stale = (HWND{1} << 9) | 1;  // another process's, killed with -9
    MakeStaleSocket(Socket(stale));
    MakeStaleSocket(Socket(first));
    for (const HWND h : {HWND{0}, (HWND{1} << 9) | 2, stale}) {  // none, no file, stale
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 0, 0), 0) << h;
        EXPECT_LT(timer.elapsed(), 100) << h;
        EXPECT_EQ(system.LastError(), ERROR_INVALID_HANDLE) << h;
    }
    UnixWindowSystem c(runtimeDir_);
    EXPECT_EQ(c.CreateWindowHandle(), first);
    const int fd = Connect(Socket(first));
    EXPECT_GE(fd, 0);
    ::close(fd);
    struct stat info {};
    ASSERT_EQ(::stat(Socket(first).toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "socket open to others";
    c.DestroyWindowHandle(first);
    EXPECT_FALSE(QFile::exists(Socket(first)));
}

TEST_F(WindowSystemTest, ProceduresChainAndOneMayUnhookItselfWhileItRuns) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    EXPECT_FALSE(system.SetWindowLongA(h, GWL_WNDPROC, [](HWND, UINT msg, WPARAM w, LPARAM) {
        return msg == WM_CLOSE ? 100 + LRESULT(w) : LRESULT{0};
    }));  // a new window starts without one
    auto alive = std::make_shared<int>(7);
    int hooked = 0;
    WNDPROC old;
    old = system.SetWindowLongA(h, GWL_WNDPROC, [&, h, alive](HWND hw, UINT m, WPARAM w, LPARAM l) {
        if (++hooked == 1) return system.CallWindowProcA(old, hw, m, w, l);
        system.SetWindowLongA(h, GWL_WNDPROC, old);  // destroys the stored copy of this lambda
        return LRESULT{*alive};                      // whose captures must still be alive
    });
    alive.reset();
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 5, 0), 105);  // own handle: run directly
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 5, 0), 7);
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 1, 0), 101);
    EXPECT_EQ(hooked, 2);
    EXPECT_FALSE(system.SetWindowLongA(h, -16, old));
    EXPECT_EQ(system.LastError(), ERROR_INVALID_PARAMETER);
}

class HandOverTest : public WindowSystemTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(HandOverTest, ArrivesIntactAndTheSenderWaitsForTheAnswer) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    const WNDPROC record = Recorder(received, 0);
    system.SetWindowLongA(h, GWL_WNDPROC, [&](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        record(hw, m, w, l);
        std::this_thread::sleep_for(300ms);
        return 4200 + LRESULT(received.dwData);  // the sender only knows it if it waited
    });
    const QByteArray text = GetParam();
    Child sender("send", runtimeDir_, QString::number(h), text);
    const auto result = sender.Value("result");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->toLongLong(), text.isEmpty() ? 4201 : 4203);
    EXPECT_EQ(sender.Value("error")->toInt(), ERROR_SUCCESS);
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.hWnd, h);
    EXPECT_EQ(received.msg, WM_COPYDATA);
    EXPECT_EQ(received.wParam, sender.Value("self")->toULongLong());  // the sender's own handle
    EXPECT_EQ(received.data, text + '\0');
}

INSTANTIATE_TEST_SUITE_P(Commands, HandOverTest, ::testing::Values("", "test"));

TEST_F(WindowSystemTest, SendGivesUpAtItsDeadlineAndRefusesBadParameters) {
    UnixWindowSystem system(runtimeDir_, {2000ms, 300ms});
    // A listener that never answers, as a hung receiver looks from outside.
    const HWND silent = (HWND{1} << 9) | 2;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(Socket(silent));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(system.SendMessageA(silent, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(system.LastError(), ERROR_TIMEOUT);
    EXPECT_GE(timer.elapsed(), 290);
    EXPECT_LT(timer.elapsed(), 3000);

    char big[300] = {};
    COPYDATASTRUCT tooBig{0, sizeof(big), big};
    for (const LPARAM l : {LPARAM{0}, LPARAM(&tooBig)}) {
        EXPECT_EQ(system.SendMessageA(silent, WM_COPYDATA, 0, l), 0);
        EXPECT_EQ(system.LastError(), ERROR_INVALID_PARAMETER);
    }
    ::close(fd);
}

TEST_F(WindowSystemTest, MalformedFramesAreDroppedWhileGoodOnesStillWork) {
    UnixWindowSystem system(runtimeDir_, {300ms, 10000ms});
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 77));
    const QByteArray good = CopyDataFrame::Encode({WM_COPYDATA, 0, 3, kTest});
    // What comes back before the window closes the connection.
    const auto exchange = [&](const QByteArray& bytes, bool closeWriteSide) {
        const int fd = Connect(Socket(h), SOCK_NONBLOCK);
        EXPECT_GE(fd, 0);
        ::send(fd, bytes.constData(), bytes.size(), MSG_NOSIGNAL);
        if (closeWriteSide) ::shutdown(fd, SHUT_WR);
        QByteArray answer;
        const bool closed = WaitUntil(
            [&] {
                char buf[64];
                const ssize_t n = ::recv(fd, buf, sizeof(buf), MSG_DONTWAIT);
                if (n > 0) answer.append(buf, n);
                return n == 0 || (n < 0 && errno != EAGAIN);
            },
            3s);
        ::close(fd);
        return closed ? answer : QByteArray("<still open>");
    };
    const std::tuple<const char*, QByteArray, bool> cases[] = {
        {"cbData 1000", With(With(good, 24, 1000), 4, 1028) + QByteArray(995, 'x'), false},
        {"trailing bytes", good + "more", false},
        {"truncated and stalled", good.first(31), false},
        {"truncated then closed", good.first(31), true},
        {"nothing at all", QByteArray(), false},
    };
    for (const auto& [name, bytes, closeWriteSide] : cases)
        EXPECT_EQ(exchange(bytes, closeWriteSide), QByteArray()) << name;
    EXPECT_EQ(received.calls, 0);
    EXPECT_EQ(exchange(good, false), CopyDataFrame::EncodeReply(77));
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.data, kTest);
}

TEST_F(WindowSystemTest, ConnectionsFromOtherUsersAreDropped) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 1));
    // Open the folder and the socket so only the credential check stands.
    for (const QString& path : {root_.path(), runtimeDir_, Socket(h)})
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
    ASSERT_TRUE(exited);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not connect, 4: got an answer";
    EXPECT_EQ(received.calls, 0);
}

TEST_F(WindowSystemTest, TerminationSignalsBecomeCloseOnTheEventLoop) {
    {
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
            EXPECT_EQ(received.msg, WM_CLOSE);
            EXPECT_EQ(received.hWnd, h);
        }
    }
    struct sigaction action {};
    ::sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL) << "handlers left behind";
}

TEST_F(WindowSystemTest, AFloodOfMessagesLeavesTheEventLoopResponsive) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    int handled = 0;
    system.SetWindowLongA(h, GWL_WNDPROC, [&](HWND, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
        if (msg != WM_COPYDATA || cds->dwData != 7 || cds->cbData != 2) return 0;
        ++handled;
        return LRESULT(w) + 1;
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
    timer.start(20);
    sinceTick.start();

    Child flood("flood", runtimeDir_, QString::number(h));
    const auto answered = flood.Value("answered", 120s);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->toInt(), 1000);
    EXPECT_EQ(handled, 1000);
    EXPECT_LT(longestGap, 500) << "the timer starved during the flood";
    EXPECT_GT(ticks, 5);
}
