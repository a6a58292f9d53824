// The built program against another local user and a hostile environment:
// one instance per user, a hand-over nobody else can block or take, and an
// end on SIGTERM in every state. Another user is any uid other than ours: as
// root (as CI runs) the test hands files to one; otherwise those cases skip.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <atomic>
#include <csignal>
#include <thread>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "NonRegularFiles.h"
#include "ProgramHome.h"

using e2e::ProgramHome;
using e2e::WaitFor;

namespace {

constexpr uid_t kOtherUser = 54321;

struct Ended {
    bool ended = false;
    int code = -1;
    qint64 ms = 0;
    QByteArray err;
};

// Runs the program to its end, killed by its pid when it overruns.
Ended RunToEnd(ProgramHome& home, const QStringList& args, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    QProcess* p = home.Start(args, true, QProcess::SeparateChannels);
    Ended result;
    result.ended =
        p && p->waitForFinished(ms * e2e::Slowdown()) && p->exitStatus() == QProcess::NormalExit;
    result.ms = timer.elapsed();
    if (p) result.code = p->exitCode(), result.err = p->readAllStandardError();
    return result;
}

int Running(const std::vector<QProcess*>& copies) {
    return static_cast<int>(std::count_if(copies.begin(), copies.end(), [](QProcess* p) {
        return p->state() != QProcess::NotRunning;
    }));
}

// A folder every user may write to, standing in for /tmp.
QString MakeShared(ProgramHome& home) {
    const QString shared = home.Path("shared");
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    return shared;
}

QStringList SocketFiles(const QString& dir) {
    return QDir(dir).entryList({"*.hwnd"}, QDir::System | QDir::Files);
}

enum class Runtime { Unset, PlainFile, Mode0755, OtherUsers };

class UnusableRuntimeFolder : public ::testing::TestWithParam<Runtime> {};

TEST_P(UnusableRuntimeFolder, OneInstanceRunsHandsOverEndsOnSigtermAndTouchesNoSharedFolder) {
    if (GetParam() == Runtime::OtherUsers && ::geteuid() != 0)
        GTEST_SKIP() << "giving a folder to another user needs root";
    ProgramHome home;
    const QString runtime = home.Path("runtime");
    switch (GetParam()) {
        case Runtime::Unset:
            home.Env().remove("XDG_RUNTIME_DIR");
            break;
        case Runtime::PlainFile:
            QDir(runtime).removeRecursively();
            home.Write("runtime", "a file");
            break;
        case Runtime::Mode0755:
            ::chmod(QFile::encodeName(runtime).constData(), 0755);
            break;
        case Runtime::OtherUsers:
            ::chown(QFile::encodeName(runtime).constData(), kOtherUser, kOtherUser);
            break;
    }
    // The folder the old fallback used, planted by another user as a link to
    // a folder of ours that must keep its mode and stay empty.
    const QString shared = MakeShared(home);
    home.Env().insert("TMPDIR", shared);
    QDir().mkpath(home.Path("target"));
    ::chmod(QFile::encodeName(home.Path("target")).constData(), 0755);
    QFile::link(home.Path("target"), shared + QString("/vastrel-runtime-%1").arg(::geteuid()));
    const QStringList planted =
        QDir(shared).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);

    QProcess* first = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(first));
    const Ended second = RunToEnd(home, {"/test"});
    EXPECT_TRUE(second.ended && second.code == 0) << second.err.constData();
    std::vector<QProcess*> copies{first, home.Start()};
    EXPECT_TRUE(WaitFor([&] { return Running(copies) == 1; }, 3000));
    QThread::msleep(500);
    EXPECT_TRUE(WaitFor([&] { return Running(copies) == 1; }, 100));
    QElapsedTimer stopping;
    stopping.start();
    ASSERT_TRUE(ProgramHome::Stop(first, SIGTERM));
    EXPECT_LT(stopping.elapsed(), 3000 * e2e::Slowdown());
    EXPECT_EQ(first->exitCode(), 0);
    EXPECT_FALSE(home.Registry().contains("hKey"));
    EXPECT_EQ(QDir(shared).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System),
              planted);
    EXPECT_EQ(ModeOf(home.Path("target")), 0755);
    EXPECT_TRUE(QDir(home.Path("target")).isEmpty());
    EXPECT_TRUE(GetParam() == Runtime::PlainFile || !QFile::exists(runtime + "/vastrel"));
    EXPECT_EQ(ModeOf(home.Path("state/vastrel/runtime")), 0700);
}

