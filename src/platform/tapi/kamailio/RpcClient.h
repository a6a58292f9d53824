#pragma once
// A small HTTP client for Kamailio's JSON-RPC (jsonrpcs over xhttp): one POST
// at a time on its own connection, every wait bounded, the reply size capped.
// It runs on the GUI thread's event loop; Wait exists for start-up only.
#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

namespace platform::kamailio {

class RpcClient {
public:
    // The body of a 200 reply, or nothing when the call failed.
    using Done = std::function<void(std::optional<QByteArray>)>;

    // Longest silence of the server during a call, and the longest call.
    static constexpr int kQuietMs = 200;
    static constexpr int kCallMs = 1000;

    RpcClient(QUrl url, qsizetype maxReply);
    ~RpcClient();
    RpcClient(const RpcClient&) = delete;
    RpcClient& operator=(const RpcClient&) = delete;

    // False, and done is not called, while another call runs.
    bool Post(const QByteArray& body, Done done);
    bool Busy() const { return socket_ != nullptr; }
    // Ends the running call without calling its done.
    void Abort();
    // Runs the current call to its end for at most ms, outside the event loop.
    void Wait(int ms);

private:
    void Read();
    void Finish(std::optional<QByteArray> body);
    // The body once the whole reply is in; 0 = not yet.
    int ParseReply(QByteArray* body, bool closed) const;

    QUrl url_;
    qsizetype maxReply_;
    std::unique_ptr<QTcpSocket> socket_;
    QByteArray request_;
    QByteArray reply_;
    Done done_;
    QTimer quiet_;
    QElapsedTimer started_;
    QObject context_;  // last: its connections go first
};

}  // namespace platform::kamailio
