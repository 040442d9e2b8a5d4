#pragma once

#include "MailTransport.h"

#include <QHash>
#include <QPointer>
#include <QQueue>

namespace dovrane {

class Outbox;

/// The mail transport the alarm mailer sees: each message goes through the outbox
/// to the mail system in use (the sendmail program or SMTP), so a failed one is
/// sent again later. The first try leaves at once, as it would without the outbox.
/// The mail system's failures come out of failed() for first tries only: the outbox
/// reports retries itself, once, so a dead server does not fill the error window.
class OutboxMail final : public MailTransport
{
    Q_OBJECT
public:
    OutboxMail(Outbox& outbox, MailTransport& transport, QObject* parent = nullptr);

    /// The mail system later messages and retries go to.
    void setTransport(MailTransport& transport);

    [[nodiscard]] qint64 sessionId() const override { return m_transport->sessionId(); }
    bool signOn() override { return m_transport->signOn(); }
    void signOff() override { m_transport->signOff(); }
    void send(const MailMessage& message) override;

private:
    /// Into the outbox, past the cap.
    void post(const MailMessage& message);
    void deliver(const QString& id, const QJsonObject& payload);

    Outbox& m_outbox;
    MailTransport* m_transport = nullptr;
    /// The message being handed over right now, for failures reported on the spot.
    QString m_handing;
    /// Outbox ids handed to each transport, in the order it answers.
    QHash<MailTransport*, QQueue<QString>> m_inFlight;
};

} // namespace dovrane
