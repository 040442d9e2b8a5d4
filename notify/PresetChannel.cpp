#include "PresetChannel.h"

#include "FloodCap.h"

#include "Outbox.h"
#include "OutsideText.h"
#include "StationEvent.h"

#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace dovrane {

PresetChannel::PresetChannel(Outbox& outbox, QObject* parent) : QObject(parent), m_outbox(outbox)
{
    for (auto service : PresetSettings::kServices)
        m_outbox.addChannel(
            PresetSettings::name(service),
            [this](const QString& id, const QJsonObject& payload) { send(id, payload); });
}

void PresetChannel::post(const PresetSettings& presets, const StationEvent& event)
{
    for (auto service : PresetSettings::kServices) {
        const PresetSettings::Preset& preset = presets[service];
        if (!preset.enabled)
            continue;
        const auto send = [this, service, preset](const QString& name, const QString& text) {
            const PresetRequest request = PresetSettings::request(service, preset, text);
            m_outbox.post(PresetSettings::name(service), request.toJson(),
                          QStringLiteral("%1 %2 to %3")
                              .arg(PresetSettings::name(service), name, request.url.host()));
        };
        const auto summary = [send](const QString& text) { send(QStringLiteral("summary"), text); };
        if (m_outbox.cap().admit(PresetSettings::name(service), summary))
            send(event.name(), event.text);
    }
}

void PresetChannel::send(const QString& id, const QJsonObject& payload)
{
    const PresetRequest r = PresetRequest::fromJson(payload);
    QNetworkRequest request(r.url);
    for (const auto& [name, value] : r.headers)
        request.setRawHeader(name, value);
    request.setTransferTimeout(kTimeoutMs);
    if (!m_network) { // made for a first message only: it costs memory
        m_network = new QNetworkAccessManager(this);
        // Tokens ride in headers and addresses: never to a host they were not meant for.
        m_network->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    }
    QNetworkReply* reply = m_network->sendCustomRequest(request, r.method.toLatin1(), r.body);
    connect(reply, &QNetworkReply::finished, this, [this, reply, id] {
        reply->deleteLater();
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = reply->error() == QNetworkReply::NoError && status / 100 == 2;
        if (ok) {
            m_outbox.done(id, true);
            return;
        }
        // Qt's error text quotes the address, and with it the token.
        QString why = OutsideText::httpFailure(status, reply->errorString());
        // The services say what is wrong in a JSON field of their own.
        const QJsonObject answer = QJsonDocument::fromJson(reply->read(4096)).object();
        for (const char* field : {"description", "message", "error", "errors"}) {
            const QJsonValue value = answer.value(QLatin1String(field));
            const QString text = value.isArray() ? value[0].toString() : value.toString();
            if (!text.isEmpty()) {
                why += QStringLiteral(": ") + OutsideText::redacted(text, 160);
                break;
            }
        }
        m_outbox.done(id, false, why);
    });
}

} // namespace dovrane
