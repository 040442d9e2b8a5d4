#include "StatusServer.h"

#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QSslServer>
#include <QSslSocket>
#include <QTcpServer>
#include <QTcpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <tuple>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcStatusServer, "dovrane.status.server")

namespace dovrane {

namespace {

constexpr int kMaxClients = 1024;
/// Accepting again this long after the system refused a descriptor.
constexpr int kAcceptBackoffMs = 500;
/// Descriptors left to the alarm log, the outbox, the mail program, the watchdog and
/// the control channel, however many connections are open.
constexpr rlim_t kReservedFiles = 256;
constexpr int kSweepMs = 1000;
constexpr int kListenBacklog = 1024;
/// Connections taken per turn of the event loop.
constexpr int kAcceptBatch = 16;
/// Diagnostics a client can cause: the first few, then one summary a minute.
constexpr int kSaidInFull = 3;
constexpr qint64 kSummaryMs = 60000;

const QByteArray kBadRequest = "400 Bad Request";

/// Answers with a bare status and ends the connection, dropping what the client sent.
void refuse(QTcpSocket* socket, QByteArray status)
{
    socket->readAll();
    socket->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    socket->disconnectFromHost();
}

/// Accepts by itself, a few connections per turn of the event loop, so a flood of
/// connections cannot keep timers (the watchdog, the alarm) waiting, and pauses when
/// the system has no descriptor to give, rather than spin or stop for good as Qt's
/// own accepting does. Every plain connection is admitted by the status server before
/// the HTTP server's slots are connected, so the server's guard sees its bytes first;
/// TLS connections are admitted when their handshake starts.
template <class Base> class GuardedServer : public Base
{
public:
    GuardedServer(std::function<bool(QTcpSocket*)> admit, std::function<void(int)> failed,
                  QObject* parent)
        : Base(parent), m_admit(std::move(admit)), m_failed(std::move(failed))
    {
        // Qt's own accepting finds the queue always full and stays idle.
        this->setMaxPendingConnections(0);
    }

    void startAccepting()
    {
        m_notifier = new QSocketNotifier(this->socketDescriptor(), QSocketNotifier::Read, this);
        QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { acceptSome(); });
    }

protected:
    void incomingConnection(qintptr handle) override
    {
        if constexpr (!std::is_same_v<Base, QTcpServer>) {
            Base::incomingConnection(handle);
        } else {
            auto* socket = new QTcpSocket(this);
            if (!socket->setSocketDescriptor(handle) || !m_admit(socket)) {
                delete socket;
                return;
            }
            this->addPendingConnection(socket);
        }
    }

private:
    void acceptSome()
    {
        for (int i = 0; i < kAcceptBatch; ++i) {
            const int handle = ::accept4(int(this->socketDescriptor()), nullptr, nullptr,
                                         SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (handle >= 0) {
                incomingConnection(handle);
                continue;
            }
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                m_failed(errno);
                m_notifier->setEnabled(false);
                QTimer::singleShot(kAcceptBackoffMs, m_notifier,
                                   [notifier = m_notifier] { notifier->setEnabled(true); });
            }
            return; // EAGAIN: nothing more now; others (a reset peer) pass
        }
    }

