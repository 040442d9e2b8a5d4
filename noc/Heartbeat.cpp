#include "Heartbeat.h"

#include "NocLog.h"
#include "OutsideText.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QUrlQuery>

#include <algorithm>

namespace dovrane {

Heartbeat::Heartbeat(std::function<NocStatus()> status, QObject* parent)
    : QObject(parent), m_status(std::move(status))
{
    connect(&m_timer, &QTimer::timeout, this, &Heartbeat::beat);
}

void Heartbeat::apply(const HeartbeatSettings& settings)
{
    const bool changed = settings.url != m_settings.url || settings.post != m_settings.post ||
                         settings.intervalSecs != m_settings.intervalSecs;
    m_settings = settings;
    if (!settings.enabled() || !settings.problems().isEmpty()) {
        if (settings.enabled())
            qCWarning(lcNoc) << "no heartbeat:" << settings.problems().join(QLatin1String("; "));
        m_timer.stop();
        return;
    }
    if (!changed && m_timer.isActive())
        return;
    m_timer.start(settings.intervalSecs * 1000);
    beat();
}

void Heartbeat::beat()
{
    if (!m_timer.isActive())
        return;
    if (m_inFlight) {
        qCWarning(lcNoc) << "heartbeat skipped: the previous one is still under way";
        return;
    }
    if (!m_network) {
        m_network = new QNetworkAccessManager(this);
        // The address may carry a token: it goes to its own host and no other.
        m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    const NocStatus status = m_status();
    QUrl url(m_settings.url);
    QByteArray body;
    if (m_settings.post) {
        body = QJsonDocument(QJsonObject{{QStringLiteral("state"), status.state()},
                                         {QStringLiteral("facility"), status.facility},
                                         {QStringLiteral("silence_seconds"), status.silenceSecs}})
                   .toJson(QJsonDocument::Compact);
    } else {
        QUrlQuery query(url);
        query.addQueryItem(QStringLiteral("state"), status.state());
        url.setQuery(query);
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(std::min(m_settings.timeoutSecs, m_settings.intervalSecs) * 1000);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Dovrane"));
    if (m_settings.post)
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    m_inFlight = m_settings.post ? m_network->post(request, body) : m_network->get(request);
    QNetworkReply* reply = m_inFlight;
    connect(reply, &QNetworkReply::finished, this, [reply] {
        reply->deleteLater();
        const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        // The address may carry a token: only its scheme and host are written down.
        if (reply->error() != QNetworkReply::NoError || code >= 300)
            qCWarning(lcNoc).noquote()
                << "heartbeat to" << OutsideText::url(reply->url())
                << "failed:" << OutsideText::httpFailure(code, reply->errorString());
    });
}

} // namespace dovrane
