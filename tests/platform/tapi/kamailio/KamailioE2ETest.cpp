// The built program on the Kamailio provider: three lines, calls made with
// sipp through a real Kamailio; the data log and In.log are read back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

#include "SipLab.h"

namespace {

class Program {
public:
    explicit Program(const SipLab& lab) {
        for (const char* d : {"config", "state", "data", "runtime", "program"})
            QDir().mkpath(root_.path() + "/" + d);
        QFile::setPermissions(root_.path() + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // A program folder of its own, so the logs stay in this test's home.
        QFile::copy(qEnvironmentVariable("VASTREL_BIN_DIR") + "/vastrel", Path("program/vastrel"));
        Write("config/telephon.ini",
              "[Provider]\nName=kamailio\n[Kamailio]\nRpc=" + lab.RpcUrl().toUtf8() +
                  "\nEvents=" + lab.Events().toUtf8() +
                  "\nLine1=101\nLine1Name=Front desk\nLine2=102\n"
                  "Line3=103\n");
        Write("config/vastrel.ini",
              "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
              "[Preferences]\r\nSave Data=0\r\nLines=1,2,3,\r\n");
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root_.path());
        env.insert("XDG_CONFIG_HOME", Path("config"));
        env.insert("XDG_STATE_HOME", Path("state"));
        env.insert("XDG_DATA_HOME", Path("data"));
        env.insert("XDG_RUNTIME_DIR", Path("runtime"));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        process_.setProcessEnvironment(env);
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Program() {
        if (process_.state() != QProcess::NotRunning) {
            ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
            process_.waitForFinished(3000);
        }
    }
    bool Start() {
        process_.start(Path("program/vastrel"), {});
        return process_.waitForStarted(5000) &&
               SipLab::WaitFor([&] { return QFile::exists(Path("program/DataLogs/Data.log")); },
                               10000);
    }
    bool Stop() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGTERM);
        return process_.waitForFinished(5000);
    }
    QString Path(const QString& rel) const { return root_.path() + "/" + rel; }
    QByteArray Read(const QString& rel) const {
        QFile f(Path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray DataLog() const { return Read("program/DataLogs/Data.log"); }

private:
    void Write(const QString& rel, const QByteArray& text) {
        QFile f(Path(rel));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(text);
    }

    QTemporaryDir root_;
    QProcess process_;
};

TEST(KamailioEndToEnd, LinesGoOnlineAndIdleAndEveryRingingCallIsLoggedOnce) {
    if (!SipLab::Available()) GTEST_SKIP() << "kamailio, kamailio-extra-modules or sipp missing";
    SipLab lab(26060);
    ASSERT_TRUE(lab.StartKamailio()) << lab.Diagnostics().toStdString();
    ASSERT_TRUE(lab.StartExtension(2500, 2));
    Program vastrel(lab);
    ASSERT_TRUE(vastrel.Start());

    QProcess* first = lab.Call("102", "5551234", R"("Ada Lovelace")", 1500);
    ASSERT_TRUE(SipLab::WaitFor([&] { return vastrel.DataLog().contains("\r\n 2\t102,"); }, 5000));
    ASSERT_TRUE(SipLab::Finished(first, 8000)) << lab.Diagnostics().toStdString();
    QProcess* second = lab.Call("103", "0301234567", "Bob", 1200, /*cancel=*/true);
    ASSERT_TRUE(SipLab::Finished(second, 6000)) << lab.Diagnostics().toStdString();
    // Two scans after the last call, so the idle records are written.
    const qsizetype size = vastrel.DataLog().size();
    ASSERT_TRUE(SipLab::WaitFor([&] { return vastrel.DataLog().size() > size + 400; }, 6000));
    ASSERT_TRUE(vastrel.Stop());

    const QByteArray log = vastrel.DataLog();
    EXPECT_TRUE(log.contains("\r\n 1\tFront desk,"));
    EXPECT_FALSE(log.contains("Line cannot be monitored"));
    const qsizetype online2 = log.indexOf("\r\n 2\t102,                  \t  1\t");
    const qsizetype online3 = log.indexOf("\r\n 3\t103,                  \t  1\t");
    ASSERT_GE(online2, 0) << log.toStdString();
    ASSERT_GE(online3, 0);
    EXPECT_GT(log.indexOf("\r\n 2\t102,                  \t  0\t", online2), online2);
    EXPECT_GT(log.indexOf("\r\n 3\t103,                  \t  0\t", online3), online3);
    EXPECT_EQ(log.indexOf("\r\n 1\tFront desk,           \t  1\t"), -1);

    const QByteArray in = vastrel.Read("program/In.log");
    EXPECT_EQ(in.count("5551234"), 1) << in.toStdString();
    EXPECT_EQ(in.count("0301234567"), 1);
    EXPECT_TRUE(in.contains(" Ada Lovelace" + QByteArray(42 - 12, ' ') + "5551234"));
    EXPECT_TRUE(in.contains(" Bob" + QByteArray(42 - 3, ' ') + "0301234567"));
}

}  // namespace
