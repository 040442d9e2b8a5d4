#include "Station.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AlarmPlan.h"
#include "AudioInput.h"
#include "CallList.h"
#include "Clock.h"
#include "ControlServer.h"
#include "DataFiles.h"
#include "GsmTexter.h"
#include "HookRunner.h"
#include "InputChoice.h"
#include "MailTransport.h"
#include "NotifySettings.h"
#include "Outbox.h"
#include "OutboxMail.h"
#include "PagerDialer.h"
#include "ParamsFile.h"
#include "SerialProfile.h"
#include "Settings.h"
#include "SilenceMonitor.h"
#include "SmtpTransport.h"
#include "StartupLoader.h"
#include "WebhookChannel.h"

#include <QLoggingCategory>

#include <algorithm>

Q_LOGGING_CATEGORY(lcStation, "dovrane.station")

namespace dovrane {

Station::Station(Services services, QObject* parent)
    : QObject(parent), m_services(std::move(services))
{
    m_files = new DataFiles(this);
    m_plan = new AlarmPlan(this);
    m_account = new Account(this);
    m_serialProfile = new SerialProfile(this);
    m_settings = new Settings(m_services.paths.settingsFile(), this);
    m_alarmLog = new AlarmLog(m_services.clock, m_services.paths, m_errors, this);
    m_loader = std::make_unique<StartupLoader>(*m_files, *m_plan, *m_account, *m_serialProfile,
                                               m_services.paths, m_errors);
    m_monitor = new SilenceMonitor(*m_plan, *m_account, m_services.clock, m_services.audio,
                                   *m_alarmLog, m_errors, this);
    m_dialer = new PagerDialer(*m_files, *m_serialProfile, m_services.clock, m_services.serial,
                               *m_alarmLog, m_errors, this);
    m_dialer->setObjectName(QStringLiteral("pagerDialer"));
    m_outbox = new Outbox(m_services.clock, m_services.paths.file(QStringLiteral("outbox")),
                          m_errors, this);
    m_mail = new OutboxMail(*m_outbox, m_services.mail, this);
    m_smtp = new SmtpTransport(m_services.clock, this);
    m_webhooks = new WebhookChannel(*m_outbox, this);
    m_gsm = new GsmTexter(*m_outbox, *m_serialProfile, m_services.clock, m_services.serial, this);
    m_hook = new HookRunner(m_services.clock, this);
    m_control = new ControlServer(this);
    m_control->addCommand(QStringLiteral("ack"), [this](const QString&) {
        return acknowledge() ? QStringLiteral("acknowledged")
                             : QStringLiteral("no alarm waiting to be acknowledged");
    });
    m_repeat = m_services.clock.createTimer(this);
    m_repeat->setObjectName(QStringLiteral("tmrRepeat"));
    connect(m_repeat, &ClockTimer::timeout, this, &Station::repeatAlarm);
    m_mailer = new AlarmMailer(*m_files, *m_account, m_services.clock, *m_mail, *m_alarmLog, this);
    applyNotifySettings();
    connect(m_settings, &Settings::changed, this, &Station::applyNotifySettings);

    m_monitor->setBeforeStart([this] { checkInputDevice(); });
    connect(m_monitor, &SilenceMonitor::callSequenceRequested, this, [this] {
        if (!m_settings->read<NotifySettings>().gsm)
            m_dialer->StartCallSequence();
    });
    connect(m_monitor, &SilenceMonitor::mailRequested, this,
            [this](const QString& subject, const QString& body) {
                if (m_monitor->alarmOn()) {
                    m_alarmSubject = subject;
                    m_alarmBody = body;
                }
                m_mailer->SendMail(subject, body);
            });
    connect(this, &Station::eventRaised, this, &Station::notify);
    const auto silenceEvent = [this](StationEvent::Kind kind, qint32 seconds, const char* what) {
        const QDateTime now = m_services.clock.now();
        raise({kind, now, seconds,
               m_account->facility() + QLatin1String(what) +
                   now.time().toString(QStringLiteral("HH:mm:ss"))});
    };
    connect(m_monitor, &SilenceMonitor::alarmRaised, this, [this, silenceEvent] {
        silenceEvent(StationEvent::Kind::SilenceAlarm, m_monitor->silenceSecs(), " Silence Alarm ");
    });
    connect(m_monitor, &SilenceMonitor::alarmEnded, this, [silenceEvent](qint32 seconds) {
        silenceEvent(StationEvent::Kind::SilenceEnd, seconds, " Silence Alarm End ");
    });

    // A lost capture is silence to the alarm; the operator is also told why, and
    // told again when the input is back.
    connect(&m_services.audio, &AudioInput::captureLost, this,
            [this](const QString& description) { m_errors.report(description); });
    connect(&m_services.audio, &AudioInput::captureRegained, this,
            [this](const QString& description) { m_errors.report(description); });
    connect(m_mail, &MailTransport::failed, this, [this](int number, const QString& description) {
        m_errors.report(QStringLiteral("%1 %2").arg(number).arg(description));
    });
}

void Station::start()
{
    LoadDataFiles();
    LoadParams();
    QString why;
    if (!m_control->listen(m_services.paths.file(QStringLiteral("dovrane.sock")), &why))
        qCWarning(lcStation).noquote() << "no control channel:" << why;
    m_outbox->resume();
}

void Station::applyNotifySettings()
{
    const NotifySettings notify = m_settings->read<NotifySettings>();
    m_smtp->configure(notify);
    m_outbox->setFirstWait(std::clamp(notify.retryFirstSeconds, 1, 600));
    if (notify.smtp())
        m_mail->setTransport(*m_smtp);
    else
        m_mail->setTransport(m_services.mail);
    if (notify.repeatMinutes <= 0)
        m_repeat->stop();
    else
        m_repeat->setInterval(notify.repeatMinutes * 60000);
}

void Station::notify(const StationEvent& event)
{
    using Kind = StationEvent::Kind;
    if (event.kind == Kind::SilenceAlarm && !m_alarmOn) {
        m_alarmOn = true;
        m_acknowledged = false;
        m_alarmEvent = event;
        if (m_repeat->interval() > 0 && m_settings->read<NotifySettings>().repeatMinutes > 0)
            m_repeat->start();
        Q_EMIT awaitingAcknowledgeChanged(true);
    } else if (event.kind == Kind::SilenceEnd && m_alarmOn) {
        m_alarmOn = false;
        m_repeat->stop();
        m_alarmSubject.clear();
        Q_EMIT awaitingAcknowledgeChanged(false);
    }
    const NotifySettings settings = m_settings->read<NotifySettings>();
    const QString facility = m_account->facility();
    if (event.kind == Kind::SilenceAlarm || event.kind == Kind::SilenceEnd ||
        event.kind == Kind::InputLost || event.kind == Kind::Test)
        m_webhooks->post(settings.webhooks, event, facility);
    if (!settings.hook.isEmpty())
        m_hook->run(settings.hook, event, facility);
    if (settings.gsm && ((m_plan->sendPage() &&
                          (event.kind == Kind::SilenceAlarm || event.kind == Kind::SilenceEnd)) ||
                         event.kind == Kind::Test))
        CallList::walk(m_files->callList(), [this, &event](qint64, const CallRecord& entry) {
            if (entry.inUse())
                m_gsm->post(entry.CallNumber.trimmed(), event.text);
        });
}

void Station::repeatAlarm()
{
    if (!awaitingAcknowledge()) {
        m_repeat->stop();
        return;
    }
    qCInfo(lcStation) << "alarm not acknowledged, notifying again";
    if (m_plan->sendEmail() && !m_alarmSubject.isEmpty())
        m_mailer->SendMail(m_alarmSubject, m_alarmBody);
    if (m_plan->sendPage() && !m_settings->read<NotifySettings>().gsm)
        m_dialer->StartCallSequence();
    notify(m_alarmEvent);
}

void Station::sendTest()
{
    const QDateTime now = m_services.clock.now();
    qCInfo(lcStation) << "test notification";
    raise({StationEvent::Kind::Test, now, 0,
           m_account->facility() + QLatin1String(" Test ") +
               now.time().toString(QStringLiteral("HH:mm:ss"))});
}

bool Station::acknowledge()
{
    if (!awaitingAcknowledge())
        return false;
    m_acknowledged = true;
    m_repeat->stop();
    m_alarmLog->WriteAlarmLog(QStringLiteral("Alarm Acknowledged   "));
    Q_EMIT awaitingAcknowledgeChanged(false);
    return true;
}

Station::~Station()
{
    m_files->close();
}

void Station::LoadDataFiles()
{
    m_loader->LoadDataFiles();
}

void Station::LoadParams()
{
    ParamsFile file(m_services.paths.paramsFile());
    if (!file.open())
        return;
    m_storedDevice = file.read(ParamsFile::InputDevice);
    m_services.audio.selectDevice(m_storedDevice);
    checkInputDevice();
    m_monitor->setAlarmDelay(static_cast<qint16>(file.read(ParamsFile::AlarmDelay)));
    m_monitor->setThreshold(file.read(ParamsFile::Threshold));
    file.close();
}

void Station::checkInputDevice()
{
    QString why;
    const int device = InputChoice::resolve(m_services.paths.settingsFile(), m_services.audio,
                                            m_storedDevice, &why);
    if (why.isEmpty() || why == m_inputDeviceNote)
        return;
    m_inputDeviceNote = why; // said once, not at every start
    m_services.audio.selectDevice(device);
    m_errors.report(why);
    m_alarmLog->WriteAlarmLog(why);
}

void Station::reload()
{
    LoadDataFiles();
    LoadParams();
    m_settings->reload();
    ParamsFile file(m_services.paths.paramsFile());
    if (!file.open())
        return;
    const qint32 action = file.read(ParamsFile::AlarmAction);
    file.close();
    if (action == 1 || action == 2) {
        m_plan->setSendPage(action == 1);
        m_plan->setSendEmail(action == 2);
    }
}

void Station::shutdown()
{
    // Timers that fall due in the same pass of the event loop would still run: stop
    // them all, so no alarm tick, schedule tick or next call follows.
    for (ClockTimer* timer : findChildren<ClockTimer*>())
        timer->stop();
    m_services.audio.stop();
    m_files->close();
}

} // namespace dovrane
