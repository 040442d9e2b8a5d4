#include "AlarmMailer.h"

#include "Account.h"
#include "AddressBook.h"
#include "AlarmLog.h"
#include "Clock.h"
#include "MailTransport.h"

namespace dovrane {

AlarmMailer::AlarmMailer(const DataFiles& files, const Account& account, Clock& clock,
                         MailTransport& transport, AlarmLog& log, QObject* parent)
    : QObject(parent), m_files(files), m_account(account), m_clock(clock), m_transport(transport),
      m_log(log)
{}

QString AlarmMailer::stampText() const
{
    return m_clock.now().toString(QStringLiteral("MM-dd-yyyy HH:mm:ss"));
}

bool AlarmMailer::ensureSession()
{
    if (m_transport.sessionId() != 0)
        return true;
    return m_transport.signOn() && m_transport.sessionId() != 0;
}

void AlarmMailer::logRecipient(const QString& storedAddress)
{
    m_log.WriteAlarmLog(QStringLiteral("Email--> ") + storedAddress);
}

void AlarmMailer::SendMail(const QString& subject, const QString& body)
{
    // The weekday is fixed for the whole send; the time is read per entry.
    const int weekday = sundayFirstWeekday(m_clock.today());
    // Without a mail system there is nobody to log as reached; the transport has
    // already reported why.
    if (!ensureSession())
        return;

    MailMessage message;
    AddressBook book(m_files);
    book.walk([&](qint64, const AddressRecord& entry) {
        if (!receivesAlarmMail(entry, weekday, m_clock.secondsAfterMidnight()))
            return;
        message.recipients.append(entry.Address.trimmed());
        logRecipient(entry.Address);
    });

    if (message.recipients.isEmpty()) {
        m_transport.signOff();
        return;
    }
    message.subject = subject;
    message.body = body;
    m_transport.send(message);
}

QString AlarmMailer::sendTestMessage(qint64 recordNumber)
{
    if (recordNumber < 1 || !ensureSession())
        return {};
    AddressBook book(m_files);
    const AddressRecord entry = book.read(recordNumber);
    if (!entry.inUse())
        return {};
    MailMessage message;
    message.recipients.append(entry.Address.trimmed());
    message.subject = m_account.facility() + QStringLiteral(" Test Message");
    message.body = stampText() + QStringLiteral(" This is only a test.");
    m_transport.send(message);
    logRecipient(entry.Address);
    return entry.Address.trimmed();
}

} // namespace dovrane
