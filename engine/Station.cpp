#include "Station.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AlarmPlan.h"
#include "AudioInput.h"
#include "Clock.h"
#include "DataFiles.h"
#include "InputChoice.h"
#include "MailTransport.h"
#include "PagerDialer.h"
#include "ParamsFile.h"
#include "SerialProfile.h"
#include "Settings.h"
#include "SilenceMonitor.h"
#include "StartupLoader.h"
#include "StatusService.h"

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
    m_mailer =
        new AlarmMailer(*m_files, *m_account, m_services.clock, m_services.mail, *m_alarmLog, this);

    m_monitor->setBeforeStart([this] { checkInputDevice(); });
    connect(m_monitor, &SilenceMonitor::callSequenceRequested, m_dialer,
            &PagerDialer::StartCallSequence);
    connect(m_monitor, &SilenceMonitor::mailRequested, m_mailer, &AlarmMailer::SendMail);
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
    connect(&m_services.mail, &MailTransport::failed, this,
            [this](int number, const QString& description) {
                m_errors.report(QStringLiteral("%1 %2").arg(number).arg(description));
            });

    // Every notification the station makes is counted for the remote status.
    connect(&m_services.mail, &MailTransport::delivered, this,
            [this] { m_counters.add(QStringLiteral("mail"), QStringLiteral("sent")); });
    connect(&m_services.mail, &MailTransport::failed, this,
            [this] { m_counters.add(QStringLiteral("mail"), QStringLiteral("failed")); });
    connect(m_dialer, &PagerDialer::stateChanged, this, [this](PagerDialer::State state) {
        // A call either reaches the dial command or falls back to idle before it.
        if (state == PagerDialer::State::CallUp)
            m_counters.add(QStringLiteral("pager"), QStringLiteral("called"));
        else if (state == PagerDialer::State::Idle && m_pagerSettingUp)
            m_counters.add(QStringLiteral("pager"), QStringLiteral("failed"));
        m_pagerSettingUp = state == PagerDialer::State::SettingUp;
    });
    m_status = new StatusService({*m_monitor, m_services.audio, *m_account, *m_plan, *m_alarmLog,
                                  m_services.clock, m_counters, *m_settings, m_errors},
                                 this);
}

void Station::start()
{
    LoadDataFiles();
    LoadParams();
    m_status->apply();
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
