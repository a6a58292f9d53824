#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QtEndian>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <set>
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

// The test binary runs itself as the other process; this variable picks the
// part it plays.
constexpr char kChildMode[] = "VASTREL_WINDOW_CHILD";
constexpr char kChildFilter[] = "--gtest_filter=ChildProcess.DISABLED_Run";

qint64 ElapsedMs(const QElapsedTimer& t) {
    return t.elapsed();
}

// Runs the event loop until the condition holds or the time is up. Unlike
// QTest::qWaitFor it never sleeps between passes, so a message that arrives is
// handled at once and round trips stay fast.
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

// connect() to a path: 0 or the errno.
int ConnectError(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    const int rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address));
    const int error = rc == 0 ? 0 : errno;
    ::close(fd);
    return error;
}

// A socket file with nobody behind it, as a process killed with -9 leaves.
void MakeStaleSocketFile(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ::close(fd);
}

// Bytes written straight to a window's socket from this process; the window
// answers on the event loop, which WaitForClose runs.
class RawClient {
public:
    explicit RawClient(const QString& path)
        : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
        const sockaddr_un address = AddressOf(path);
        connected_ =
            ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    }
    ~RawClient() { ::close(fd_); }
    bool connected() const { return connected_; }
    bool Send(const QByteArray& bytes) {
        return ::send(fd_, bytes.constData(), bytes.size(), MSG_NOSIGNAL) == bytes.size();
    }
    void ShutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    struct Outcome {
        bool closed = false;
        QByteArray received;
    };
    Outcome WaitForClose(std::chrono::milliseconds timeout) {
        Outcome outcome;
        WaitUntil(
            [&] {
                char buf[64];
                const ssize_t n = ::recv(fd_, buf, sizeof(buf), MSG_DONTWAIT);
                if (n > 0) outcome.received.append(buf, n);
                if (n == 0 || (n < 0 && errno != EAGAIN)) outcome.closed = true;
                return outcome.closed;
            },
            timeout);
        return outcome;
    }

private:
    int fd_;
    bool connected_ = false;
};

// A copy of this test binary playing the other process. Stopped by its pid
// when the test ends, whatever happened.
class Child {
public:
    Child(const QString& mode, const QString& runtimeDir,
          const QList<std::pair<QString, QString>>& extra = {}) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(kChildMode, mode);
        env.insert("VASTREL_WINDOW_DIR", runtimeDir);
        for (const auto& [key, value] : extra) env.insert(key, value);
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QCoreApplication::applicationFilePath(),
                       {kChildFilter, "--gtest_also_run_disabled_tests"});
        process_.waitForStarted(5000);
    }
    ~Child() {
        if (process_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
            process_.waitForFinished(5000);
        }
    }
    pid_t Pid() const { return static_cast<pid_t>(process_.processId()); }

    // The value the child printed as "child:key=value", waiting for it.
    std::optional<QString> Value(const QString& key, std::chrono::milliseconds timeout = 20s) {
        std::optional<QString> found;
        WaitUntil(
            [&] {
                output_ += process_.readAllStandardOutput();
                for (const QByteArray& line : output_.split('\n')) {
                    if (line.startsWith("child:" + key.toUtf8() + "=")) {
                        found = QString::fromUtf8(line.mid(7 + key.size())).trimmed();
                        return true;
                    }
                }
                return false;
            },
            timeout);
        return found;
    }
    bool WaitForExit(std::chrono::milliseconds timeout = 60s) {
        WaitUntil([&] { return process_.state() == QProcess::NotRunning; }, timeout);
        output_ += process_.readAllStandardOutput();
        return process_.state() == QProcess::NotRunning;
    }
    void KillHard() {
        ::kill(Pid(), SIGKILL);
        WaitForExit(10s);
    }

private:
    QProcess process_;
    QByteArray output_;
};

void Print(const char* key, long long value) {
    std::printf("\nchild:%s=%lld\n", key, value);
    std::fflush(stdout);
}

HWND EnvHandle() {
    return qEnvironmentVariable("VASTREL_WINDOW_HWND").toUInt();
}

void SleepUntilKilled() {
    for (int i = 0; i < 3000; ++i) std::this_thread::sleep_for(10ms);  // at most 30 s
}

class WindowSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        runtimeDir_ = root_.path() + "/runtime";
        QDir().mkpath(runtimeDir_);
        QFile::setPermissions(runtimeDir_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QTemporaryDir root_;
    QString runtimeDir_;
};

struct Received {
    int calls = 0;
    HWND hWnd = 0;
    UINT msg = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
    DWORD dwData = 0;
    QByteArray data;
};

WNDPROC Recorder(Received& r, LRESULT result) {
    return [&r, result](HWND h, UINT msg, WPARAM w, LPARAM l) -> LRESULT {
        ++r.calls;
        r.hWnd = h;
        r.msg = msg;
        r.wParam = w;
        r.lParam = l;
        if (msg == WM_COPYDATA) {
            const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(l);
            r.dwData = cds->dwData;
            r.data = QByteArray(static_cast<const char*>(cds->lpData), cds->cbData);
        }
        return result;
    };
}

}  // namespace

// ---- the other process ---------------------------------------------------

TEST(ChildProcess, DISABLED_Run) {
    const QString mode = qEnvironmentVariable(kChildMode);
    UnixWindowSystem system(qEnvironmentVariable("VASTREL_WINDOW_DIR"));
    if (mode == "lock") {
        Print("ready", 1);
        const QString go = qEnvironmentVariable("VASTREL_WINDOW_GO");
        for (int i = 0; i < 15000 && !QFile::exists(go); ++i) std::this_thread::sleep_for(1ms);
        const bool prev = system.PrevInstance();
        Print("prev", prev);
        if (!prev) SleepUntilKilled();
    } else if (mode == "own") {
        Print("hwnd", system.CreateWindowHandle());
        SleepUntilKilled();
    } else if (mode == "send") {
        const HWND self = system.CreateWindowHandle();
        const QByteArray text = qEnvironmentVariable("VASTREL_WINDOW_TEXT").toLatin1();
        char buffer[255] = {};  // the hand-over buffer: text, NUL, zeros
        std::memcpy(buffer, text.constData(), text.size());
        COPYDATASTRUCT cds;
        cds.dwData = qEnvironmentVariable("VASTREL_WINDOW_DWDATA").toUInt();
        cds.cbData = static_cast<DWORD>(text.size() + 1);
        cds.lpData = buffer;
        QElapsedTimer timer;
        timer.start();
        const LRESULT r =
            system.SendMessageA(EnvHandle(), WM_COPYDATA, self, reinterpret_cast<LPARAM>(&cds));
        const qint64 elapsed = timer.elapsed();
        QFile marker(qEnvironmentVariable("VASTREL_WINDOW_MARKER"));
        ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
        marker.close();
        Print("self", self);
        Print("error", system.LastError());
        Print("elapsed", elapsed);
        Print("result", r);
    } else if (mode == "close") {
        const LRESULT r = system.SendMessageA(EnvHandle(), WM_CLOSE, 0, 0);
        Print("error", system.LastError());
        Print("result", r);
    } else if (mode == "flood") {
        const HWND target = EnvHandle();
        const QString path =
            UnixWindowSystem::SocketPath(qEnvironmentVariable("VASTREL_WINDOW_DIR"), target);
        const QByteArray good = CopyDataFrame::Encode({WM_COPYDATA, 0, 7, "n"});
        long long answered = 0;
        for (int i = 0; i < 10000; ++i) {
            if (i % 10 == 0) {
                COPYDATASTRUCT cds;
                cds.dwData = 7;
                cds.cbData = 2;
                cds.lpData = "n";
                if (system.SendMessageA(target, WM_COPYDATA, static_cast<WPARAM>(i),
                                        reinterpret_cast<LPARAM>(&cds)) == i + 1)
                    ++answered;
                continue;
            }
            QByteArray bad = good;
            switch (i % 10) {
                case 1:
                    bad = QByteArray(40, static_cast<char>(i));
                    break;
                case 2:
                    qToLittleEndian<quint32>(1000, bad.data() + 24);
                    break;
                case 3:
                    qToLittleEndian<quint32>(99, bad.data() + 4);
                    break;
                case 4:
                    bad.truncate(20);
                    break;
                case 5:
                    bad.chop(1);
                    break;
                case 6:
                    qToLittleEndian<quint32>(WM_MOUSEMOVE, bad.data() + 8);
                    break;
                case 7:
                    bad += "trailing";
                    break;
                case 8:
                    bad.clear();
                    break;
                default:
                    bad = QByteArray(5000, 'V');
                    break;
            }
            const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const timeval fiveSeconds{5, 0};
            ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &fiveSeconds, sizeof(fiveSeconds));
            const sockaddr_un address = AddressOf(path);
            if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0)
                ::send(fd, bad.constData(), bad.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            ::close(fd);
        }
        Print("answered", answered);
    } else {
        FAIL() << "unknown child mode " << mode.toStdString();
    }
}

