#pragma once
// The built program in a temporary home with its own XDG folders and a
// program folder of its own, so every file it writes stays in the test.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <functional>
#include <optional>
#include <vector>

namespace e2e {

inline QString BinDir() {
    return qEnvironmentVariable("VASTREL_BIN_DIR");
}

// Sanitizer builds run several times slower; their CI step says by how much.
inline int Slowdown() {
    const int factor = qEnvironmentVariableIntValue("VASTREL_TEST_SLOWDOWN");
    return factor > 1 ? factor : 1;
}

inline bool WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms * Slowdown()) return false;
        QThread::msleep(25);
        // QProcess learns of a child's end through the event loop.
        QCoreApplication::processEvents();
    }
    return true;
}

class ProgramHome {
public:
    static constexpr const char* kHeader =
        "The following lines are required by Vastrel - do NOT edit or remove\r\n\r\n";

    ProgramHome() {
        for (const char* d : {"config", "state", "data", "runtime", "program"})
            QDir().mkpath(root_.path() + "/" + d);
        QFile::setPermissions(root_.path() + "/runtime",
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile::copy(BinDir() + "/vastrel", Program());
        env_ = QProcessEnvironment::systemEnvironment();
        env_.insert("HOME", root_.path());
        env_.insert("XDG_CONFIG_HOME", root_.path() + "/config");
        env_.insert("XDG_STATE_HOME", root_.path() + "/state");
        env_.insert("XDG_DATA_HOME", root_.path() + "/data");
        env_.insert("XDG_RUNTIME_DIR", root_.path() + "/runtime");
        env_.insert("QT_QPA_PLATFORM", "offscreen");
        // Fixed date and time texts in the records.
        env_.insert("LC_ALL", "C");
        env_.remove("DISPLAY");
        env_.remove("WAYLAND_DISPLAY");
        Write("config/telephon.ini",
              "[Exchange]\nLines=3\nTraffic=none\n[Line3]\nName=Sales desk\n");
        Write("config/vastrel.ini",
              QByteArray(kHeader) + "[Preferences]\r\nSave Data=0\r\nLines=2,3,\r\n");
    }
    ~ProgramHome() {
        for (QProcess* p : processes_) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(static_cast<pid_t>(p->processId()), SIGKILL);
                p->waitForFinished(3000);
            }
            delete p;
        }
    }
    ProgramHome(const ProgramHome&) = delete;
    ProgramHome& operator=(const ProgramHome&) = delete;

    QString Program() const { return root_.path() + "/program/vastrel"; }
    QString Path(const QString& rel) const { return root_.path() + "/" + rel; }
    void Write(const QString& rel, const QByteArray& bytes) {
        QFile f(Path(rel));
        f.open(QIODevice::WriteOnly | QIODevice::Truncate);
        f.write(bytes);
    }
    QByteArray Read(const QString& rel) const {
        QFile f(Path(rel));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray Registry() const { return Read("state/vastrel/registry"); }
    QString DataLogPath() const { return Path("program/DataLogs/Data.log"); }
    QByteArray DataLog() const { return Read("program/DataLogs/Data.log"); }
    QString RuntimeDir() const { return Path("runtime/vastrel"); }

    // The running copy's window handle as published in "hKey".
    std::optional<quint32> PublishedHandle() const {
        const QByteArray registry = Registry();
        const QByteArray key = "\"hKey\"=REG_SZ:\"";
        const qsizetype at = registry.indexOf(key);
        if (at < 0) return std::nullopt;
        const qsizetype from = at + key.size();
        const qsizetype end = registry.indexOf('"', from);
        bool ok = false;
        const quint32 handle = registry.mid(from, end - from).trimmed().toUInt(&ok);
        return ok ? std::optional<quint32>(handle) : std::nullopt;
    }
    // Handles carry the owner's pid above their nine counter bits.
    static qint64 PidOf(quint32 handle) { return handle >> 9; }

    QProcess* Start(const QStringList& args = {}, bool wait = true) {
        auto* p = new QProcess;
        p->setProcessEnvironment(env_);
        p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p->start(Program(), args);
        if (wait) p->waitForStarted(5000);
        processes_.push_back(p);
        return p;
    }
    // This copy has announced itself.
    bool WaitAnnounced(QProcess* p, int ms = 10000) {
        return WaitFor(
            [&] {
                const auto handle = PublishedHandle();
                return handle && PidOf(*handle) == p->processId();
            },
            ms);
    }
    int Phone(const QStringList& args) {
        QProcess p;
        p.setProcessEnvironment(env_);
        p.start(BinDir() + "/vastrel-phone", args);
        if (!p.waitForFinished(5000 * Slowdown())) {
            p.kill();
            p.waitForFinished(1000);
            return -1;
        }
        return p.exitCode();
    }
    static bool Stop(QProcess* p, int signal) {
        ::kill(static_cast<pid_t>(p->processId()), signal);
        return p->waitForFinished(5000 * Slowdown());
    }

private:
    QTemporaryDir root_;
    QProcessEnvironment env_;
    std::vector<QProcess*> processes_;
};

}  // namespace e2e
