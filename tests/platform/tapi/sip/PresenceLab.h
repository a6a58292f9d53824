#pragma once
// A phone system that publishes its extensions' line states (RFC 4235 dialog
// events), for the tests of a SIP subscriber: a Kamailio with presence.cfg on
// 127.0.0.1 that demands digest authentication for SUBSCRIBE, sipp callers
// and an answering extension, and a sipp notifier whose every NOTIFY a test
// scripts. Everything lives under one temporary run folder, every process is
// stopped by its PID, and every port is one the kernel found free.
#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUdpSocket>

#include "SipLab.h"

class PresenceLab {
public:
    // Digest authentication as the server offers it; read at StartKamailio.
    struct Auth {
        QByteArray algorithm = "MD5";  // or "SHA-256": one algorithm per server
        bool qop = true;               // false: RFC 2069 challenges, no qop
        bool proxy = false;            // 407 Proxy-Authenticate instead of 401
        int nonceExpireS = 300;        // then a nonce is answered stale=true
    };
    // One step of a scripted notifier: a NOTIFY with body (empty: none, and no
    // Content-Type; no "[", sipp would read a keyword) and Subscription-State
    // state, pauseMs after the step before; or, when answer is set, the next
    // SUBSCRIBE answered with it.
    struct Step {
        QByteArray body;
        int pauseMs = 100;
        QByteArray state = "active;expires=600";
        int answer = 0;
    };
    static Step Notify(const QByteArray& body, int pauseMs = 100,
                       const QByteArray& state = "active;expires=600") {
        return {body, pauseMs, state, 0};
    }
    static Step Answer(int code) { return {{}, 0, {}, code}; }
    struct Script {
        QByteArray user, password;  // set: challenge with MD5; a wrong answer gets 403
        int expires = 600;          // in the 200 to SUBSCRIBE and to refreshes
        QList<Step> steps;
    };

    static bool Available() {
        const QString modules = "/usr/lib/x86_64-linux-gnu/kamailio/modules/";
        for (const char* module : {"presence", "presence_dialoginfo", "pua", "pua_dialoginfo",
                                   "dialog", "auth_db", "db_text"})
            if (!QFile::exists(modules + module + ".so")) return false;
        return !Kamailio().isEmpty() && !QStandardPaths::findExecutable("sipp").isEmpty();
    }
    static bool WaitFor(const std::function<bool()>& condition, int ms) {
        return sandbox::WaitFor(condition, ms);
    }
    static bool Finished(QProcess* process, int ms) { return SipLab::Finished(process, ms); }

    PresenceLab() {
        const QString source = "/usr/share/kamailio/dbtext/kamailio/";
        QDir().mkpath(Db());
        for (const char* table :
             {"version", "presentity", "active_watchers", "watchers", "pua", "xcap", "subscriber"})
            QFile::copy(source + table, Db() + "/" + table);
    }
    // A row of the subscriber table in the lab's realm; read when Kamailio starts.
    bool AddSubscriber(const QByteArray& user, const QByteArray& password) {
        // db_text escapes its separator in values.
        const auto field = [](QByteArray v) { return v.replace('\\', "\\\\").replace(':', "\\:"); };
        const auto md5 = [](const QByteArray& text) {
            return QCryptographicHash::hash(text, QCryptographicHash::Md5).toHex();
        };
        QFile table(Db() + "/subscriber");
        const QByteArray realm = Realm().toUtf8();
        const QByteArray row = QByteArray::number(++subscribers_) + ":" + field(user) + ":" +
                               field(realm) + ":" + field(password) + ":" +
                               md5(user + ":" + realm + ":" + password) + ":" +
                               md5(user + "@" + realm + ":" + realm + ":" + password) + "\n";
        return table.open(QIODevice::Append) && table.write(row) == row.size();
    }
    void SetAuth(const Auth& auth) { auth_ = auth; }