// ---- the previous-instance test ------------------------------------------

TEST_F(WindowSystemTest, PrevInstanceKeepsTheLockUntilItsHolderGoes) {
    auto first = std::make_unique<UnixWindowSystem>(runtimeDir_);
    EXPECT_FALSE(first->PrevInstance());
    EXPECT_FALSE(first->PrevInstance());  // still ours, asking again changes nothing
    UnixWindowSystem second(runtimeDir_);
    EXPECT_TRUE(second.PrevInstance());
    first.reset();
    EXPECT_FALSE(second.PrevInstance());
}

TEST_F(WindowSystemTest, TenSimultaneousStartsLeaveExactlyOneInstance) {
    const QString go = root_.path() + "/go";
    std::vector<std::unique_ptr<Child>> children;
    for (int i = 0; i < 10; ++i)
        children.push_back(std::make_unique<Child>(
            "lock", runtimeDir_, QList<std::pair<QString, QString>>{{"VASTREL_WINDOW_GO", go}}));
    for (auto& child : children) ASSERT_TRUE(child->Value("ready"));
    ASSERT_TRUE(QFile(go).open(QIODevice::WriteOnly));

    Child* holder = nullptr;
    int others = 0;
    for (auto& child : children) {
        const auto prev = child->Value("prev");
        ASSERT_TRUE(prev);
        if (*prev == "0") {
            EXPECT_EQ(holder, nullptr) << "two processes both think they are first";
            holder = child.get();
        } else {
            ++others;
        }
    }
    ASSERT_NE(holder, nullptr);
    EXPECT_EQ(others, 9);

    UnixWindowSystem self(runtimeDir_);
    EXPECT_TRUE(self.PrevInstance());
    holder->KillHard();  // kill -9: no clean-up runs, the kernel drops the lock
    EXPECT_FALSE(self.PrevInstance());
}

// ---- handles and procedures ----------------------------------------------

TEST_F(WindowSystemTest, HandlesAreDistinctPositiveAndOwnASocketUntilDestroyed) {
    UnixWindowSystem system(runtimeDir_);
    std::set<HWND> handles;
    for (int i = 0; i < 3; ++i) {
        const HWND h = system.CreateWindowHandle();
        ASSERT_NE(h, 0u);
        EXPECT_LE(h, static_cast<HWND>(INT32_MAX));
        EXPECT_TRUE(QFileInfo(UnixWindowSystem::SocketPath(runtimeDir_, h)).exists());
        handles.insert(h);
    }
    EXPECT_EQ(handles.size(), 3u);
    const HWND h = *handles.begin();
    system.DestroyWindowHandle(h);
    EXPECT_FALSE(QFileInfo::exists(UnixWindowSystem::SocketPath(runtimeDir_, h)));
    system.DestroyWindowHandle(h);
    EXPECT_EQ(system.LastError(), ERROR_INVALID_HANDLE);
}

