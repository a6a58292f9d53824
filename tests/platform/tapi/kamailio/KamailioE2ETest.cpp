// The built program on the Kamailio provider: three lines, calls made with
// sipp through a real Kamailio; the data log and In.log are read back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "SipLab.h"

namespace {

TEST(KamailioEndToEnd, LinesGoOnlineAndIdleAndEveryRingingCallIsLoggedOnce) {
    if (!SipLab::Available()) GTEST_SKIP() << "kamailio, kamailio-extra-modules or sipp missing";
    SipLab lab;
    ASSERT_TRUE(lab.StartKamailio()) << lab.Diagnostics().toStdString();
    ASSERT_TRUE(lab.StartExtension(4000, 2));

    // The program in a home of its own, as a copy, so the logs beside it stay there.
    QTemporaryDir home;
    const auto path = [&](const QString& rel) { return home.path() + "/" + rel; };
    const auto read = [&](const QString& rel) {
        QFile f(path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const auto write = [&](const QString& rel, const QByteArray& text) {
        QFile f(path(rel));
        return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
    };
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const auto& [var, dir] : {std::pair{"XDG_CONFIG_HOME", "config"},
                                   {"XDG_STATE_HOME", "state"},
                                   {"XDG_DATA_HOME", "data"},
                                   {"XDG_RUNTIME_DIR", "runtime"},
                                   {"HOME", "."}}) {
        ASSERT_TRUE(QDir().mkpath(path(dir)));
        env.insert(var, path(dir));
    }
    QFile::setPermissions(path("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    ASSERT_TRUE(QDir().mkpath(path("program")));
    ASSERT_TRUE(
        QFile::copy(qEnvironmentVariable("VASTREL_BIN_DIR") + "/vastrel", path("program/vastrel")));
    ASSERT_TRUE(write("config/telephon.ini",
                      "[Provider]\nName=kamailio\n[Kamailio]\nRpc=" + lab.RpcUrl().toUtf8() +
                          "\nEvents=" + lab.Events().toUtf8() +
                          "\nLine1=101\nLine1Name=Front desk\nLine2=102\nLine3=103\n"));
    ASSERT_TRUE(write("config/vastrel.ini",
                      "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n"
                      "[Preferences]\r\nSave Data=0\r\nLines=1,2,3,\r\n"));
    const auto dataLog = [&] { return read("program/DataLogs/Data.log"); };
    QProcess* vastrel = lab.Start(path("program/vastrel"), {}, env);  // stopped by its pid
    ASSERT_NE(vastrel, nullptr);
    ASSERT_TRUE(SipLab::WaitFor([&] { return !dataLog().isEmpty(); }, 10000));

    QProcess* first = lab.Call("102", "5551234", R"("Ada Lovelace")", 1500);
    ASSERT_TRUE(SipLab::WaitFor([&] { return dataLog().contains("\r\n 2\t102,"); }, 5000));
    ASSERT_TRUE(SipLab::Finished(first, 8000)) << lab.Diagnostics().toStdString();
    QProcess* second = lab.Call("103", "0301234567", "Bob", 2500, /*cancel=*/true);
    ASSERT_TRUE(SipLab::Finished(second, 10000)) << lab.Diagnostics().toStdString();
    // Two scans after the last call, so the idle records are written.
    const qsizetype size = dataLog().size();
    ASSERT_TRUE(SipLab::WaitFor([&] { return dataLog().size() > size + 400; }, 6000));
    lab.Stop(vastrel);
    ASSERT_EQ(vastrel->state(), QProcess::NotRunning);

    const QByteArray log = dataLog();
    EXPECT_TRUE(log.contains("\r\n 1\tFront desk,"));
    EXPECT_FALSE(log.contains("Line cannot be monitored"));
    const qsizetype online2 = log.indexOf("\r\n 2\t102,                  \t  1\t");
    const qsizetype online3 = log.indexOf("\r\n 3\t103,                  \t  1\t");
    ASSERT_GE(online2, 0) << log.toStdString();
    ASSERT_GE(online3, 0);
    EXPECT_GT(log.indexOf("\r\n 2\t102,                  \t  0\t", online2), online2);
    EXPECT_GT(log.indexOf("\r\n 3\t103,                  \t  0\t", online3), online3);
    EXPECT_EQ(log.indexOf("\r\n 1\tFront desk,           \t  1\t"), -1);

    const QByteArray in = read("program/In.log");
    EXPECT_EQ(in.count("5551234"), 1) << in.toStdString();
    EXPECT_EQ(in.count("0301234567"), 1);
    EXPECT_TRUE(in.contains(" Ada Lovelace" + QByteArray(42 - 12, ' ') + "5551234"));
    EXPECT_TRUE(in.contains(" Bob" + QByteArray(42 - 3, ' ') + "0301234567"));
}

}  // namespace
