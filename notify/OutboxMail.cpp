#include "OutboxMail.h"

#include "FloodCap.h"
#include "Outbox.h"

#include <QJsonArray>
#include <QScopeGuard>

namespace dovrane {

OutboxMail::OutboxMail(Outbox& outbox, MailTransport& transport, QObject* parent)
    : MailTransport(parent), m_outbox(outbox)
{
    setTransport(transport);
    m_outbox.addChannel(QStringLiteral("mail"),
                        [this](const QString& id, const QJsonObject& p) { deliver(id, p); });
}

void OutboxMail::setTransport(MailTransport& transport)
{
    m_transport = &transport;
    if (m_inFlight.contains(&transport))
        return;
    m_inFlight.insert(&transport, {});
    connect(&transport, &MailTransport::finished, this, [this, t = &transport](bool accepted) {
        QQueue<QString>& queue = m_inFlight[t];
        if (!queue.isEmpty())
            m_outbox.done(queue.dequeue(), accepted);
    });
    connect(&transport, &MailTransport::failed, this,
            [this, t = &transport](int number, const QString& description) {
                const QQueue<QString>& queue = m_inFlight[t];
                const QString id = !m_handing.isEmpty() ? m_handing
                                   : queue.isEmpty()    ? QString()
                                                        : queue.head();
                if (m_outbox.failures(id) <= 0)
                    Q_EMIT failed(number, description);
            });
}

void OutboxMail::send(const MailMessage& message)
{
    const QString to = message.recipients.join(QStringLiteral(", "));
    const auto summary = [this, message](const QString& text) {
        MailMessage told = message;
        told.subject = text;
        told.body = text;
        post(told);
    };
    if (m_outbox.cap().admit(QStringLiteral("mail|") + to, summary))
        post(message);
}

void OutboxMail::post(const MailMessage& message)
{
    const QJsonObject payload{
        {QStringLiteral("to"), QJsonArray::fromStringList(message.recipients)},
        {QStringLiteral("subject"), message.subject},
        {QStringLiteral("body"), message.body}};
    m_outbox.post(QStringLiteral("mail"), payload,
                  QStringLiteral("mail \"%1\" to %2")
                      .arg(message.subject, message.recipients.join(QStringLiteral(", "))));
}

void OutboxMail::deliver(const QString& id, const QJsonObject& payload)
{
    m_handing = id;
    const auto handed = qScopeGuard([this] { m_handing.clear(); });
    if (m_transport->sessionId() == 0 && !m_transport->signOn()) {
        m_outbox.done(id, false, QStringLiteral("no mail system"));
        return;
    }
    MailMessage message;
    for (const QJsonValue to : payload.value(QStringLiteral("to")).toArray())
        message.recipients << to.toString();
    message.subject = payload.value(QStringLiteral("subject")).toString();
    message.body = payload.value(QStringLiteral("body")).toString();
    m_inFlight[m_transport].enqueue(id);
    m_transport->send(message);
}

} // namespace dovrane
