#pragma once
// A Kamailio with the loopback configuration and sipp user agents, all on
// 127.0.0.1 under one temporary run folder, each process stopped by its PID.
// Every port, sipp's media and control ports too, is one the kernel found
// free when the lab needed it, so test programs can run side by side.
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTcpSocket>
#include <QTemporaryDir>

#include "FreePorts.h"
#include "Sandbox.h"

class SipLab {
public:
    static bool Available() {  // kamailio (with evapi) and sipp installed
        return !Kamailio().isEmpty() && !QStandardPaths::findExecutable("sipp").isEmpty() &&
               QFile::exists("/usr/lib/x86_64-linux-gnu/kamailio/modules/evapi.so");
    }
    static bool WaitFor(const std::function<bool()>& condition, int ms) {
        return sandbox::WaitFor(condition, ms);
    }
    QProcess* Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        const QString log = QString("%1/%2-%3.log")
                                .arg(run_.path(), QFileInfo(program).fileName())
                                .arg(processes_.Count());
        return processes_.StartLogged(program, args, env, run_.path(), log);
    }
    static void Stop(QProcess* process) { sandbox::Processes::StopOrKill(process); }
    bool StartKamailio() {
        const QString options =
            "-f %1/loopback.cfg -DD -E -m 64 -M 8 -Y %2 -A VASTREL_SIP_PORT=%3 -A "
            "VASTREL_RPC_PORT=%4 "
            "-A VASTREL_UAS=\"sip:127.0.0.1:%5\" -A VASTREL_EVENTS=\"127.0.0.1:%6\"";
        const auto n = [](quint16 port) { return QString::number(port); };
        kamailio_ =
            Start(Kamailio(), options
                                  .arg(QString(VASTREL_KAMAILIO_CONTRIB), run_.path(), n(sipPort_),
                                       n(rpcPort_), n(uasPort_), n(eventsPort_))
                                  .split(' '));
        const auto ready = [&] {
            if (kamailio_->state() == QProcess::NotRunning) return true;
            QTcpSocket rpc, events;
            rpc.connectToHost("127.0.0.1", rpcPort_);
            events.connectToHost("127.0.0.1", eventsPort_);
            return rpc.waitForConnected(200) && events.waitForConnected(200);
        };
        return kamailio_ && WaitFor(ready, 5000) && kamailio_->state() == QProcess::Running;
    }
    void StopKamailio() { Stop(kamailio_); }
    // The extension: rings ringMs, then answers; handles `calls` calls.
    bool StartExtension(int ringMs, int calls) {
        QFile source(VASTREL_SIPP_SCENARIOS "/uas.xml"), scenario(run_.path() + "/uas.xml");
        if (!source.open(QIODevice::ReadOnly) || !scenario.open(QIODevice::WriteOnly)) return false;
        scenario.write(source.readAll().replace("RING_MS", QByteArray::number(ringMs)));
        scenario.close();
        return Start("sipp", QStringList{"-sf", scenario.fileName(), "-i", "127.0.0.1", "-p",
                                         QString::number(uasPort_), "-m", QString::number(calls),
                                         "-nostdin", "-trace_err"} +
                                 SippPorts()) != nullptr;
    }
    // A caller dialling extension; answered calls last talkMs, cancelled ones
    // give up after talkMs of ringing. Name stands in From as given.
    QProcess* Call(const QString& extension, const QString& number, const QString& name, int talkMs,
                   bool cancel = false) {
        const QString scenario =
            VASTREL_SIPP_SCENARIOS + QString(cancel ? "/uac_cancel.xml" : "/uac.xml");
        const QString options =
            "127.0.0.1:%1 -sf %2 -s %3 -i 127.0.0.1 -p %4 -m 1 -d %5 -nostdin "
            "-trace_err -key number";  // name and number may hold spaces
        return Start("sipp", options.arg(sipPort_)
                                     .arg(scenario, extension)
                                     .arg(ports_.Udp())
                                     .arg(talkMs)
                                     .split(' ') +
                                 QStringList{number, "-key", "name", name} + SippPorts());
    }
    static bool Finished(QProcess* process, int ms) {
        return process != nullptr &&
               WaitFor([&] { return process->state() == QProcess::NotRunning; }, ms) &&
               process->exitCode() == 0;
    }
    QString RpcUrl() const { return QString("http://127.0.0.1:%1/RPC").arg(rpcPort_); }
    QString Events() const { return QString("127.0.0.1:%1").arg(eventsPort_); }
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
    // sipp's defaults (media 6000 and 6002, control 8888 on every address)
    // would be shared by every sipp on the machine.
    QStringList SippPorts() {
        return {"-mp", QString::number(ports_.Pick(SOCK_DGRAM, FreePorts::Reach::Loopback, {2})),
                "-cp", QString::number(ports_.Udp(FreePorts::Reach::AnyAddress))};
    }

    FreePorts ports_;
    // Kept for the lab's life: a restarted Kamailio is found where it was.
    const quint16 sipPort_ = ports_.Udp();
    const quint16 rpcPort_ = ports_.Tcp();
    const quint16 eventsPort_ = ports_.Tcp();
    const quint16 uasPort_ = ports_.Udp();
    QTemporaryDir run_;
    QProcess* kamailio_ = nullptr;
    sandbox::Processes processes_;  // stopped first, by PID, before run_ goes
};
