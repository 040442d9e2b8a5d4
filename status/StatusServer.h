#pragma once

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QSslConfiguration>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <functional>

class QTcpServer;

namespace dovrane {

/// One answer of the status endpoint.
struct StatusReply
{
    int status = 200;
    QByteArray type;
    QByteArray body;
};

/// The HTTP side of the remote status: GET and HEAD, and body-less POSTs to the action
/// paths that change the station; bounded in request size and rate per client, asking
/// for the bearer token whenever one is set (but for the open paths) and refusing every
/// action without one.
/// Whoever can reach the port must not be able to take what the rest of the station
/// needs: connections are capped in total and per address, those that send no request
/// are timed out, and a request whose framing could be read two ways is refused before
/// the HTTP parser sees it.
/// What a path answers comes from the handler; this class only guards the door.
class StatusServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    /// What a path answers, given the address of the client that asked.
    using Handler = std::function<StatusReply(const QUrl& url, const QHostAddress& client)>;

    /// A request line and its headers larger than this end the connection.
    static constexpr qint64 kMaxRequestBytes = 8192;
    /// Token bucket per client address: a burst, then requests per second.
    static constexpr double kBurst = 20;
    static constexpr double kPerSecond = 5;
    /// Connections held at once, whatever the open-file limit allows.
    static constexpr int kMaxConnections = 256;
    static constexpr int kMaxPerAddress = 8;
    /// A connection must have sent its whole request this soon after it opened or
    /// after the last answer...
    static constexpr qint64 kHeaderTimeoutMs = 5000;
    /// ...and one that was answered is closed when it stays quiet this long.
    static constexpr qint64 kIdleTimeoutMs = 30000;

    /// actions: paths that change the station (POST only, token always); open: paths
    /// served without the token (the page itself, which holds nothing of the station).
    StatusServer(Handler handler, QByteArray token, QStringList actions = {}, QStringList open = {},
                 QObject* parent = nullptr);

    /// Serves TLS with this configuration from the next listenOn() or adopt() on.
    void setTls(const QSslConfiguration& tls) { m_tls = tls; }
    /// false with why when the address cannot be listened on.
    bool listenOn(const QHostAddress& host, quint16 port, QString* why);
    /// Serves on a socket that already listens (handed over by the service manager);
    /// the descriptor stays the caller's.
    bool adopt(int descriptor, QString* why);
    [[nodiscard]] quint16 port() const { return m_port; }
    [[nodiscard]] int connections() const { return int(m_connections.size()); }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    struct Connection
    {
        QHostAddress from;
        qint64 sinceMs = 0;
        bool answered = false;
        QByteArray head; // what came of the request under way, up to its blank line
    };

    [[nodiscard]] QTcpServer* makeServer();
    void serve(QTcpServer* server);
    /// Takes a new connection on, making room when full; false when it was turned away.
    bool admit(QTcpSocket* socket);
    void forget(QTcpSocket* socket);
    /// Says why accepting failed: the first few times, then once a minute.
    void acceptFailed(int error);
    void inspect(QTcpSocket* socket);
    void sweep();
    [[nodiscard]] QByteArray headProblem(const QByteArray& head) const;
    [[nodiscard]] bool takeToken(const QHostAddress& client);
    [[nodiscard]] bool authorized(const QHttpServerRequest& request) const;

    Handler m_handler;
    QByteArray m_token;
    QStringList m_actions;
    QStringList m_open;
    QSslConfiguration m_tls;
    quint16 m_port = 0;
    /// Host header values a browser sends for this server (no token: DNS rebinding).
    QList<QByteArray> m_hostNames;
    int m_maxConnections = kMaxConnections;
    struct Bucket
    {
        double tokens = kBurst;
        qint64 atMs = 0;
    };
    QHash<QHostAddress, Bucket> m_buckets;
    QHash<QTcpSocket*, Connection> m_connections;
    QHash<QHostAddress, int> m_perAddress;
    QTimer m_sweep;
    QElapsedTimer m_clock;
    int m_acceptErrors = 0;
    qint64 m_acceptErrorSaidMs = -1;
};

} // namespace dovrane
