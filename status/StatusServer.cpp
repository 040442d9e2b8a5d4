#include "StatusServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>

namespace dovrane {

namespace {

constexpr char kSeenBytes[] = "dovraneSeenBytes";
constexpr char kLineChecked[] = "dovraneLineChecked";
constexpr int kMaxClients = 1024;

/// Answers with a bare status and ends the connection, dropping what the client sent.
void refuse(QTcpSocket* socket, QByteArray status)
{
    socket->readAll();
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

/// Sees every request's bytes before the HTTP parser does, so that an oversized or
/// garbled request is turned away before it is buffered or parsed.
class GuardedTcpServer : public QTcpServer
{
public:
    using QTcpServer::QTcpServer;

protected:
    void incomingConnection(qintptr handle) override
    {
        auto* socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        // Connected before the HTTP server's own slot, so this one runs first.
        connect(socket, &QTcpSocket::readyRead, this, [socket] { guard(socket); });
        addPendingConnection(socket);
    }

private:
    static void guard(QTcpSocket* socket)
    {
        const qint64 seen = socket->property(kSeenBytes).toLongLong() + socket->bytesAvailable();
        socket->setProperty(kSeenBytes, seen);
        if (seen > StatusServer::kMaxRequestBytes)
            return refuse(socket, "431 Request Header Fields Too Large");
        if (socket->property(kLineChecked).toBool() || !socket->canReadLine())
            return;
        socket->setProperty(kLineChecked, true);
        static const QRegularExpression requestLine(
            QStringLiteral("^[A-Z]{1,16} [!-~]{1,2048} HTTP/1\\.[01]\\r?\\n$"));
        const QByteArray line = socket->peek(StatusServer::kMaxRequestBytes);
        if (!requestLine.match(QString::fromLatin1(line.left(line.indexOf('\n') + 1))).hasMatch())
            refuse(socket, "400 Bad Request");
    }
};

/// Compares (b non-empty) without stopping at the first difference, so the time taken says
/// nothing about how much of a guess was right.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    unsigned diff = a.size() == b.size() ? 0U : 1U;
    for (qsizetype i = 0; i < a.size(); ++i)
        diff |=
            static_cast<unsigned>(static_cast<unsigned char>(a[i]) ^
                                  static_cast<unsigned char>(b[b.isEmpty() ? 0 : i % b.size()]));
    return diff == 0 && !b.isEmpty();
}

} // namespace

StatusServer::StatusServer(Handler handler, QByteArray token, QStringList actions, QStringList open,
                           QObject* parent)
    : QAbstractHttpServer(parent), m_handler(std::move(handler)), m_token(std::move(token)),
      m_actions(std::move(actions)), m_open(std::move(open))
{
    m_clock.start();
}

bool StatusServer::listenOn(const QHostAddress& host, quint16 port, QString* why)
{
    auto* server = new GuardedTcpServer(this);
    if (!server->listen(host, port)) {
        *why = server->errorString();
        delete server;
        return false;
    }
    m_port = server->serverPort();
    bind(server);
    return true;
}

bool StatusServer::takeToken(const QHostAddress& client)
{
    const qint64 now = m_clock.elapsed();
    if (m_buckets.size() > kMaxClients && !m_buckets.contains(client))
        m_buckets.clear(); // many addresses at once: forget rather than grow
    Bucket& bucket = m_buckets[client];
    if (bucket.atMs == 0)
        bucket.atMs = now;
    bucket.tokens = std::min(kBurst, bucket.tokens + (now - bucket.atMs) * kPerSecond / 1000.0);
    bucket.atMs = now;
    if (bucket.tokens < 1)
        return false;
    bucket.tokens -= 1;
    return true;
}

bool StatusServer::authorized(const QHttpServerRequest& request) const
{
    if (m_token.isEmpty())
        return true;
    QByteArray given;
    for (const auto& [name, value] : request.headers())
        if (name.compare("authorization", Qt::CaseInsensitive) == 0)
            given = value.trimmed();
    return sameBytes(given, "Bearer " + m_token);
}

bool StatusServer::handleRequest(const QHttpServerRequest& request, QTcpSocket* socket)
{
    // The next request on this connection is counted and checked afresh.
    socket->setProperty(kSeenBytes, 0);
    socket->setProperty(kLineChecked, false);

    const bool head = request.method() == QHttpServerRequest::Method::Head;
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    const bool action = m_actions.contains(request.url().path());
    StatusReply reply;
    std::pair<QByteArray, QByteArray> extra; // at most one header beyond the usual
    if (!takeToken(request.remoteAddress())) {
        reply = {429, "text/plain", "too many requests\n"};
        extra = {"Retry-After", "1"};
    } else if (action != post ||
               (!post && !head && request.method() != QHttpServerRequest::Method::Get)) {
        reply = {405, "text/plain", action ? "POST only\n" : "read-only\n"};
        extra = {"Allow", action ? "POST" : "GET, HEAD"};
    } else if (!request.body().isEmpty()) {
        reply = {413, "text/plain", "no body expected\n"};
    } else if (action && m_token.isEmpty()) {
        // Changing the station from afar always takes a token, on loopback too.
        reply = {403, "text/plain",
                 "set a token in [status] of Dovrane.ini to acknowledge or suspend from here\n"};
    } else if (!m_open.contains(request.url().path()) && !authorized(request)) {
        reply = {401, "text/plain", "token required\n"};
        extra = {"WWW-Authenticate", "Bearer realm=\"Dovrane\""};
    } else {
        QUrl url = request.url();
        url.setQuery(request.query()); // not always in url()
        reply = m_handler(url, request.remoteAddress());
    }

    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(static_cast<QHttpServerResponder::StatusCode>(reply.status));
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    responder.writeHeader("Cache-Control", "no-store");
    responder.writeHeader("X-Content-Type-Options", "nosniff");
    if (!extra.first.isEmpty())
        responder.writeHeader(extra.first, extra.second);
    responder.writeBody(head ? QByteArray() : reply.body);
    return true;
}

void StatusServer::missingHandler(const QHttpServerRequest& request, QTcpSocket* socket)
{
    handleRequest(request, socket);
}

} // namespace dovrane
