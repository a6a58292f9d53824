#pragma once
#include <QDateTime>
#include <QString>
#include <string>
#include <vector>

#include "platform/file/BackgroundAppender.h"
#include "platform/tapi/Tapi32.h"

struct TapiSession;
class Tapi;
namespace platform {
class Clock;
}

// "In.log": one fixed-column line per call seen in the offering state.
class IncomingCallLog {
public:
    static constexpr const char* kHeader1 = "Warning: This file is not to be edited!!!";
    static constexpr const char* kHeader2 =
        "To print this file in the tabular format use \"\"Print Incoming Calls Log\"\" from "
        "Pelmarsh menu.";
    static constexpr platform::DWORD kCallInfoSize = 2344;

    // The caller id of the last call logged.
    struct CallerId {
        std::string name;
        std::string number;
    };

    IncomingCallLog(Tapi& tapi, TapiSession& session, const platform::Clock& clock, QString path);

    // Reads the caller id of the call and queues its record, which is
    // written (and synced) off the event loop, in order.
    void LogIncomingCall(platform::HCALL& callHandle);
    // Waits at most timeoutMs for the queued records; true when all are written.
    bool WaitWritten(int timeoutMs) const { return appender_.WaitIdle(timeoutMs); }

    // The 118-character record (name and number already cut and defaulted);
    // columns count characters, so UTF-8 names keep them aligned.
    static std::string Record(const std::string& name, const std::string& number,
                              const QDateTime& when);
    // Long ids end in "*" after 38 / 52 characters; empty ones read
    // "Unknown Caller" / "Unknown #".
    static std::string ShownName(const std::string& name);
    static std::string ShownNumber(const std::string& number);

    // Appends record lines at once; false when they could not be written
    // whole (then none is). Safe on any thread.
    bool Append(const std::vector<std::string>& records) const;
    // At start-up: a record torn by a crash is cut off.
    void CutTornTail() const;
    const CallerId& LastCaller() const { return caller_; }

private:
    static std::string Shown(const std::string& id, std::size_t longest, const char* unknown);
    bool QueryCallInfo(platform::HCALL call, std::vector<platform::BYTE>& info);

    Tapi& tapi_;
    TapiSession& session_;
    CallerId caller_;
    const platform::Clock& clock_;
    const QString path_;
    platform::BackgroundAppender appender_;  // last: its thread uses the members above
};