TEST_F(WindowSystemTest, LiveSocketIsNeverTakenOverButAStaleOneIs) {
    HWND first = 0;
    {
        UnixWindowSystem a(runtimeDir_);
        first = a.CreateWindowHandle();
        UnixWindowSystem b(runtimeDir_);  // same pid, same counter start
        const HWND other = b.CreateWindowHandle();
        EXPECT_NE(other, first);
        EXPECT_EQ(ConnectError(UnixWindowSystem::SocketPath(runtimeDir_, first)), 0);
    }
    const QString path = UnixWindowSystem::SocketPath(runtimeDir_, first);
    MakeStaleSocketFile(path);
    ASSERT_EQ(ConnectError(path), ECONNREFUSED);

    UnixWindowSystem c(runtimeDir_);
    EXPECT_EQ(c.CreateWindowHandle(), first);
    EXPECT_EQ(ConnectError(path), 0);
    struct stat info {};
    ASSERT_EQ(::stat(path.toLocal8Bit().constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0077, 0u) << "socket readable by others";
}

TEST_F(WindowSystemTest, SetWindowLongAReturnsThePreviousProcedureForChaining) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    EXPECT_EQ(system.CallWindowProcA(WNDPROC{}, h, WM_CLOSE, 0, 0), 0);

    const WNDPROC original =
        system.SetWindowLongA(h, GWL_WNDPROC, [](HWND, UINT msg, WPARAM w, LPARAM) -> LRESULT {
            return msg == WM_CLOSE ? 100 + static_cast<LRESULT>(w) : 0;
        });
    EXPECT_FALSE(original);  // a new window starts without one

    std::vector<UINT> seen;
    WNDPROC old;
    old = system.SetWindowLongA(h, GWL_WNDPROC, [&](HWND hw, UINT m, WPARAM w, LPARAM l) {
        seen.push_back(m);
        return system.CallWindowProcA(old, hw, m, w, l);
    });
    ASSERT_TRUE(old);
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 5, 0), 105);  // own handle: run directly
    EXPECT_EQ(system.SendMessageA(h, WM_MOUSEMOVE, 0, 514), 0);
    EXPECT_EQ(seen, (std::vector<UINT>{WM_CLOSE, WM_MOUSEMOVE}));

    // Unhook: the old one comes back and the hook is out of the path.
    system.SetWindowLongA(h, GWL_WNDPROC, old);
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 1, 0), 101);
    EXPECT_EQ(seen.size(), 2u);

    EXPECT_FALSE(system.SetWindowLongA(h, -16, old));
    EXPECT_EQ(system.LastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 1, 0), 101);  // unchanged
    EXPECT_FALSE(system.SetWindowLongA(h + 1, GWL_WNDPROC, old));
    EXPECT_EQ(system.LastError(), ERROR_INVALID_HANDLE);
}

TEST_F(WindowSystemTest, AProcedureMayUnhookItselfWhileItRuns) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    auto state = std::make_shared<int>(7);
    system.SetWindowLongA(h, GWL_WNDPROC, [](HWND, UINT, WPARAM, LPARAM) { return LRESULT{1}; });
    WNDPROC old;
    old = system.SetWindowLongA(
        h, GWL_WNDPROC, [&system, &old, h, state](HWND, UINT, WPARAM, LPARAM) {
            system.SetWindowLongA(h, GWL_WNDPROC, old);  // destroys the stored copy of us
            return LRESULT{*state};                      // our captures must still be alive
        });
    state.reset();
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 0, 0), 7);
    EXPECT_EQ(system.SendMessageA(h, WM_CLOSE, 0, 0), 1);
}

// ---- messages between processes ------------------------------------------

struct HandOverCase {
    DWORD dwData;
    const char* text;
};

class HandOverTest : public WindowSystemTest, public ::testing::WithParamInterface<HandOverCase> {};

