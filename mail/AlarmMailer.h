#pragma once

#include <QObject>

namespace dovrane {

class Account;
class AlarmLog;
class Clock;
class DataFiles;
class MailTransport;

/// Sends the alarm and end-of-alarm e-mail to the address book entries that the
/// delivery rule lets through at that moment, and the test message of the address
/// book window. Both only hand the message to the transport and return at once: a
/// mail system that fails, hangs or is missing never holds up monitoring, and its
/// failures reach the operator through MailTransport::failed().
class AlarmMailer : public QObject
{
    Q_OBJECT
public:
    AlarmMailer(const DataFiles& files, const Account& account, Clock& clock,
                MailTransport& transport, AlarmLog& log, QObject* parent = nullptr);

    /// One message with subject and body to every qualifying entry, in record
    /// order, with an "Email--> " log line per recipient written before sending. No
    /// qualifying entry: the session is signed off and nothing is sent or logged.
    void SendMail(const QString& subject, const QString& body);

    /// "<Facility> Test Message" to the entry in record n, whatever its delivery
    /// option; nothing is sent when that slot is not in use. Returns the address it
    /// went to, empty when nothing was sent.
    QString sendTestMessage(qint64 recordNumber);

    /// "mm-dd-yyyy hh:mm:ss" of the clock, as the mail bodies start.
    [[nodiscard]] QString stampText() const;

private:
    /// Signs on when no session is open; false when the mail system refused.
    bool ensureSession();
    void logRecipient(const QString& storedAddress);

    const DataFiles& m_files;
    const Account& m_account;
    Clock& m_clock;
    MailTransport& m_transport;
    AlarmLog& m_log;
};

} // namespace dovrane