    // Started, or started again on the same port: ready once it answers.
    bool StartKamailio() {
        const auto n = [](quint16 port) { return QString::number(port); };
        QStringList args{"-f",  VASTREL_PRESENCE_LAB "/presence.cfg",
                         "-DD", "-E",
                         "-m",  "64",
                         "-M",  "16",
                         "-Y",  run_.path()};
        for (const QString& define :
             {"VASTREL_SIP_PORT=" + n(sipPort_),
              "VASTREL_SERVER=\"sip:127.0.0.1:" + n(sipPort_) + "\"",
              "VASTREL_UAS=\"sip:127.0.0.1:" + n(uasPort_) + "\"",
              "VASTREL_DB=\"text://" + Db() + "\"", "VASTREL_REALM=\"" + Realm() + "\"",
              "VASTREL_ALGORITHM=\"" + QString(auth_.algorithm) + "\"",
              "VASTREL_NONCE_EXPIRE=" + QString::number(auth_.nonceExpireS)})
            args << "-A" << define;
        if (!auth_.qop)
            args << "-A"
                 << "VASTREL_NO_QOP";
        if (auth_.proxy)
            args << "-A"
                 << "VASTREL_PROXY_AUTH";
        kamailio_ = Start(Kamailio(), args);
        // Any answer to an OPTIONS means the worker is up.
        QUdpSocket probe;
        probe.bind(QHostAddress::LocalHost);
        const QByteArray options =
            "OPTIONS sip:127.0.0.1:" + QByteArray::number(sipPort_) +
            " SIP/2.0\r\nVia: SIP/2.0/UDP 127.0.0.1:" + QByteArray::number(probe.localPort()) +
            ";branch=z9hG4bKprobe\r\nFrom: <sip:probe@127.0.0.1>;tag=p\r\nTo: "
            "<sip:127.0.0.1>\r\nCall-ID: probe\r\nCSeq: 1 OPTIONS\r\nContent-Length: 0\r\n\r\n";
        const auto ready = [&] {
            if (kamailio_->state() == QProcess::NotRunning) return true;
            probe.writeDatagram(options, QHostAddress::LocalHost, sipPort_);
            return probe.waitForReadyRead(200);
        };
        return kamailio_ && WaitFor(ready, 5000) && kamailio_->state() == QProcess::Running;
    }
    void StopKamailio() { SipLab::Stop(kamailio_); }

    // The extensions: ring ringMs, then answer; `calls` calls in all.
    bool StartExtension(int ringMs, int calls) {
        return Sipp(Scenario(VASTREL_SIPP_SCENARIOS "/uas.xml", "RING_MS", ringMs),
                    {"-p", QString::number(uasPort_), "-m", QString::number(calls)}) != nullptr;
    }
    // A caller dialling extension; answered calls last talkMs, cancelled ones
    // give up after talkMs of ringing. Name stands in From as given.
    QProcess* Call(const QString& extension, const QString& number, const QString& name, int talkMs,
                   bool cancel = false) {
        const QString scenario =
            VASTREL_SIPP_SCENARIOS + QString(cancel ? "/uac_cancel.xml" : "/uac.xml");
        return Sipp(scenario, {Domain(), "-s", extension, "-m", "1", "-d", QString::number(talkMs),
                               "-key", "number", number, "-key", "name", name});
    }
    // The scripted notifier, at NotifierDomain().
    QProcess* StartNotifier(const Script& script) {
        QFile source(VASTREL_PRESENCE_LAB "/sipp/notifier.xml");
        if (!source.open(QIODevice::ReadOnly)) return nullptr;
        const QByteArray text = source.readAll();
        // The pieces, each from its marker to the next.
        QList<QByteArray> pieces;
        for (qsizetype at = 0, next; at >= 0; at = next) {
            next = text.indexOf("  <!-- piece ", at + 1);
            pieces << text.mid(at, next < 0 ? -1 : next - at);
        }
        if (pieces.size() != 6) return nullptr;  // head, challenge, 200, notify, answer, tail
        const QByteArray expires = QByteArray::number(script.expires);
        QByteArray scenario = pieces[0];
        if (!script.password.isEmpty())
            scenario += QByteArray(pieces[1])
                            .replace("REALM", Realm().toUtf8())
                            .replace("USER", script.user)
                            .replace("PASSWORD", script.password);
        scenario += QByteArray(pieces[2]).replace("EXPIRES", expires);
        for (const Step& step : script.steps) {
            if (step.answer != 0) {
                scenario += QByteArray(pieces[4])
                                .replace("CODE", QByteArray::number(step.answer) + " Scripted")
                                .replace("EXPIRES", expires);
                continue;
            }
            QByteArray notify = QByteArray(pieces[3])
                                    .replace("PAUSE_MS", QByteArray::number(step.pauseMs))
                                    .replace("STATE", step.state);
            if (step.body.isEmpty())
                notify.replace("      Content-Type: application/dialog-info+xml\n", "")
                    .replace("BODY\n", "");
            scenario += notify.replace("BODY", step.body);
        }
        scenario += pieces[5];
        QFile file(run_.path() + "/notifier.xml");
        if (!file.open(QIODevice::WriteOnly) || file.write(scenario) != scenario.size())
            return nullptr;
        file.close();
        return Sipp(file.fileName(),
                    {"-p", QString::number(notifierPort_), "-m", "1", "-trace_msg"});
    }
    // A dialog-info document of the kind Kamailio sends (state "full" or
    // "partial"), holding the given <dialog> elements.
    static QByteArray DialogInfo(int version, const QByteArray& state, const QByteArray& dialogs,
                                 const QByteArray& entity = "sip:101@127.0.0.1") {
        return "<?xml version=\"1.0\"?>\n<dialog-info xmlns=\"urn:ietf:params:xml:ns:dialog-info\" "
               "version=\"" +
               QByteArray::number(version) + "\" state=\"" + state + "\" entity=\"" + entity +
               "\">\n" + dialogs + "</dialog-info>";
    }
    static QByteArray Dialog(const QByteArray& id, const QByteArray& state,
                             const QByteArray& remote = {}, const QByteArray& display = {},
                             const QByteArray& direction = "recipient") {
        QByteArray xml = "  <dialog id=\"" + id + "\" call-id=\"" + id + "\" direction=\"" +
                         direction + "\">\n    <state>" + state + "</state>\n";
        if (!remote.isEmpty())
            xml += "    <remote>\n      <identity" +
                   (display.isEmpty() ? QByteArray() : " display=\"" + display + "\"") + ">" +
                   remote + "</identity>\n    </remote>\n";
        return xml + "  </dialog>\n";
    }

