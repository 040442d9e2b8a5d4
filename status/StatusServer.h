#pragma once

#include <QAbstractHttpServer>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QStringList>
#include <QUrl>

#include <functional>

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

    /// actions: paths that change the station (POST only, token always); open: paths
    /// served without the token (the page itself, which holds nothing of the station).
    StatusServer(Handler handler, QByteArray token, QStringList actions = {}, QStringList open = {},
                 QObject* parent = nullptr);

    /// false with why when the address cannot be listened on.
    bool listenOn(const QHostAddress& host, quint16 port, QString* why);
    [[nodiscard]] quint16 port() const { return m_port; }

protected:
    bool handleRequest(const QHttpServerRequest& request, QTcpSocket* socket) override;
    void missingHandler(const QHttpServerRequest& request, QTcpSocket* socket) override;

private:
    [[nodiscard]] bool takeToken(const QHostAddress& client);
    [[nodiscard]] bool authorized(const QHttpServerRequest& request) const;

    Handler m_handler;
    QByteArray m_token;
    QStringList m_actions;
    QStringList m_open;
    quint16 m_port = 0;
    struct Bucket
    {
        double tokens = kBurst;
        qint64 atMs = 0;
    };
    QHash<QHostAddress, Bucket> m_buckets;
    QElapsedTimer m_clock;
};

} // namespace dovrane
