// The built program on the Kamailio provider: three lines, calls made with
// sipp through a real Kamailio; the data log and In.log are read back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include "SipLab.h"

namespace {

// The built program in a home of its own; a copy of it, so the logs beside
// it stay in that home. Started and stopped through the lab, by its pid.
class Program {
public:
    explicit Program(SipLab& lab) : lab_(lab) {
        for (const char* d : {"config", "state", "data", "runtime", "program"})
            QDir().mkpath(Path(d));
        QFile::setPermissions(Path("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(qEnvironmentVariable("VASTREL_BIN_DIR") + "/vastrel", Path("program/vastrel"));
        Write("config/telephon.ini",
              "[Provider]\nName=kamailio\n[Kamailio]\nRpc=" + lab.RpcUrl().toUtf8() +
                  "\nEvents=" + lab.Events().toUtf8() +
                  "\nLine1=101\nLine1Name=Front desk\nLine2=102\nLine3=103\n");
        Write("config/vastrel.ini",
              "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
              "[Preferences]\r\nSave Data=0\r\nLines=1,2,3,\r\n");
    }
    bool Start() {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", root_.path());
        for (const auto& [var, dir] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                       {"XDG_STATE_HOME", "state"},
                                       {"XDG_DATA_HOME", "data"},
                                       {"XDG_RUNTIME_DIR", "runtime"}})
            env.insert(var, Path(dir));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.remove("DISPLAY");
        env.remove("WAYLAND_DISPLAY");
        process_ = lab_.Start(Path("program/vastrel"), {}, env);
        return process_ != nullptr &&
               SipLab::WaitFor([&] { return QFile::exists(Path("program/DataLogs/Data.log")); },
                               10000);
    }
    bool Stop() {
        lab_.Stop(process_);
        return process_->state() == QProcess::NotRunning;
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
    SipLab& lab_;
    QTemporaryDir root_;
    QProcess* process_ = nullptr;
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
