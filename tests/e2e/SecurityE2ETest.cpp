// The built program against another local user and a hostile environment:
// one instance per user, a hand-over nobody else can block or take, and an
// end on SIGTERM in every state. Another user is any uid other than ours: as
// root (as CI runs) the test hands files to one; otherwise those cases skip.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "NonRegularFiles.h"
#include "ProgramHome.h"

using e2e::Ended;
using e2e::ProgramHome;
using e2e::WaitFor;

namespace {

// A folder every user may write to, standing in for /tmp.
QString MakeShared(ProgramHome& home) {
    const QString shared = home.Path("shared");
    QDir().mkpath(shared);
    ::chmod(QFile::encodeName(shared).constData(), 01777);
    return shared;
}

QStringList Entries(const QString& dir) {
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
}

// A desktop start and one from cron or sudo see different runtime folders,
// and either may be unusable; the program then keeps its sockets in its
// state folder, never in a shared one, and two copies never run side by side.
TEST(Security, WhateverTheRuntimeFolderOneInstanceRunsHandsOverAndTouchesNoSharedFolder) {
    for (const std::string kind :
         {"usable", "unset", "a plain file", "mode 0755", "another user's"}) {
        if (kind == "another user's" && ::geteuid() != 0) continue;  // giving it away needs root
        SCOPED_TRACE(kind);
        ProgramHome home;
        const QString runtime = home.Path("runtime");
        const QByteArray runtimeName = QFile::encodeName(runtime);
        // The other kind of start: without a runtime folder, or with a good one.
        QProcessEnvironment other = home.Env();
        other.remove("XDG_RUNTIME_DIR");
        if (kind != "usable") {
            QDir().mkpath(home.Path("desktop"));
            ::chmod(QFile::encodeName(home.Path("desktop")).constData(), 0700);
            other.insert("XDG_RUNTIME_DIR", home.Path("desktop"));
        }
        if (kind == "unset") home.Env().remove("XDG_RUNTIME_DIR");
        if (kind == "a plain file") QDir(runtime).removeRecursively(), home.Write("runtime", "");
        if (kind == "mode 0755") ::chmod(runtimeName.constData(), 0755);
        if (kind == "another user's") {
            EXPECT_EQ(::chown(runtimeName.constData(), 54321, 54321), 0);
        }
        // The folder the old fallback used, planted by another user as a link
        // to a folder of ours that must keep its mode and stay empty.
        const QString shared = MakeShared(home);
        home.Env().insert("TMPDIR", shared);
        other.insert("TMPDIR", shared);
        QDir().mkpath(home.Path("target"));
        ::chmod(QFile::encodeName(home.Path("target")).constData(), 0755);
        QFile::link(home.Path("target"), shared + QString("/vastrel-runtime-%1").arg(::geteuid()));
        const QStringList planted = Entries(shared);

        QProcess* first = home.Start();
        ASSERT_TRUE(home.WaitAnnounced(first));
        const Ended second = home.RunToEnd({"/test"});
        EXPECT_TRUE(second.ended && second.code == 0) << second.err.constData();
        std::swap(home.Env(), other);
        const Ended third = home.RunToEnd({}, 8000);
        std::swap(home.Env(), other);
        EXPECT_TRUE(third.ended && (third.code == 0 || third.err.startsWith("vastrel: ")))
            << third.err.constData();
        EXPECT_EQ(first->state(), QProcess::Running);
        EXPECT_TRUE(home.WaitAnnounced(first, 100)) << "another copy announced itself";
        QElapsedTimer stopping;
        stopping.start();
        EXPECT_TRUE(ProgramHome::EndsOnSigterm(first));
        EXPECT_LT(stopping.elapsed(), 3000 * e2e::Slowdown());
        EXPECT_FALSE(home.Registry().contains("hKey"));
        EXPECT_EQ(Entries(shared), planted);
        EXPECT_EQ(ModeOf(home.Path("target")), 0755);
        EXPECT_TRUE(QDir(home.Path("target")).isEmpty());
        EXPECT_EQ(QFileInfo(runtime + "/vastrel").isDir(), kind == "usable");
        EXPECT_EQ(ModeOf(home.Path("state/vastrel/runtime")), 0700);
    }
}

// A start that cannot be safe, or has no display, ends at once with one line
// saying why and exit code 1.
TEST(Security, AStartWithoutASafeLockOrADisplaySaysSoInOneLineAndExitsWithOne) {
    for (const std::string says :
         {"no private folder", "cannot take the instance lock", "cannot open the display"}) {
        SCOPED_TRACE(says);
        ProgramHome home;
        if (says == "no private folder") {  // and the state folder would be in a shared one
            home.Env().remove("XDG_RUNTIME_DIR");
            home.Env().insert("XDG_STATE_HOME", MakeShared(home) + "/state");
        } else if (says == "cannot take the instance lock") {  // it is a folder
            QDir().mkpath(home.Path("runtime/vastrel/vastrel.lock"));
            ::chmod(QFile::encodeName(home.Path("runtime/vastrel")).constData(), 0700);
        } else {
            home.Env().remove("QT_QPA_PLATFORM");
            home.Env().insert("DISPLAY", ":87");  // no /tmp/.X11-unix/X87
        }
        const Ended run = home.RunToEnd({});
        EXPECT_TRUE(run.ended) << "crashed or hung";
        EXPECT_EQ(run.code, 1);
        EXPECT_TRUE(run.err.startsWith(QByteArray("vastrel: ") + says.c_str()))
            << run.err.constData();
        EXPECT_EQ(run.err.count('\n'), 1) << run.err.constData();
        EXPECT_TRUE(Entries(home.Path("shared")).isEmpty());
        EXPECT_FALSE(home.Registry().contains("hKey"));
    }
}

TEST(Security, ASecondCopyEndsAtOnceOnEachSignalWhileWaitingAndReportsAnUndeliveredCommand) {
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
    EXPECT_EQ(home.RunToEnd({"/test"}).code, 0);

    // Start-up over (the first scan saved), so the store is no longer written;
    // then the running copy's handle is lost from it: nobody to hand over to.
    ASSERT_TRUE(WaitFor([&] { return home.DataLog().size() > 0; }, 10000));
    QString store = QString::fromLatin1(home.Registry());
    store.remove(QRegularExpression("\"hKey\"=[^\n]*\n"));
    home.Write("state/vastrel/registry", store.toLatin1());
    const Ended undelivered = home.RunToEnd({"/test"}, 8000);
    EXPECT_TRUE(undelivered.ended && undelivered.code != 0) << undelivered.code;
    EXPECT_TRUE(undelivered.err.contains("not delivered")) << undelivered.err.constData();
    EXPECT_EQ(first->state(), QProcess::Running);
}

}  // namespace
