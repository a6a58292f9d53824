#pragma once
// The built program in a temporary home with its own XDG folders and a
// program folder of its own, so every file it writes stays in the test.
// Every wait is bounded and every process started here is stopped by its PID.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace e2e {

inline QString BinDir() {
    return qEnvironmentVariable("VASTREL_BIN_DIR");
}

// Sanitizer builds run several times slower; their CI step says by how much.
inline int Slowdown() {
    return std::max(1, qEnvironmentVariableIntValue("VASTREL_TEST_SLOWDOWN"));
}

inline bool WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms * Slowdown()) return false;
        QThread::msleep(25);
        QCoreApplication::processEvents();  // QProcess learns of a child's end here
    }
    return true;
}

struct Output {
    int code = -1;
    QByteArray out;
};

// A short command; killed when it overruns, so no test can hang on one.
inline Output RunCommand(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env, int ms = 5000) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (p.waitForFinished(ms * Slowdown()) && p.exitStatus() == QProcess::NormalExit)
        return {p.exitCode(), p.readAllStandardOutput()};
    p.kill();
    p.waitForFinished(1000);
    return {};
}

// Long-running processes: terminated, then killed, by PID, newest first.
class Processes {
public:
    ~Processes() { StopAll(); }
    QProcess* Start(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                    bool wait = true,
                    QProcess::ProcessChannelMode mode = QProcess::ForwardedErrorChannel) {
        auto* p = started_.emplace_back(std::make_unique<QProcess>()).get();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(mode);
        p->start(program, args);
        return !wait || p->waitForStarted(5000 * Slowdown()) ? p : nullptr;
    }
    void StopAll() {
        for (auto it = started_.rbegin(); it != started_.rend(); ++it)
            if ((*it)->state() != QProcess::NotRunning && !Stop(it->get(), SIGTERM))
                Stop(it->get(), SIGKILL);
        started_.clear();
    }
    static bool Stop(QProcess* p, int signal) {
        ::kill(static_cast<pid_t>(p->processId()), signal);
        return p->waitForFinished(5000 * Slowdown());
    }

private:
    std::vector<std::unique_ptr<QProcess>> started_;
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
    // This copy has announced itself: handles carry the owner's pid above
    // their nine counter bits.
    bool WaitAnnounced(QProcess* p, int ms = 10000) {
        return WaitFor([&] { return (PublishedHandle().value_or(0) >> 9) == p->processId(); }, ms);
    }

    QProcess* Start(const QStringList& args = {}, bool wait = true,
                    QProcess::ProcessChannelMode mode = QProcess::ForwardedErrorChannel) {
        return processes_.Start(Program(), args, env_, wait, mode);
    }
    int Phone(const QStringList& args) {
        return RunCommand(BinDir() + "/vastrel-phone", args, env_).code;
    }
    static bool Stop(QProcess* p, int signal) { return Processes::Stop(p, signal); }

private:
    QTemporaryDir root_;
    QProcessEnvironment env_;
    Processes processes_;
};

}  // namespace e2e
