#pragma once
// What every whole-program test needs, once: bounded waits that stretch under
// sanitizers, short commands that cannot hang, long-running processes that
// are always stopped by their PID, and a virtual X display of its own.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

namespace sandbox {

// Sanitizer builds run several times slower; their CI step says by how much.
inline int Slowdown() {
    return std::max(1, qEnvironmentVariableIntValue("VASTREL_TEST_SLOWDOWN"));
}

// True once condition holds, false after ms (stretched); the event loop runs
// meanwhile, so QProcess learns of a child's end.
inline bool WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms * Slowdown()) return false;
        QThread::msleep(10);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
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
    // Null when it did not start (when waited for).
    QProcess* Start(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                    bool wait = true,
                    QProcess::ProcessChannelMode mode = QProcess::ForwardedErrorChannel) {
        auto* p = started_.emplace_back(std::make_unique<QProcess>()).get();
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(mode);
        p->start(program, args);
        return !wait || p->waitForStarted(5000 * Slowdown()) ? p : nullptr;
    }
    // Its output and errors into logFile, from workDir, reading nothing.
    QProcess* StartLogged(const QString& program, const QStringList& args,
                          const QProcessEnvironment& env, const QString& workDir,
                          const QString& logFile) {
        auto* p = started_.emplace_back(std::make_unique<QProcess>()).get();
        p->setProcessEnvironment(env);
        p->setWorkingDirectory(workDir);
        p->setStandardInputFile(QProcess::nullDevice());
        p->setStandardOutputFile(logFile);
        p->setStandardErrorFile(logFile);
        p->start(program, args);
        return p->waitForStarted(5000 * Slowdown()) ? p : nullptr;
    }
    void StopAll() {
        for (auto it = started_.rbegin(); it != started_.rend(); ++it) StopOrKill(it->get());
        started_.clear();
    }
    static bool Stop(QProcess* p, int signal) {
        ::kill(static_cast<pid_t>(p->processId()), signal);
        return p->waitForFinished(5000 * Slowdown());
    }
    static void StopOrKill(QProcess* p) {
        if (p && p->state() != QProcess::NotRunning && !Stop(p, SIGTERM)) Stop(p, SIGKILL);
    }
    std::size_t Count() const { return started_.size(); }

private:
    std::vector<std::unique_ptr<QProcess>> started_;
};

// Xvfb on the first free display from `first`; env() names it. The server
// stops, by its PID, with this object.
class XDisplay {
public:
    // False when Xvfb is missing or did not come up.
    bool Start(int first, const QString& size) {
        int display = first;
        const auto socket = [&] { return QString("/tmp/.X11-unix/X%1").arg(display); };
        while (display < first + 60 &&
               (QFile::exists(socket()) || QFile::exists(QString("/tmp/.X%1-lock").arg(display))))
            ++display;
        env_.insert("DISPLAY", QString(":%1").arg(display));
        env_.remove("WAYLAND_DISPLAY");
        return display < first + 60 &&
               servers_.Start(
                   "Xvfb",
                   {env_.value("DISPLAY"), "-screen", "0", size + "x24", "-nolisten", "tcp"}, env_,
                   true, QProcess::MergedChannels) &&
               WaitFor([&] { return QFile::exists(socket()); }, 5000);
    }
    // Another server or client on this display (a window manager, a panel).
    QProcess* StartOnIt(const QString& program, const QStringList& args) {
        return servers_.Start(program, args, env_, true, QProcess::MergedChannels);
    }
    QProcessEnvironment& env() { return env_; }
    const QProcessEnvironment& env() const { return env_; }

private:
    QProcessEnvironment env_ = QProcessEnvironment::systemEnvironment();
    Processes servers_;
};

}  // namespace sandbox