INSTANTIATE_TEST_SUITE_P(Security, UnusableRuntimeFolder,
                         ::testing::Values(Runtime::Unset, Runtime::PlainFile, Runtime::Mode0755,
                                           Runtime::OtherUsers));

// A desktop start and one from cron or sudo see different runtime folders;
// they still never run side by side.
TEST(Security, StartsWithAndWithoutXdgRuntimeDirExcludeEachOther) {
    for (const bool desktopFirst : {true, false}) {
        ProgramHome home;
        QProcessEnvironment desktop = home.Env(), cron = home.Env();
        cron.remove("XDG_RUNTIME_DIR");
        home.Env() = desktopFirst ? desktop : cron;
        QProcess* first = home.Start();
        ASSERT_TRUE(home.WaitAnnounced(first));
        home.Env() = desktopFirst ? cron : desktop;
        const Ended second = RunToEnd(home, {}, 8000);
        EXPECT_TRUE(second.ended) << desktopFirst;
        EXPECT_TRUE(second.code == 0 || second.err.startsWith("vastrel: "))
            << second.err.constData();
        EXPECT_EQ(first->state(), QProcess::Running);
        EXPECT_TRUE(home.WaitAnnounced(first, 100)) << "the second never announced itself";
    }
}

TEST(Security, WithoutASafeLockItSaysSoAndExitsNonZero) {
    {  // no runtime folder, and the state folder would have to be made in a shared one
        ProgramHome home;
        home.Env().remove("XDG_RUNTIME_DIR");
        home.Env().insert("XDG_STATE_HOME", MakeShared(home) + "/state");
        const Ended run = RunToEnd(home, {});
        EXPECT_TRUE(run.ended && run.code != 0 && run.err.startsWith("vastrel: "))
            << run.err.constData();
        EXPECT_EQ(run.err.count('\n'), 1);
        EXPECT_TRUE(QDir(home.Path("shared")).isEmpty());
    }
    {  // the lock file is a folder
        ProgramHome home;
        QDir().mkpath(home.Path("runtime/vastrel/vastrel.lock"));
        ::chmod(QFile::encodeName(home.Path("runtime/vastrel")).constData(), 0700);
        const Ended run = RunToEnd(home, {});
        EXPECT_TRUE(run.ended && run.code != 0 && run.err.contains("lock")) << run.err.constData();
    }
}

TEST(Security, ASecondCopyWaitingForAnAnswerEndsAtOnceOnEachTerminationSignal) {
    ProgramHome home;
    QProcess* first = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(first));
    ::kill(static_cast<pid_t>(first->processId()), SIGSTOP);  // it will never answer
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        QProcess* second = home.Start({"/test"}, true, QProcess::SeparateChannels);
        ASSERT_TRUE(second);
        QThread::msleep(700);
        ASSERT_EQ(second->state(), QProcess::Running) << "it should be waiting for the answer";
        QElapsedTimer ending;
        ending.start();
        ::kill(static_cast<pid_t>(second->processId()), signal);
        EXPECT_TRUE(second->waitForFinished(1000 * e2e::Slowdown())) << signal;
        EXPECT_LT(ending.elapsed(), 1000 * e2e::Slowdown());
        EXPECT_TRUE(second->exitStatus() == QProcess::NormalExit && second->exitCode() != 0);
    }
    ::kill(static_cast<pid_t>(first->processId()), SIGCONT);
    EXPECT_EQ(RunToEnd(home, {"/test"}).code, 0);
}

