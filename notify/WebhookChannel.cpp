#include "WebhookChannel.h"

#include "FloodCap.h"

#include "Outbox.h"
#include "OutsideText.h"
#include "StationEvent.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace dovrane {

WebhookChannel::WebhookChannel(Outbox& outbox, QObject* parent) : QObject(parent), m_outbox(outbox)
{
    m_outbox.addChannel(QStringLiteral("webhook"), [this](const QString& id,
                                                          const QJsonObject& payload) {
        const QUrl url(payload.value(QStringLiteral("url")).toString());
        QNetworkRequest request(url);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        request.setTransferTimeout(kTimeoutMs);
        if (!m_network) { // made for a first webhook only: it costs memory
            m_network = new QNetworkAccessManager(this);
            // The address is the secret; a redirect would hand it to another host.
            m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
        }
        QNetworkReply* reply =
            m_network->post(request, QJsonDocument(payload.value(QStringLiteral("body")).toObject())
                                         .toJson(QJsonDocument::Compact));
        connect(reply, &QNetworkReply::finished, this, [this, reply, id, url] {
            reply->deleteLater();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const bool ok = reply->error() == QNetworkReply::NoError && status / 100 == 2;
            // A chat tool's webhook address is its secret: only its host is told.
            const QString why = OutsideText::httpFailure(status, reply->errorString());
            m_outbox.done(id, ok, ok ? QString() : why);
        });
    });
}

void WebhookChannel::post(const QStringList& urls, const StationEvent& event,
                          const QString& facility)
{
    QJsonObject body{{QStringLiteral("event"), event.name()},
                     {QStringLiteral("facility"), facility},
                     {QStringLiteral("time"), event.time.toString(Qt::ISODate)},
                     {QStringLiteral("silence_seconds"), event.seconds},
                     {QStringLiteral("text"), event.text}};
    if (!event.input.isEmpty())
        body.insert(QStringLiteral("input"), event.input);
    for (const QString& url : urls) {
        const auto send = [this, url](const QString& name, const QJsonObject& body) {
            m_outbox.post(QStringLiteral("webhook"),
                          {{QStringLiteral("url"), url}, {QStringLiteral("body"), body}},
                          QStringLiteral("webhook %1 to %2").arg(name, QUrl(url).host()));
        };
        const auto summary = [send, body](const QString& text) {
            QJsonObject told = body;
            told.insert(QStringLiteral("event"), QStringLiteral("summary"));
            told.insert(QStringLiteral("text"), text);
            send(QStringLiteral("summary"), told);
        };
        if (m_outbox.cap().admit(QStringLiteral("webhook|") + url, summary))
            send(event.name(), body);
    }
}

} // namespace dovrane
