#pragma once

#include "MailTransport.h"

#include <QList>

namespace dovrane::test {

/// A mail system that keeps every message instead of sending it.
class RecordingMailTransport final : public MailTransport
{
    Q_OBJECT
public:
    using MailTransport::MailTransport;

    [[nodiscard]] qint64 sessionId() const override { return m_session; }
    bool signOn() override { return (m_session = ++m_sessions) != 0; }
    void signOff() override { m_session = 0; }
    void send(const MailMessage& message) override
    {
        sent.append(message);
        if (!accept)
            Q_EMIT failed(75, QStringLiteral("refused"));
        Q_EMIT finished(accept);
    }

    QList<MailMessage> sent;
    bool accept = true;

private:
    qint64 m_session = 0;
    qint64 m_sessions = 0;
};

} // namespace dovrane::test