    std::function<bool(QTcpSocket*)> m_admit;
    std::function<void(int)> m_failed;
    QSocketNotifier* m_notifier = nullptr;
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

/// Where the request's head ends (after its blank line); -1 while it has not.
qsizetype headEnd(const QByteArray& bytes)
{
    const qsizetype crlf = bytes.indexOf("\r\n\r\n");
    const qsizetype lf = bytes.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf + 2 <= lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

/// The host in a Host header value, without its port.
QByteArray hostOnly(const QByteArray& value)
{
    if (value.startsWith('['))
        return value.left(value.indexOf(']') + 1);
    return value.left(value.indexOf(':') < 0 ? value.size() : value.indexOf(':'));
}

} // namespace

StatusServer::StatusServer(Handler handler, QByteArray token, QStringList actions, QStringList open,
                           QObject* parent)
    : QAbstractHttpServer(parent), m_handler(std::move(handler)), m_token(std::move(token)),
      m_actions(std::move(actions)), m_open(std::move(open))
{
    m_clock.start();
    rlimit files{};
    if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur != RLIM_INFINITY)
        m_maxConnections = int(std::clamp<rlim_t>(
            files.rlim_cur > kReservedFiles ? (files.rlim_cur - kReservedFiles) / 2 : 0, 8,
            kMaxConnections));
    m_sweep.setInterval(kSweepMs);
    connect(&m_sweep, &QTimer::timeout, this, &StatusServer::sweep);
}

QTcpServer* StatusServer::makeServer()
{
    const auto admitted = [this](QTcpSocket* s) { return admit(s); };
    const auto failed = [this](int error) { acceptFailed(error); };
    if (m_tls.isNull())
        return new GuardedServer<QTcpServer>(admitted, failed, this);
    auto* tls = new GuardedServer<QSslServer>(admitted, failed, this);
    tls->setSslConfiguration(m_tls);
    tls->setHandshakeTimeout(int(kHeaderTimeoutMs));
    connect(tls, &QSslServer::startedEncryptionHandshake, this, [this](QSslSocket* socket) {
        if (!admit(socket))
            socket->abort();
    });
    return tls;
}

bool StatusServer::listenOn(const QHostAddress& host, quint16 port, QString* why)
{
    QTcpServer* server = makeServer();
    // Room in the kernel's queue for a scrape to get in while a flood waits there.
    server->setListenBacklogSize(kListenBacklog);
    if (!server->listen(host, port)) {
        *why = server->errorString();
        delete server;
        return false;
    }
    serve(server);
    return true;
}

bool StatusServer::adopt(int descriptor, QString* why)
{
    const int own = ::fcntl(descriptor, F_DUPFD_CLOEXEC, 0); // not left to the mail program
    if (own < 0) {
        *why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    QTcpServer* server = makeServer();
    if (!server->setSocketDescriptor(own)) {
        *why = server->errorString();
        ::close(own);
        delete server;
        return false;
    }
    serve(server);
    return true;
}

void StatusServer::serve(QTcpServer* server)
{
    m_port = server->serverPort();
    const QHostAddress at = server->serverAddress();
    m_hostNames = {"localhost", "127.0.0.1", "[::1]",
                   at.protocol() == QAbstractSocket::IPv6Protocol
                       ? '[' + at.toString().toLatin1() + ']'
                       : at.toString().toLatin1()};
    if (auto* plain = dynamic_cast<GuardedServer<QTcpServer>*>(server))
        plain->startAccepting();
    else
        static_cast<GuardedServer<QSslServer>*>(server)->startAccepting();
    bind(server);
}

void StatusServer::acceptFailed(int error)
{
    const qint64 now = m_clock.elapsed();
    ++m_acceptErrors;
    if (m_acceptErrors > kSaidInFull && now - m_acceptErrorSaidMs < kSummaryMs)
        return;
    qCWarning(lcStatusServer).noquote()
        << "cannot accept a connection:" << QString::fromLocal8Bit(std::strerror(error))
        << (m_acceptErrors > kSaidInFull ? QStringLiteral("(%1 times since)").arg(m_acceptErrors)
                                         : QString());
    m_acceptErrorSaidMs = now;
    if (m_acceptErrors > kSaidInFull)
        m_acceptErrors = kSaidInFull;
}

bool StatusServer::admit(QTcpSocket* socket)
{
    const QHostAddress from = socket->peerAddress();
    if (m_perAddress.value(from) >= kMaxPerAddress)
        return false;
    if (m_connections.size() >= m_maxConnections) {
        // Room for the newcomer: the oldest connection that has not sent a whole
        // request, from the address that holds the most; so a scrape from elsewhere
        // is still answered while one address floods the port.
        QTcpSocket* victim = nullptr;
        std::tuple<bool, int, qint64> worst;
        for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
            const auto rank = std::tuple(!it->answered, m_perAddress.value(it->from), -it->sinceMs);
            if (!victim || rank > worst)
                std::tie(victim, worst) = std::pair(it.key(), rank);
        }
        Q_ASSERT(victim);
        victim->abort();
        forget(victim); // when abort() did not already
    }
    m_connections.insert(socket, {from, m_clock.elapsed(), false, {}});
    if (!m_sweep.isActive())
        m_sweep.start();
    ++m_perAddress[from];
    // Connected before the HTTP server's own slots, so these run first.
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { inspect(socket); });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { forget(socket); });
    connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
    return true;
}