TEST(Security, ACommandThatCannotBeDeliveredIsReportedWithANonZeroExit) {
    ProgramHome home;
    QProcess* first = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(first));
    // Start-up over (the first scan saved), so the store is no longer written.
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 10000));
    // The running copy's handle is lost from the store: nobody to hand over to.
    QString store = QString::fromLatin1(home.Registry());
    store.remove(QRegularExpression("\"hKey\"=[^\n]*\n"));
    home.Write("state/vastrel/registry", store.toLatin1());
    const Ended second = RunToEnd(home, {"/test"}, 8000);
    EXPECT_TRUE(second.ended && second.code != 0) << second.code;
    EXPECT_TRUE(second.err.contains("not delivered")) << second.err.constData();
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST(Security, ADisplayThatIsNotThereEndsWithOneLineAndCodeOne) {
    ProgramHome home;
    home.Env().remove("QT_QPA_PLATFORM");
    home.Env().insert("DISPLAY", ":87");  // no server: /tmp/.X11-unix/X87 does not exist
    const Ended run = RunToEnd(home, {});
    EXPECT_TRUE(run.ended) << "crashed or hung";
    EXPECT_EQ(run.code, 1);
    EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
    EXPECT_TRUE(run.err.contains("display"));
    EXPECT_FALSE(home.Registry().contains("hKey"));
}

// Connections that say nothing, reopened as soon as the program drops one.
class SilentFlood {
public:
    SilentFlood(const QString& path, int count) : path_(path), fds_(count, -1) {
        for (int& fd : fds_) fd = Open();
        thread_ = std::thread([this] {
            while (!stop_) {
                for (int& fd : fds_) {
                    pollfd p{fd, POLLIN, 0};
                    if (fd < 0 || ::poll(&p, 1, 0) > 0) {
                        if (fd >= 0) ::close(fd);
                        fd = Open();
                    }
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    ~SilentFlood() {
        stop_ = true;
        thread_.join();
        for (int fd : fds_) ::close(fd);
    }

private:
    int Open() const {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{AF_UNIX, {}};
        std::strncpy(address.sun_path, QFile::encodeName(path_).constData(),
                     sizeof address.sun_path - 1);
        ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        return fd;
    }
    QString path_;
    std::vector<int> fds_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(Security, HandOversAreAnsweredWithinASecondWhile300SilentConnectionsAreHeld) {
    ProgramHome home;
    QProcess* first = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(first));
    const QString socket = home.PublishedSocket();
    SilentFlood flood(socket, 300);
    QThread::msleep(500);
    for (int i = 0; i < 3; ++i) {
        const Ended second = RunToEnd(home, {"/test"});
        EXPECT_TRUE(second.ended && second.code == 0) << second.err.constData();
        EXPECT_LT(second.ms, 1000 * e2e::Slowdown());
    }
    EXPECT_EQ(first->state(), QProcess::Running);
}

TEST(Security, SocketFilesOfKilledCopiesAreRemovedAtTheNextStart) {
    ProgramHome home;
    const QString runtime = home.Path("runtime/vastrel");
    for (int round = 0; round < 2; ++round) {
        QProcess* copy = home.Start();
        ASSERT_TRUE(home.WaitAnnounced(copy));
        ProgramHome::Stop(copy, SIGKILL);
    }
    ASSERT_EQ(SocketFiles(runtime).size(), 1u) << "each start swept the one before";
    QProcess* copy = home.Start();
    ASSERT_TRUE(home.WaitAnnounced(copy));
    EXPECT_EQ(SocketFiles(runtime),
              QStringList{QString::number(home.PublishedHandle().value()) + ".hwnd"});
}

}  // namespace
