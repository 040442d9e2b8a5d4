#include "Station.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AlarmPlan.h"
#include "AudioInput.h"
#include "ClipRecorder.h"
#include "Clock.h"
#include "DataFiles.h"
#include "DetectorSettings.h"
#include "FaultDetectors.h"
#include "InputChoice.h"
#include "MailTransport.h"
#include "PagerDialer.h"
#include "ParamsFile.h"
#include "SerialProfile.h"
#include "Settings.h"
#include "SilenceMonitor.h"
#include "StartupLoader.h"

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

    m_detectors =
        new FaultDetectors(m_services.clock, m_services.audio, *m_monitor, *m_alarmLog, this);
    m_clips = new ClipRecorder(m_services.clock, m_services.audio, m_services.paths, this);
    connect(m_detectors, &FaultDetectors::faultChanged, this, &Station::onFault);
    connect(m_clips, &ClipRecorder::written, this, [this](const QString&, const QString& why) {
        if (!why.isEmpty())
            m_errors.report(why);
    });
    connect(m_settings, &Settings::changed, this, &Station::applyDetectorSettings);

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
        m_clips->record(m_services.clock.now().addSecs(-m_monitor->silenceSecs()),
                        QStringLiteral("silence"));
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
}

void Station::start()
{
    LoadDataFiles();
    LoadParams();
    applyDetectorSettings();
}

void Station::applyDetectorSettings()
{
    const auto settings = m_settings->read<DetectorSettings>();
    m_detectors->configure(settings);
    m_clips->configure(settings.clips, settings.clipDays);
}

void Station::onFault(StationEvent::Kind kind, qint64 ms, const QString& what)
{
    const QDateTime now = m_services.clock.now();
    const QString time = now.time().toString(QStringLiteral("HH:mm:ss"));
    const bool input =
        kind == StationEvent::Kind::InputLost || kind == StationEvent::Kind::InputBack;
    const QString why = kind == StationEvent::Kind::InputLost
                            ? QStringLiteral(": no sound arrives from the input at all (lost, "
                                             "not silent)")
                            : QString();
    raise({kind, now, qint32(ms / 1000),
           m_account->facility() + QLatin1Char(' ') + what + QLatin1Char(' ') + time + why});
    if (input && m_plan->sendEmail() && m_monitor->isRunning())
        m_mailer->SendMail(m_account->facility() + QLatin1Char(' ') + what,
                           m_mailer->stampText() + QLatin1Char(' ') + what + why);
    if (StationEvent{kind, now, 0, {}}.isFault())
        m_clips->record(now.addMSecs(-ms), StationEvent::name(kind));
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