void StatusServer::forget(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (--m_perAddress[it->from] <= 0)
        m_perAddress.remove(it->from);
    m_connections.erase(it);
    socket->disconnect(this);
    socket->deleteLater();
}

void StatusServer::sweep()
{
    const qint64 now = m_clock.elapsed();
    QList<QTcpSocket*> late;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it)
        if (now - it->sinceMs > (it->answered ? kIdleTimeoutMs : kHeaderTimeoutMs))
            late.append(it.key());
    for (QTcpSocket* socket : late) {
        socket->abort();
        forget(socket);
    }
    if (m_connections.isEmpty())
        m_sweep.stop(); // no wake-ups while nobody is connected
}

void StatusServer::inspect(QTcpSocket* socket)
{
    const auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    if (it->answered) { // the next request on this connection, timed afresh
        it->answered = false;
        it->sinceMs = m_clock.elapsed();
        it->head.clear();
    }
    it->head += socket->peek(StatusServer::kMaxRequestBytes + 1 - it->head.size());
    if (it->head.size() > StatusServer::kMaxRequestBytes && headEnd(it->head) < 0)
        return refuse(socket, "431 Request Header Fields Too Large");
    static const QRegularExpression requestLine(
        QStringLiteral("^[A-Z]{1,16} [!-~]{1,2048} HTTP/1\\.[01]\\r?\\n"));
    if (it->head.contains('\n') &&
        !requestLine.match(QString::fromLatin1(it->head.left(it->head.indexOf('\n') + 1)))
             .hasMatch())
        return refuse(socket, kBadRequest);
    const qsizetype end = headEnd(it->head);
    if (end < 0)
        return;
    QByteArray problem = headProblem(it->head.left(end));
    // Bodies are refused, so bytes after the head would be a second request the
    // parser would read past this guard.
    if (problem.isEmpty() && it->head.size() > end)
        problem = kBadRequest;
    if (!problem.isEmpty())
        refuse(socket, problem);
}

QByteArray StatusServer::headProblem(const QByteArray& head) const
{
    QList<QByteArray> lines = head.split('\n');
    if (lines.first().startsWith("CONNECT "))
        return kBadRequest; // the parser would hand the connection over
    QHash<QByteArray, int> seen;
    QByteArray host;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines[i];
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        if (line[0] == ' ' || line[0] == '\t')
            return kBadRequest; // a folded line: read as part of the last header or not
        if (std::any_of(line.cbegin(), line.cend(),
                        [](char c) { return (uchar(c) < 0x20 && c != '\t') || c == 0x7f; }))
            return kBadRequest;
        const qsizetype colon = line.indexOf(':');
        static const QRegularExpression name(QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+$"));
        if (colon <= 0 || !name.match(QString::fromLatin1(line.left(colon))).hasMatch())
            return kBadRequest;
        const QByteArray key = line.left(colon).toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (++seen[key] > 1 && (key == "content-length" || key == "authorization" || key == "host"))
            return kBadRequest; // which one counts would be a guess
        if (key == "transfer-encoding" || key == "upgrade")
            return kBadRequest; // no body is taken, and nothing but HTTP/1.1 is spoken
        if (key == "content-length") {
            static const QRegularExpression digits(QStringLiteral("^[0-9]{1,18}$"));
            if (!digits.match(QString::fromLatin1(value)).hasMatch())
                return kBadRequest;
            if (value.toLongLong() != 0)
                return "413 Payload Too Large";
        }
        if (key == "host")
            host = hostOnly(value).toLower();
    }
    // Without a token only names of this machine are served, so a page elsewhere
    // cannot point its own name at this address and read the station.
    if (m_token.isEmpty() && !m_hostNames.contains(host))
        return "421 Misdirected Request";
    return {};
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
    if (const auto it = m_connections.find(socket); it != m_connections.end()) {
        it->answered = true;
        it->sinceMs = m_clock.elapsed();
    }

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
    responder.writeHeader("X-Frame-Options", "DENY");
    responder.writeHeader("Content-Security-Policy",
                          "default-src 'none'; script-src 'self'; style-src 'self'; "
                          "connect-src 'self'; img-src 'self'; base-uri 'none'; "
                          "form-action 'none'; frame-ancestors 'none'");
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
