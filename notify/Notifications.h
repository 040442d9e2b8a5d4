#pragma once

#include "Outbox.h"
#include "StationEvent.h"

#include <QObject>

namespace dovrane {

class Account;
class AlarmLog;
class AlarmPlan;
class Clock;
class ClockTimer;
class DataFiles;
class ErrorReporter;
class GsmTexter;
class HookRunner;
class MailTransport;
class OutboxMail;
class PresetChannel;
struct PresetSettings;
class SerialPort;
class SerialProfile;
class Settings;
class SmtpTransport;
class WebhookChannel;

/// What the notification paths work with; the station hands in its own.
struct NotificationParts
{
    Clock& clock;
    const Settings& settings;
    const Account& account;
    const AlarmPlan& plan;
    const DataFiles& files;
    const SerialProfile& serialProfile;
    SerialPort& serial;
    /// The sendmail program, unless [notify] names an SMTP server.
    MailTransport& sendmail;
    AlarmLog& log;
    ErrorReporter& errors;
    QString outboxFolder;
};

/// Every notification path of Dovrane.ini beyond the pager and the alarm mail
/// (webhooks, chat and push services, the event hook, GSM text messages), the
/// outbox they and the alarm mail go through, and the repeats of an alarm until
/// someone acknowledges it ([notify], [presets]). Takes each event through notify().
class Notifications : public QObject
{
    Q_OBJECT
public:
    Notifications(NotificationParts parts, QObject* parent = nullptr);

    /// Every notification on its way out, with its pending and lost counts.
    [[nodiscard]] Outbox& outbox() const { return *m_outbox; }
    /// The mail transport for the alarm mailer: through the outbox to the sendmail
    /// program or SMTP.
    [[nodiscard]] MailTransport& mail() const;

    /// Stops the repeats of the alarm under way and logs that someone took it; false
    /// when there is no alarm waiting for that.
    bool acknowledge();
    /// A test event through the webhooks, the hook and GSM text messages, and a test
    /// mail to the sender through the SMTP server, as saved. Says where it went, or
    /// that nothing is set up to take it.
    QString sendTest();
    /// A test message to the chat and push services of presets (the entries on the
    /// settings page, saved or not), and nowhere else.
    void sendPresetTest(const PresetSettings& presets);
    /// Drops the waiting messages of every chat or push service that is off in the
    /// settings as saved, tests of entries never saved included.
    void dropSwitchedOff();
    /// An alarm is under way and nobody has acknowledged it yet.
    [[nodiscard]] bool awaitingAcknowledge() const { return m_alarmOn && !m_acknowledged; }
    /// The alarm under way has been acknowledged.
    [[nodiscard]] bool acknowledged() const { return m_alarmOn && m_acknowledged; }

public Q_SLOTS:
    /// The paths of Dovrane.ini for one event (also for a repeat).
    void notify(const dovrane::StationEvent& event);
    /// The alarm mail of the alarm under way, sent again with each repeat.
    void keepAlarmMail(const QString& subject, const QString& body);

Q_SIGNALS:
    void awaitingAcknowledgeChanged(bool waiting);
    /// The test event, for every path (the station raises it).
    void testRaised(const dovrane::StationEvent& event);
    /// A repeat: the alarm mail and the call sequence again, as the alarm action says.
    void mailAgain(const QString& subject, const QString& body);
    void callAgain();

private:
    void applySettings();
    void repeatAlarm();
    [[nodiscard]] StationEvent testEvent() const;

    NotificationParts m_parts;
    Outbox* m_outbox = nullptr;
    OutboxMail* m_mail = nullptr;
    SmtpTransport* m_smtp = nullptr;
    WebhookChannel* m_webhooks = nullptr;
    PresetChannel* m_presets = nullptr;
    GsmTexter* m_gsm = nullptr;
    HookRunner* m_hook = nullptr;
    ClockTimer* m_repeat = nullptr;
    bool m_alarmOn = false;
    bool m_acknowledged = false;
    StationEvent m_alarmEvent;
    QString m_alarmSubject;
    QString m_alarmBody;
};

} // namespace dovrane