    QString Domain() const { return "127.0.0.1:" + QString::number(sipPort_); }
    QString Realm() const { return "127.0.0.1"; }
    QString NotifierDomain() const { return "127.0.0.1:" + QString::number(notifierPort_); }
    QString Diagnostics() const {  // the start of each process's log
        QString text;
        for (const QFileInfo& file : QDir(run_.path()).entryInfoList({"*.log"}, QDir::Files)) {
            QFile f(file.filePath());
            if (f.open(QIODevice::ReadOnly)) text += file.fileName() + ": " + f.read(3000) + "\n";
        }
        return text;
    }

private:
    static QString Kamailio() {
        return QStandardPaths::findExecutable("kamailio", {"/usr/sbin", "/usr/bin"});
    }
    QString Db() const { return run_.path() + "/db"; }
    QProcess* Start(const QString& program, const QStringList& args) {
        const QString log = QString("%1/%2-%3.log")
                                .arg(run_.path(), QFileInfo(program).fileName())
                                .arg(processes_.Count());
        return processes_.StartLogged(program, args, QProcessEnvironment::systemEnvironment(),
                                      run_.path(), log);
    }
    // A copy of scenario in the run folder with keyword put in.
    QString Scenario(const QString& scenario, const char* keyword, int value) {
        QFile source(scenario), copy(run_.path() + "/" + QFileInfo(scenario).fileName());
        if (source.open(QIODevice::ReadOnly) && copy.open(QIODevice::WriteOnly))
            copy.write(source.readAll().replace(keyword, QByteArray::number(value)));
        return copy.fileName();
    }
    // sipp on its own port, media and control ports, errors logged.
    QProcess* Sipp(const QString& scenario, const QStringList& args) {
        QStringList all{
            "-sf",      scenario,
            "-i",       "127.0.0.1",
            "-nostdin", "-trace_err",
            "-mp",      QString::number(ports_.Pick(SOCK_DGRAM, FreePorts::Reach::Loopback, {2})),
            "-cp",      QString::number(ports_.Udp(FreePorts::Reach::AnyAddress))};
        if (!args.contains("-p")) all << "-p" << QString::number(ports_.Udp());
        QProcess* sipp = Start("sipp", all + args);
        if (sipp)
            sipp->setProperty("pid", sipp->processId());  // names its trace, kept past its end
        return sipp;
    }

    FreePorts ports_;
    // Kept for the lab's life: a restarted Kamailio is found where it was.
    const quint16 sipPort_ = ports_.Udp();
    const quint16 uasPort_ = ports_.Udp();
    const quint16 notifierPort_ = ports_.Udp();
    QTemporaryDir run_;
    Auth auth_;
    int subscribers_ = 0;
    QProcess* kamailio_ = nullptr;
    sandbox::Processes processes_;  // stopped first, by PID, before run_ goes
};
