#include "SipLab.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QThread>
#include <csignal>

SipLab::SipLab(int basePort) : base_(basePort) {}

SipLab::~SipLab() {
    for (auto& process : processes_) Stop(process.get());
}

bool SipLab::Available() {
    return !QStandardPaths::findExecutable("kamailio", {"/usr/sbin", "/usr/bin"}).isEmpty() &&
           !QStandardPaths::findExecutable("sipp").isEmpty() &&
           QFile::exists("/usr/lib/x86_64-linux-gnu/kamailio/modules/evapi.so");
}

bool SipLab::WaitFor(const std::function<bool()>& condition, int ms) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

QProcess* SipLab::Start(const QString& program, const QStringList& args,
                        const QProcessEnvironment& env) {
    auto process = std::make_unique<QProcess>();
    process->setProcessEnvironment(env);
    process->setWorkingDirectory(run_.path());
    process->setStandardInputFile(QProcess::nullDevice());
    const QString log = run_.path() + "/" + QFileInfo(program).fileName() + "-" +
                        QString::number(processes_.size()) + ".log";
    process->setStandardOutputFile(log);
    process->setStandardErrorFile(log);
    process->start(program, args);
    if (!process->waitForStarted(3000)) return nullptr;
    processes_.push_back(std::move(process));
    return processes_.back().get();
}

void SipLab::Stop(QProcess* process) {
    if (process == nullptr || process->state() == QProcess::NotRunning) return;
    ::kill(static_cast<pid_t>(process->processId()), SIGTERM);
    if (!process->waitForFinished(3000)) {
        ::kill(static_cast<pid_t>(process->processId()), SIGKILL);
        process->waitForFinished(2000);
    }
}

bool SipLab::StartKamailio() {
    const QString config = QStringLiteral(VASTREL_KAMAILIO_CONTRIB) + "/loopback.cfg";
    const QString rpcPort = QString::number(base_ + 20);
    kamailio_ =
        Start(QStandardPaths::findExecutable("kamailio", {"/usr/sbin", "/usr/bin"}),
              {"-f", config, "-DD", "-E", "-m", "64", "-M", "8", "-Y", run_.path(), "-A",
               "VASTREL_SIP_PORT=" + QString::number(base_), "-A", "VASTREL_RPC_PORT=" + rpcPort,
               "-A", QString("VASTREL_UAS=\"sip:127.0.0.1:%1\"").arg(base_ + 10), "-A",
               QString("VASTREL_EVENTS=\"%1\"").arg(Events())});
    if (kamailio_ == nullptr) return false;
    // Ready once the events socket and the RPC port both accept.
    return WaitFor(
               [&] {
                   if (kamailio_->state() == QProcess::NotRunning) return true;
                   for (const int port : {base_ + 20, base_ + 40}) {
                       QTcpSocket probe;
                       probe.connectToHost("127.0.0.1", static_cast<quint16>(port));
                       if (!probe.waitForConnected(200)) return false;
                   }
                   return true;
               },
               5000) &&
           kamailio_->state() == QProcess::Running;
}

void SipLab::StopKamailio() {
    Stop(kamailio_);
}

bool SipLab::StartExtension(int ringMs, int calls) {
    QFile source(QStringLiteral(VASTREL_SIPP_SCENARIOS) + "/uas.xml");
    QFile scenario(run_.path() + "/uas.xml");
    if (!source.open(QIODevice::ReadOnly) || !scenario.open(QIODevice::WriteOnly)) return false;
    scenario.write(source.readAll().replace("RING_MS", QByteArray::number(ringMs)));
    scenario.close();
    return Start("sipp",
                 {"-sf", scenario.fileName(), "-i", "127.0.0.1", "-p", QString::number(base_ + 10),
                  "-m", QString::number(calls), "-nostdin", "-trace_err"}) != nullptr;
}

QProcess* SipLab::Call(const QString& extension, const QString& number, const QString& name,
                       int talkMs, bool cancel) {
    const QString scenario =
        QStringLiteral(VASTREL_SIPP_SCENARIOS) + (cancel ? "/uac_cancel.xml" : "/uac.xml");
    const QString port = QString::number(base_ + nextCaller_++);
    const QStringList flags = QString("-s %1 -i 127.0.0.1 -p %2 -m 1 -d %3 -nostdin -trace_err")
                                  .arg(extension, port, QString::number(talkMs))
                                  .split(' ');
    return Start("sipp", QStringList{"127.0.0.1:" + QString::number(base_), "-sf", scenario} +
                             flags + QStringList{"-key", "number", number, "-key", "name", name});
}

bool SipLab::Finished(QProcess* process, int ms) {
    return process != nullptr &&
           WaitFor([&] { return process->state() == QProcess::NotRunning; }, ms) &&
           process->exitCode() == 0;
}

QString SipLab::RpcUrl() const {
    return QString("http://127.0.0.1:%1/RPC").arg(base_ + 20);
}

QString SipLab::Events() const {
    return QString("127.0.0.1:%1").arg(base_ + 40);
}

QString SipLab::Diagnostics() const {
    QString text;
    for (const QFileInfo& file : QDir(run_.path()).entryInfoList({"*.log"}, QDir::Files)) {
        QFile f(file.filePath());
        if (f.open(QIODevice::ReadOnly))
            text += "== " + file.fileName() + "\n" + QString::fromUtf8(f.read(4000)) + "\n";
    }
    return text;
}
