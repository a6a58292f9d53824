#pragma once
// The built program in a temporary home with its own XDG folders and a
// program folder of its own, so every file it writes stays in the test.
// Every wait is bounded and every process started here is stopped by its PID.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <optional>

#include "Sandbox.h"
#include "platform/window/UnixWindowSystem.h"

namespace e2e {

inline QString BinDir() {
    return qEnvironmentVariable("VASTREL_BIN_DIR");
}

using sandbox::Output;
using sandbox::Processes;
using sandbox::RunCommand;
using sandbox::Slowdown;
using sandbox::WaitFor;

// How a run to its end went.
struct Ended {
    bool ended = false;  // a normal exit in time
    int code = -1;
    qint64 ms = 0;
    QByteArray err;
};

class ProgramHome {
public:
    static constexpr const char* kHeader =
        "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n";

    ProgramHome() {
        for (const char* d : {"config", "state", "data", "runtime", "program"})
            QDir().mkpath(Path(d));
        QFile::setPermissions(Path("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(BinDir() + "/vastrel", Program());
        env_ = QProcessEnvironment::systemEnvironment();
        for (const char* d : {"config", "state", "data"})
            env_.insert(QString("XDG_%1_HOME").arg(QString(d).toUpper()), Path(d));
        env_.insert("XDG_RUNTIME_DIR", Path("runtime"));
        env_.insert("HOME", root_.path());
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        env_.insert("LC_ALL", "C");  // fixed date and time texts in the records
        env_.remove("DISPLAY");
        env_.remove("WAYLAND_DISPLAY");
        Write("config/telephon.ini",
              "[Exchange]\nLines=3\nTraffic=none\n[Line3]\nName=Sales desk\n");
        Write("config/vastrel.ini",
              QByteArray(kHeader) + "[Preferences]\r\nSave Data=0\r\nLines=2,3,\r\n");
    }

    QProcessEnvironment& Env() { return env_; }
    QString Program() const { return Path("program/vastrel"); }
    QString Path(const QString& rel) const { return root_.path() + "/" + rel; }
    void Write(const QString& rel, const QByteArray& bytes) {
        QFile f(Path(rel));
        if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
    }
    // Empty for anything but a regular file: a FIFO put there by a test would block.
    QByteArray Read(const QString& rel) const {
        QFile f(Path(rel));
        return QFileInfo(f).isFile() && f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray Registry() const { return Read("state/vastrel/registry"); }
    QString DataLogPath() const { return Path("program/DataLogs/Data.log"); }
    QByteArray DataLog() const { return Read("program/DataLogs/Data.log"); }

    // The running copy's window handle as published in "hKey".
    std::optional<quint32> PublishedHandle() const {
        static const QRegularExpression key("\"hKey\"=REG_SZ:\" *(\\d+)\"");
        const auto m = key.match(QString::fromLatin1(Registry()));
        return m.hasMatch() ? std::optional(m.captured(1).toUInt()) : std::nullopt;
    }
    // The hand-over socket of the running copy's published window.
    QString PublishedSocket() const {
        return platform::UnixWindowSystem::SocketPath(Path("runtime/vastrel"),
                                                      PublishedHandle().value_or(0));
    }
    // This copy has announced itself: handles carry the owner's pid above
    // their nine counter bits.
    bool WaitAnnounced(QProcess* p, int ms = 10000) {
        return WaitFor([&] { return (PublishedHandle().value_or(0) >> 9) == p->processId(); }, ms);
    }

    QProcess* Start(const QStringList& args = {}, bool wait = true,
                    QProcess::ProcessChannelMode mode = QProcess::ForwardedErrorChannel) {
        return processes_.Start(Program(), args, env_, wait, mode);
    }
    // A copy run to its end; killed by its pid when it overruns.
    Ended RunToEnd(const QStringList& args, int ms = 5000) {
        QElapsedTimer timer;
        timer.start();
        QProcess* p = Start(args, true, QProcess::SeparateChannels);
        Ended result;
        result.ended =
            p && p->waitForFinished(ms * Slowdown()) && p->exitStatus() == QProcess::NormalExit;
        result.ms = timer.elapsed();
        if (p) result.code = p->exitCode(), result.err = p->readAllStandardError();
        return result;
    }
    int Phone(const QStringList& args) {
        return RunCommand(BinDir() + "/vastrel-phone", args, env_).code;
    }
    static bool Stop(QProcess* p, int signal) { return Processes::Stop(p, signal); }
    // Ended by SIGTERM in time, with exit code 0.
    static bool EndsOnSigterm(QProcess* p) {
        return Stop(p, SIGTERM) && p->exitStatus() == QProcess::NormalExit && p->exitCode() == 0;
    }

private:
    QTemporaryDir root_;
    QProcessEnvironment env_;
    Processes processes_;
};

}  // namespace e2e