TEST_P(HandOverTest, ArrivesIntactAndTheSenderWaitsForTheProcedure) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    const QString marker = root_.path() + "/sender-returned";
    Received received;
    bool senderWaited = false;
    const WNDPROC record = Recorder(received, 0);
    system.SetWindowLongA(h, GWL_WNDPROC, [&](HWND hw, UINT m, WPARAM w, LPARAM l) -> LRESULT {
        record(hw, m, w, l);
        // Hold the call: a sender that did not wait would mark its return now.
        std::this_thread::sleep_for(300ms);
        senderWaited = !QFile::exists(marker);
        return 4200 + static_cast<LRESULT>(received.dwData);
    });

    const QString text = GetParam().text;
    Child sender("send", runtimeDir_,
                 {{"VASTREL_WINDOW_HWND", QString::number(h)},
                  {"VASTREL_WINDOW_DWDATA", QString::number(GetParam().dwData)},
                  {"VASTREL_WINDOW_TEXT", text},
                  {"VASTREL_WINDOW_MARKER", marker}});
    const auto result = sender.Value("result");
    ASSERT_TRUE(result);
    EXPECT_EQ(result->toLongLong(), 4200 + GetParam().dwData);
    EXPECT_EQ(sender.Value("error")->toInt(), ERROR_SUCCESS);
    EXPECT_GE(sender.Value("elapsed")->toLongLong(), 300);
    EXPECT_TRUE(senderWaited);

    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.hWnd, h);
    EXPECT_EQ(received.msg, WM_COPYDATA);
    EXPECT_EQ(received.wParam, sender.Value("self")->toULongLong());  // the sender's own handle
    EXPECT_EQ(received.dwData, GetParam().dwData);
    EXPECT_EQ(received.data, QByteArray(GetParam().text, static_cast<qsizetype>(text.size()) + 1));
    EXPECT_TRUE(sender.WaitForExit());
}

INSTANTIATE_TEST_SUITE_P(Codes, HandOverTest,
                         ::testing::Values(HandOverCase{1, ""}, HandOverCase{3, "test"}));

TEST_F(WindowSystemTest, CloseFromAnotherProcessReachesTheProcedure) {
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 9));
    Child sender("close", runtimeDir_, {{"VASTREL_WINDOW_HWND", QString::number(h)}});
    EXPECT_EQ(sender.Value("result"), "9");
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.msg, WM_CLOSE);
    EXPECT_EQ(received.lParam, 0);
}

TEST_F(WindowSystemTest, HandlesNobodyOwnsFailAtOnce) {
    UnixWindowSystem system(runtimeDir_);
    COPYDATASTRUCT cds;
    char text[] = "test";
    cds.dwData = 3;
    cds.cbData = 5;
    cds.lpData = text;
    const auto lParam = reinterpret_cast<LPARAM>(&cds);

    Child owner("own", runtimeDir_);
    const auto dead = owner.Value("hwnd");
    ASSERT_TRUE(dead);
    owner.KillHard();
    const HWND deadHandle = dead->toUInt();
    ASSERT_TRUE(QFileInfo::exists(UnixWindowSystem::SocketPath(runtimeDir_, deadHandle)));

    UnixWindowSystem sibling(runtimeDir_);
    const HWND siblings = sibling.CreateWindowHandle();  // this process, but not ours
    const HWND noSocket = (HWND{1} << 9) | 1;
    for (const HWND h : {HWND{0}, noSocket, deadHandle, siblings}) {
        QElapsedTimer timer;
        timer.start();
        EXPECT_EQ(system.SendMessageA(h, WM_COPYDATA, 0, lParam), 0) << h;
        EXPECT_LT(ElapsedMs(timer), 100) << h;
        EXPECT_EQ(system.LastError(), ERROR_INVALID_HANDLE) << h;
    }
}

