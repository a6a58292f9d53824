#pragma once
#include <algorithm>
// A Kamailio with the loopback configuration and sipp user agents, all on
// 127.0.0.1 under one temporary run folder, each process stopped by its PID.
// Ports are base + 0 (SIP), + 20 (RPC), + 40 (events), + 10 (the ringing
// extension), + 1.. (callers), so test programs can run side by side.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

class SipLab {
public:
    explicit SipLab(int basePort) : base_(basePort) {}
    ~SipLab() {
        for (auto& process : processes_) Stop(process.get());
    }
    // Whether kamailio (with evapi) and sipp are installed at all.
    static bool Available() {
        return !Kamailio().isEmpty() && !QStandardPaths::findExecutable("sipp").isEmpty() &&
               QFile::exists("/usr/lib/x86_64-linux-gnu/kamailio/modules/evapi.so");
    }
    static bool WaitFor(const std::function<bool()>& condition, int ms) {
        // Sanitizer builds run everything a few times slower.
        ms *= std::max(1, qEnvironmentVariableIntValue("VASTREL_TEST_SLOWDOWN"));
        QElapsedTimer timer;
        timer.start();
        while (!condition()) {
            if (timer.elapsed() > ms) return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            QThread::msleep(10);
        }
        return true;
    }
    // Any process, logged in the run folder.
    QProcess* Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        auto process = std::make_unique<QProcess>();
        process->setProcessEnvironment(env);
        process->setWorkingDirectory(run_.path());
        process->setStandardInputFile(QProcess::nullDevice());
        const QString log = QString("%1/%2-%3.log")
                                .arg(run_.path(), QFileInfo(program).fileName())
                                .arg(processes_.size());
        process->setStandardOutputFile(log);
        process->setStandardErrorFile(log);
        process->start(program, args);
        if (!process->waitForStarted(3000)) return nullptr;
        processes_.push_back(std::move(process));
        return processes_.back().get();
    }
    // SIGTERM to its PID, then SIGKILL.
    void Stop(QProcess* process) {
        if (process == nullptr || process->state() == QProcess::NotRunning) return;
        ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
        if (!process->waitForFinished(3000)) {
            ::kill(static_cast<pid_t>(process->processId()), SIGKILL);
            process->waitForFinished(2000);
        }
    }
    // Ready once the RPC and events ports accept (at most a few seconds).
    bool StartKamailio() {
        kamailio_ = Start(Kamailio(), {"-f", VASTREL_KAMAILIO_CONTRIB "/loopback.cfg", "-DD", "-E",
                                       "-m", "64", "-M", "8", "-Y", run_.path(), "-A",
                                       "VASTREL_SIP_PORT=" + QString::number(base_), "-A",
                                       "VASTREL_RPC_PORT=" + QString::number(base_ + 20), "-A",
                                       WithPort("VASTREL_UAS=\"sip:127.0.0.1:%1\"", 10), "-A",
                                       WithPort("VASTREL_EVENTS=\"127.0.0.1:%1\"", 40)});
        if (kamailio_ == nullptr) return false;
        const auto ready = [&] {
            if (kamailio_->state() == QProcess::NotRunning) return true;
            for (const int port : {base_ + 20, base_ + 40}) {
                QTcpSocket probe;
                probe.connectToHost("127.0.0.1", static_cast<quint16>(port));
                if (!probe.waitForConnected(200)) return false;
            }
            return true;
        };
        return WaitFor(ready, 5000) && kamailio_->state() == QProcess::Running;
    }
    void StopKamailio() { Stop(kamailio_); }
    // The extension: rings ringMs, then answers; handles `calls` calls.
    bool StartExtension(int ringMs, int calls) {
        QFile source(VASTREL_SIPP_SCENARIOS "/uas.xml"), scenario(run_.path() + "/uas.xml");
        if (!source.open(QIODevice::ReadOnly) || !scenario.open(QIODevice::WriteOnly)) return false;
        scenario.write(source.readAll().replace("RING_MS", QByteArray::number(ringMs)));
        scenario.close();
        return Start("sipp", {"-sf", scenario.fileName(), "-i", "127.0.0.1", "-p",
                              QString::number(base_ + 10), "-m", QString::number(calls), "-nostdin",
                              "-trace_err"}) != nullptr;
    }
    // A caller dialling extension; answered calls last talkMs, cancelled ones
    // give up after talkMs of ringing. Name stands in From as given.
    QProcess* Call(const QString& extension, const QString& number, const QString& name, int talkMs,
                   bool cancel = false) {
        const QString scenario =
            VASTREL_SIPP_SCENARIOS + QString(cancel ? "/uac_cancel.xml" : "/uac.xml");
        const QString port = QString::number(base_ + nextCaller_++);
        return Start("sipp", {"127.0.0.1:" + QString::number(base_),
                              "-sf",
                              scenario,
                              "-s",
                              extension,
                              "-i",
                              "127.0.0.1",
                              "-p",
                              port,
                              "-m",
                              "1",
                              "-d",
                              QString::number(talkMs),
                              "-nostdin",
                              "-trace_err",
                              "-key",
                              "number",
                              number,
                              "-key",
                              "name",
                              name});
    }
    static bool Finished(QProcess* process, int ms) {
        return process != nullptr &&
               WaitFor([&] { return process->state() == QProcess::NotRunning; }, ms) &&
               process->exitCode() == 0;
    }
    QString RpcUrl() const { return QString("http://127.0.0.1:%1/RPC").arg(base_ + 20); }
    QString Events() const { return QString("127.0.0.1:%1").arg(base_ + 40); }
    QString Diagnostics() const {  // the start of each process's log
        QString text;
        for (const QFileInfo& file : QDir(run_.path()).entryInfoList({"*.log"}, QDir::Files)) {
            QFile f(file.filePath());
            if (f.open(QIODevice::ReadOnly)) text += file.fileName() + ": " + f.read(2000) + "\n";
        }
        return text;
    }

private:
    static QString Kamailio() {
        return QStandardPaths::findExecutable("kamailio", {"/usr/sbin", "/usr/bin"});
    }
    QString WithPort(const char* pattern, int offset) const {
        return QString(pattern).arg(base_ + offset);
    }

    int base_;
    int nextCaller_ = 1;
    QTemporaryDir run_;
    QProcess* kamailio_ = nullptr;
    std::vector<std::unique_ptr<QProcess>> processes_;
};
