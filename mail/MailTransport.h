#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace dovrane {

/// One outgoing message as the alarm mail sender builds it.
struct MailMessage
{
    QStringList recipients; ///< addresses, blanks already trimmed, in slot order
    QString subject;
    QString body;
};

/// The platform's mail system as the sender sees it: a session that is signed on
/// once and reused, and messages composed and sent without any question to the
/// user. Sending hands the message over and returns at once; a failure that comes
/// later is reported through failed().
class MailTransport : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~MailTransport() override = default;

    /// 0 while no session is open.
    [[nodiscard]] virtual qint64 sessionId() const = 0;
    /// Opens a session; false (and failed() emitted) when no mail system is found.
    virtual bool signOn() = 0;
    virtual void signOff() = 0;
    /// Queues the message; messages leave in the order they were sent.
    virtual void send(const MailMessage& message) = 0;

Q_SIGNALS:
    /// A failure of the mail system, for the error window.
    void failed(int number, const QString& description);
    /// A queued message was accepted by the mail system.
    void delivered();
    /// Exactly one per send(), in send order: whether the mail system took the
    /// message. A message refused whole (no usable address, no mail program) ends
    /// false at once.
    void finished(bool accepted);
};

} // namespace dovrane