TEST_F(WindowSystemTest, SendGivesUpAtItsDeadlineAndRefusesBadParameters) {
    UnixWindowSystem system(runtimeDir_, {2000ms, 300ms});
    // A listener that never answers, as a hung receiver looks from outside.
    const HWND silent = (HWND{1} << 9) | 2;
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = AddressOf(UnixWindowSystem::SocketPath(runtimeDir_, silent));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(::listen(fd, 4), 0);

    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(system.SendMessageA(silent, WM_CLOSE, 0, 0), 0);
    EXPECT_EQ(system.LastError(), ERROR_TIMEOUT);
    EXPECT_GE(ElapsedMs(timer), 290);
    EXPECT_LT(ElapsedMs(timer), 3000);

    char big[300] = {};
    COPYDATASTRUCT tooBig;
    tooBig.cbData = sizeof(big);
    tooBig.lpData = big;
    COPYDATASTRUCT noData;
    noData.cbData = 5;
    for (const LPARAM l :
         {LPARAM{0}, reinterpret_cast<LPARAM>(&tooBig), reinterpret_cast<LPARAM>(&noData)}) {
        EXPECT_EQ(system.SendMessageA(silent, WM_COPYDATA, 0, l), 0);
        EXPECT_EQ(system.LastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_EQ(system.SendMessageA(silent, WM_MOUSEMOVE, 0, 0), 0);
    EXPECT_EQ(system.LastError(), ERROR_INVALID_PARAMETER);
    ::close(fd);
}

TEST_F(WindowSystemTest, MalformedFramesAreDroppedWhileGoodOnesStillWork) {
    UnixWindowSystem system(runtimeDir_, {300ms, 10000ms});
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 77));
    const QString path = UnixWindowSystem::SocketPath(runtimeDir_, h);
    const QByteArray good = CopyDataFrame::Encode({WM_COPYDATA, 0, 3, QByteArray("test\0", 5)});

    auto with = [&](qsizetype offset, quint32 value) {
        QByteArray frame = good;
        qToLittleEndian(value, frame.data() + offset);
        return frame;
    };
    QByteArray oversized = with(24, 1000);
    qToLittleEndian<quint32>(1028, oversized.data() + 4);
    oversized += QByteArray(1000 - 5, 'x');
    const struct {
        const char* name;
        QByteArray bytes;
        bool closeWriteSide;
    } cases[] = {
        {"frame size larger than its parts", with(4, 40), false},
        {"frame size smaller than its parts", with(4, 30), false},
        {"cbData 1000", oversized, false},
        {"unknown message", with(8, WM_MOUSEMOVE), false},
        {"close carrying data", with(8, WM_CLOSE), false},
        {"trailing bytes", good + "more", false},
        {"garbage",
         QByteArray("\x7f"
                    "ELF garbage garbage garbage garbage"),
         false},
        {"truncated and stalled", good.first(31), false},
        {"truncated then closed", good.first(31), true},
        {"nothing at all", QByteArray(), false},
    };
    for (const auto& c : cases) {
        RawClient client(path);
        ASSERT_TRUE(client.connected()) << c.name;
        if (!c.bytes.isEmpty()) client.Send(c.bytes);
        if (c.closeWriteSide) client.ShutdownWrite();
        const auto outcome = client.WaitForClose(3s);
        EXPECT_TRUE(outcome.closed) << c.name;
        EXPECT_TRUE(outcome.received.isEmpty()) << c.name;
    }
    EXPECT_EQ(received.calls, 0);

    RawClient client(path);
    ASSERT_TRUE(client.Send(good));
    const auto outcome = client.WaitForClose(3s);
    EXPECT_EQ(outcome.received, CopyDataFrame::EncodeReply(77));
    EXPECT_EQ(received.calls, 1);
    EXPECT_EQ(received.data, QByteArray("test\0", 5));
}

TEST_F(WindowSystemTest, ConnectionsFromOtherUsersAreDropped) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
    UnixWindowSystem system(runtimeDir_);
    const HWND h = system.CreateWindowHandle();
    Received received;
    system.SetWindowLongA(h, GWL_WNDPROC, Recorder(received, 1));
    // Open the folder and the socket so only the credential check stands.
    const QString path = UnixWindowSystem::SocketPath(runtimeDir_, h);
    ::chmod(root_.path().toLocal8Bit().constData(), 0755);
    ::chmod(runtimeDir_.toLocal8Bit().constData(), 0755);
    ::chmod(path.toLocal8Bit().constData(), 0777);

    const QByteArray frame = CopyDataFrame::Encode({WM_CLOSE, 0, 0, {}});
    const sockaddr_un address = AddressOf(path);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Only system calls here: this is a copy of a Qt process.
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
    if (!exited) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(exited);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: could not connect, 4: got an answer";
    EXPECT_EQ(received.calls, 0);
}

// ---- signals and load ----------------------------------------------------

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
        return static_cast<LRESULT>(w) + 1;
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

    Child flood("flood", runtimeDir_, {{"VASTREL_WINDOW_HWND", QString::number(h)}});
    const auto answered = flood.Value("answered", 120s);
    ASSERT_TRUE(answered);
    EXPECT_EQ(answered->toInt(), 1000);
    EXPECT_EQ(handled, 1000);
    EXPECT_LT(longestGap, 500) << "the timer starved during the flood";
    EXPECT_GT(ticks, 5);
}
