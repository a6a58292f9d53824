#include "RpcClient.h"

#include <QDeadlineTimer>
#include <QNetworkProxy>

namespace platform::kamailio {
namespace {
constexpr qsizetype kMaxHeader = 16 * 1024;
}

RpcClient::RpcClient(QUrl url, qsizetype maxReply) : url_(std::move(url)), maxReply_(maxReply) {
    quiet_.setSingleShot(true);
    quiet_.setInterval(kQuietMs);
    QObject::connect(&quiet_, &QTimer::timeout, &context_, [this] { Finish(std::nullopt); });
}

RpcClient::~RpcClient() {
    Abort();
}

bool RpcClient::Post(const QByteArray& body, Done done) {
    if (Busy()) return false;
    done_ = std::move(done);
    reply_.clear();
    const QByteArray path = url_.path(QUrl::FullyEncoded).toLatin1();
    request_ = "POST " + (path.isEmpty() ? QByteArray("/") : path) +
               " HTTP/1.1\r\nHost: " + url_.host(QUrl::FullyEncoded).toLatin1() +
               "\r\nContent-Type: application/json\r\nConnection: close\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\n\r\n" + body;
    socket_ = std::make_unique<QTcpSocket>();
    QTcpSocket* socket = socket_.get();
    socket->setProxy(QNetworkProxy::NoProxy);
    QObject::connect(socket, &QTcpSocket::connected, &context_, [this] {
        socket_->write(request_);
        quiet_.start();
    });
    QObject::connect(socket, &QTcpSocket::readyRead, &context_, [this] { Read(); });
    QObject::connect(socket, &QTcpSocket::errorOccurred, &context_, [this](auto error) {
        // The server may close right after a reply without a length.
        if (error == QAbstractSocket::RemoteHostClosedError) {
            QByteArray body;
            if (ParseReply(&body, true) > 0) return Finish(body);
        }
        Finish(std::nullopt);
    });
    started_.start();
    quiet_.start();
    socket->connectToHost(url_.host(), static_cast<quint16>(url_.port(80)));
    return true;
}

void RpcClient::Read() {
    if (!socket_) return;
    reply_.append(socket_->read(maxReply_ + kMaxHeader + 1 - reply_.size()));
    if (reply_.size() > maxReply_ + kMaxHeader || started_.elapsed() > kCallMs)
        return Finish(std::nullopt);
    QByteArray body;
    const int status = ParseReply(&body, false);
    if (status < 0) return Finish(std::nullopt);
    if (status > 0) return Finish(body);
    quiet_.start();
}

int RpcClient::ParseReply(QByteArray* body, bool closed) const {
    const qsizetype headerEnd = reply_.indexOf("\r\n\r\n");
    if (headerEnd < 0) return reply_.size() > kMaxHeader ? -1 : 0;
    const QList<QByteArray> lines = reply_.left(headerEnd).split('\n');
    const QList<QByteArray> status = lines.front().trimmed().split(' ');
    if (status.size() < 2 || !status[0].startsWith("HTTP/1.") || status[1] != "200") return -1;
    std::optional<qsizetype> length;
    for (const QByteArray& line : lines.mid(1)) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().toLower() == "content-length") {
            bool ok = false;
            const qsizetype value = line.mid(colon + 1).trimmed().toLongLong(&ok);
            if (!ok || value < 0 || value > maxReply_) return -1;
            length = value;
        }
        if (colon > 0 && line.left(colon).trimmed().toLower() == "transfer-encoding") return -1;
    }
    const qsizetype start = headerEnd + 4;
    if (length) {
        if (reply_.size() - start < *length) return 0;
        *body = reply_.mid(start, *length);
        return 1;
    }
    if (!closed) return 0;
    *body = reply_.mid(start);
    return 1;
}

void RpcClient::Finish(std::optional<QByteArray> body) {
    if (!socket_) return;
    quiet_.stop();
    // The socket may be the one emitting: let it unwind before it goes.
    QTcpSocket* socket = socket_.release();
    QObject::disconnect(socket, nullptr, &context_, nullptr);
    socket->abort();
    socket->deleteLater();
    Done done = std::move(done_);
    done_ = nullptr;
    if (done) done(std::move(body));
}

void RpcClient::Abort() {
    done_ = nullptr;
    Finish(std::nullopt);
}

void RpcClient::Wait(int ms) {
    const QDeadlineTimer deadline(ms);
    while (socket_ && !deadline.hasExpired()) {
        QTcpSocket* socket = socket_.get();
        const int left = static_cast<int>(std::min<qint64>(deadline.remainingTime(), kQuietMs));
        bool progressed = false;
        if (socket->state() != QAbstractSocket::ConnectedState) {
            progressed = socket->waitForConnected(left);
        } else if (socket->bytesToWrite() > 0) {
            progressed = socket->waitForBytesWritten(left);
        } else {
            progressed = socket->waitForReadyRead(left);
        }
        // The signals run inside the waits and may have finished the call.
        if (!progressed && socket_.get() == socket) {
            if (socket->state() == QAbstractSocket::UnconnectedState)
                Finish(std::nullopt);
            else if (deadline.hasExpired())
                break;
        }
    }
    // A call still running goes on in the event loop, bounded by its timer.
}

}  // namespace platform::kamailio
