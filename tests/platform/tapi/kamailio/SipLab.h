#pragma once
// A Kamailio with the loopback configuration and sipp user agents, all on
// 127.0.0.1 under one temporary run folder, each process stopped by its PID.
// Ports are base + 0 (SIP), + 20 (RPC), + 40 (events), + 10 (the ringing
// extension), + 1.. (callers), so test programs can run side by side.
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

class SipLab {
public:
    explicit SipLab(int basePort);
    ~SipLab();

    // Whether kamailio (with evapi) and sipp are installed at all.
    static bool Available();
    // Waits until the RPC answers (at most a few seconds).
    bool StartKamailio();
    void StopKamailio();
    // The extension: rings ringMs, then answers; handles `calls` calls.
    bool StartExtension(int ringMs, int calls);
    // A caller dialling extension; answered calls last talkMs, cancelled
    // ones give up after talkMs of ringing. Name is the display name as it
    // stands in From (quote it for a quoted-string). Returns the process.
    QProcess* Call(const QString& extension, const QString& number, const QString& name, int talkMs,
                   bool cancel = false);
    static bool Finished(QProcess* process, int ms);

    QString RpcUrl() const;
    QString Events() const;
    int EventsPort() const { return base_ + 40; }
    // What the processes reported, for failure messages.
    QString Diagnostics() const;

    static bool WaitFor(const std::function<bool()>& condition, int ms);
    // Any process, logged with the others; Stop sends SIGTERM, then SIGKILL.
    QProcess* Start(const QString& program, const QStringList& args,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment());
    void Stop(QProcess* process);

private:
    int base_;
    int nextCaller_ = 1;
    QTemporaryDir run_;
    QProcess* kamailio_ = nullptr;
    std::vector<std::unique_ptr<QProcess>> processes_;
};
