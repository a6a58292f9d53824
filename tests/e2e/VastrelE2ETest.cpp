// The built program in a temporary home with its own XDG folders, driven by
// vastrel-phone, second starts and signals; the files it writes are read back.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>

namespace {

QString BinDir() {
    return qEnvironmentVariable("VASTREL_BIN_DIR");
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        QThread::msleep(25);
    }
    return true;
}

class Home {
public:
    Home() {
        for (const char* d : {"config", "state", "data", "runtime", "program"})
            QDir().mkpath(root_.path() + "/" + d);
        QFile::setPermissions(root_.path() + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A program folder of its own, so data files stay in this test's home.
        QFile::copy(BinDir() + "/vastrel", Program());
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", root_.path());
        env_.insert("XDG_CONFIG_HOME", root_.path() + "/config");
        env_.insert("XDG_STATE_HOME", root_.path() + "/state");
        env_.insert("XDG_DATA_HOME", root_.path() + "/data");
        env_.insert("XDG_RUNTIME_DIR", root_.path() + "/runtime");
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        env_.remove("DISPLAY");
        env_.remove("WAYLAND_DISPLAY");
        Write("config/telephon.ini",
              "[Exchange]\nLines=3\nTraffic=none\n[Line3]\nName=Sales desk\n");
        Write("config/vastrel.ini",
              "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
              "[Preferences]\r\nSave Data=0\r\nLines=2,3,\r\n");
    }
    ~Home() {
        for (QProcess* p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
                p->waitForFinished(3000);
            }
            delete p;
        }
    }
    QString Program() const { return root_.path() + "/program/vastrel"; }
    QString Path(const QString& rel) const { return root_.path() + "/" + rel; }
    void Write(const QString& rel, const QByteArray& text) {
        QFile f(Path(rel));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text);
    }
    QByteArray Read(const QString& rel) const {
        QFile f(Path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray Registry() const { return Read("state/vastrel/registry"); }

    QProcess* Start(const QStringList& args = {}) {
        auto* p = new QProcess;
        p->setProcessEnvironment(env_);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(Program(), args);
        p->waitForStarted(5000);
        processes_.push_back(p);
        return p;
    }
    // The running copy has announced itself and scanned.
    bool WaitRunning() {
        return WaitFor([&] { return Registry().contains("hKey") && QFile::exists(DataLog()); },
                       10000);
    }
    QString DataLog() const { return Path("program/DataLogs/Data.log"); }
    int Phone(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(BinDir() + "/vastrel-phone", args);
        if (!p.waitForFinished(5000)) {
            p.kill();
            p.waitForFinished(1000);
            return -1;
        }
        return p.exitCode();
    }
    static bool Stop(QProcess* p, int signal) {
        ::kill(static_cast<pid_t>(p->processId()), signal);
        return p->waitForFinished(5000);
    }

private:
    QTemporaryDir root_;
    QProcessEnvironment env_;
    std::vector<QProcess*> processes_;
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
