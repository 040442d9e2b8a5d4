#include "Notifications.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmPlan.h"
#include "CallList.h"
#include "Clock.h"
#include "DataFiles.h"
#include "ErrorReporter.h"
#include "FloodCap.h"
#include "GsmTexter.h"
#include "HookRunner.h"
#include "NotifySettings.h"
#include "Outbox.h"
#include "OutboxMail.h"
#include "PresetChannel.h"
#include "PresetSettings.h"
#include "Settings.h"
#include "SmtpTransport.h"
#include "WebhookChannel.h"

#include <QLoggingCategory>

#include <algorithm>

// Named as before these paths left the station, so log filters keep working.
Q_LOGGING_CATEGORY(lcNotifications, "dovrane.station")

namespace dovrane {

Notifications::Notifications(NotificationParts parts, QObject* parent)
    : QObject(parent), m_parts(std::move(parts))
{
    m_outbox = new Outbox(m_parts.clock, m_parts.outboxFolder, m_parts.errors, this);
    m_outbox->cap().setFacility([this] { return m_parts.account.facility(); });
    m_mail = new OutboxMail(*m_outbox, m_parts.sendmail, this);
    m_smtp = new SmtpTransport(m_parts.clock, this);
    m_webhooks = new WebhookChannel(*m_outbox, this);
    m_presets = new PresetChannel(*m_outbox, this);
    m_gsm = new GsmTexter(*m_outbox, m_parts.serialProfile, m_parts.clock, m_parts.serial, this);
    m_hook = new HookRunner(m_parts.clock, this);
    m_repeat = m_parts.clock.createTimer(this);
    m_repeat->setObjectName(QStringLiteral("tmrRepeat"));
    connect(m_repeat, &ClockTimer::timeout, this, &Notifications::repeatAlarm);
    applySettings();
    connect(&m_parts.settings, &Settings::changed, this, &Notifications::applySettings);
    connect(m_mail, &MailTransport::failed, this, [this](int number, const QString& description) {
        m_parts.errors.report(QStringLiteral("%1 %2").arg(number).arg(description));
    });
}

MailTransport& Notifications::mail() const
{
    return *m_mail;
}

void Notifications::applySettings()
{
    const NotifySettings notify = m_parts.settings.get<NotifySettings>();
    m_smtp->configure(notify);
    m_outbox->setFirstWait(std::clamp(notify.retryFirstSeconds, 1, 600));
    m_outbox->cap().configure(std::clamp(notify.capPerMinute, 0, 600),
                              std::clamp(notify.capHoldMinutes, 1, 1440));
    if (notify.smtp())
        m_mail->setTransport(*m_smtp);
    else
        m_mail->setTransport(m_parts.sendmail);
    dropSwitchedOff();
    if (notify.repeatMinutes <= 0)
        m_repeat->stop();
    else
        m_repeat->setInterval(notify.repeatMinutes * 60000);
}

void Notifications::dropSwitchedOff()
{
    const PresetSettings presets = m_parts.settings.get<PresetSettings>();
    for (auto service : PresetSettings::kServices)
        if (!presets[service].enabled)
            m_outbox->withdraw(PresetSettings::name(service));
}

void Notifications::notify(const StationEvent& event)
{
    using Kind = StationEvent::Kind;
    // Acknowledgement and repeats follow the main input's alarm.
    const bool main = event.input.isEmpty();
    if (main && event.kind == Kind::SilenceAlarm && !m_alarmOn) {
        m_alarmOn = true;
        m_acknowledged = false;
        m_alarmEvent = event;
        if (m_repeat->interval() > 0 && m_parts.settings.get<NotifySettings>().repeatMinutes > 0)
            m_repeat->start();
        Q_EMIT awaitingAcknowledgeChanged(true);
    } else if (main && event.kind == Kind::SilenceEnd && m_alarmOn) {
        m_alarmOn = false;
        m_repeat->stop();
        m_alarmSubject.clear();
        Q_EMIT awaitingAcknowledgeChanged(false);
    }
    const NotifySettings settings = m_parts.settings.get<NotifySettings>();
    const QString facility = m_parts.account.facility();
    m_webhooks->post(settings.webhooks, event, facility);
    m_presets->post(m_parts.settings.get<PresetSettings>(), event);
    if (!settings.hook.isEmpty())
        m_hook->run(settings.hook, event, facility);
    if (settings.gsm && ((m_parts.plan.sendPage() &&
                          (event.kind == Kind::SilenceAlarm || event.kind == Kind::SilenceEnd)) ||
                         event.kind == Kind::Test))
        CallList::walk(m_parts.files.callList(), [this, &event](qint64, const CallRecord& entry) {
            if (entry.inUse())
                m_gsm->post(entry.CallNumber.trimmed(), event.text);
        });
}

void Notifications::keepAlarmMail(const QString& subject, const QString& body)
{
    m_alarmSubject = subject;
    m_alarmBody = body;
}

void Notifications::repeatAlarm()
{
    if (!awaitingAcknowledge()) {
        m_repeat->stop();
        return;
    }
    qCInfo(lcNotifications) << "alarm not acknowledged, notifying again";
    if (m_parts.plan.sendEmail() && !m_alarmSubject.isEmpty())
        Q_EMIT mailAgain(m_alarmSubject, m_alarmBody);
    if (m_parts.plan.sendPage() && !m_parts.settings.get<NotifySettings>().gsm)
        Q_EMIT callAgain();
    notify(m_alarmEvent);
}

StationEvent Notifications::testEvent() const
{
    const QDateTime now = m_parts.clock.now();
    return {StationEvent::Kind::Test, now, 0,
            m_parts.account.facility() + QLatin1String(" Test ") +
                now.time().toString(QStringLiteral("HH:mm:ss")),
            QStringLiteral("Test")};
}

QString Notifications::sendTest()
{
    const NotifySettings settings = m_parts.settings.get<NotifySettings>();
    QStringList paths;
    if (!settings.webhooks.isEmpty())
        paths << QStringLiteral("%1 webhook(s)").arg(settings.webhooks.size());
    if (!settings.hook.isEmpty())
        paths << QStringLiteral("the program");
    if (settings.gsm)
        paths << QStringLiteral("text messages to the call list");
    if (settings.smtp()) {
        if (settings.smtpSender.isEmpty()) {
            paths << QStringLiteral("no mail (SMTP needs a sender address to mail the test to)");
        } else {
            const StationEvent event = testEvent();
            if (m_mail->sessionId() != 0 || m_mail->signOn())
                m_mail->send({{settings.smtpSender}, event.text, event.text});
            paths << QStringLiteral("a mail to %1 through %2")
                         .arg(settings.smtpSender, settings.smtpServer);
        }
    }
    const bool events = !settings.webhooks.isEmpty() || !settings.hook.isEmpty() || settings.gsm;
    if (paths.isEmpty())
        return QStringLiteral("Nothing to test: no SMTP server, webhook, program or GSM modem is "
                              "saved yet. Enter one and press OK first.");
    qCInfo(lcNotifications) << "test notification";
    if (events)
        Q_EMIT testRaised(testEvent());
    return QStringLiteral("Test sent to %1. A failure shows in the error window.")
        .arg(paths.join(QStringLiteral(", ")));
}

void Notifications::sendPresetTest(const PresetSettings& presets)
{
    qCInfo(lcNotifications) << "test message to the chat and push services";
    m_presets->post(presets, testEvent());
}

bool Notifications::acknowledge()
{
    if (!awaitingAcknowledge())
        return false;
    m_acknowledged = true;
    m_repeat->stop();
    m_parts.log.WriteAlarmLog(QStringLiteral("Alarm Acknowledged   "));
    Q_EMIT awaitingAcknowledgeChanged(false);
    return true;
}

} // namespace dovrane
