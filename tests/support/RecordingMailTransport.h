#pragma once

#include "MailTransport.h"

#include <QList>
#include <QStringList>

namespace dovrane::test {

/// A mail system that keeps every message instead of sending it, and records the
/// session calls in order ("signOn", "signOff", "send").
class RecordingMailTransport final : public MailTransport
{
    Q_OBJECT
public:
    using MailTransport::MailTransport;

    [[nodiscard]] qint64 sessionId() const override { return m_session; }
    bool signOn() override
    {
        calls.append(QStringLiteral("signOn"));
        if (refuseSignOn)
            return false;
        m_session = ++m_nextSession;
        return true;
    }
    void signOff() override
    {
        calls.append(QStringLiteral("signOff"));
        m_session = 0;
    }
    void send(const MailMessage& message) override
    {
        calls.append(QStringLiteral("send"));
        sent.append(message);
    }

    QStringList calls;
    QList<MailMessage> sent;
    bool refuseSignOn = false;

private:
    qint64 m_session = 0;
    qint64 m_nextSession = 0;
};

} // namespace dovrane::test
