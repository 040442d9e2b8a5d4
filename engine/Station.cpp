#include "Station.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AlarmPlan.h"
#include "AlarmSettings.h"
#include "AlarmSuspension.h"
#include "AudioInput.h"
#include "ClipRecorder.h"
#include "Clock.h"
#include "ControlServer.h"
#include "DataFiles.h"
#include "DeadAirWatch.h"
#include "DetectorSettings.h"
#include "FaultDetectors.h"
#include "Heartbeat.h"
#include "InputChoice.h"
#include "MailTransport.h"
#include "NamedInputs.h"
#include "NamedInputWatch.h"
#include "Notifications.h"
#include "NotifySettings.h"
#include "Outbox.h"
#include "OutsideText.h"
#include "PagerDialer.h"
#include "ParamsFile.h"
#include "PreferencesForm.h"
#include "ScheduleSettings.h"
#include "SerialProfile.h"
#include "Settings.h"
#include "SettingsSections.h"
#include "SilenceMonitor.h"
#include "SnmpAgent.h"
#include "StartupLoader.h"
#include "StatusService.h"
#include "WeeklySchedule.h"

#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcStation, "dovrane.station")

namespace dovrane {

namespace {
const char* const kProfileMissing = "Connection Profile must be setup";
} // namespace

Station::Station(Services services, QObject* parent)
    : QObject(parent), m_services(std::move(services))
{
    m_files = new DataFiles(this);
    m_plan = new AlarmPlan(this);
    m_account = new Account(this);
    m_serialProfile = new SerialProfile(this);
    m_settings = new Settings(m_services.paths.settingsFile(), this);
    declareSections(*m_settings);
    connect(m_settings, &Settings::refused, this, [this](const QStringList& problems) {
        m_errors.report(QStringLiteral("Dovrane.ini not applied, the running settings stay: %1")
                            .arg(problems.join(QLatin1String("; "))));
    });
    if (const Settings::Report start = m_settings->load(); !start.problems.isEmpty())
        m_errors.report(QStringLiteral("Dovrane.ini: %1; these keep their defaults")
                            .arg(start.problems.join(QLatin1String("; "))));
    m_alarmLog = new AlarmLog(m_services.clock, m_services.paths, m_errors, this);
    m_loader = std::make_unique<StartupLoader>(*m_files, *m_plan, *m_account, *m_serialProfile,
                                               m_services.paths, m_errors);
    m_monitor = new SilenceMonitor(*m_plan, *m_account, m_services.clock, m_services.audio,
                                   *m_alarmLog, m_errors, this);
    m_dialer = new PagerDialer(*m_files, *m_serialProfile, m_services.clock, m_services.serial,
                               *m_alarmLog, m_errors, this);
    m_dialer->setObjectName(QStringLiteral("pagerDialer"));

    // Every path of Dovrane.ini, and the alarm mail too, goes out through the
    // notifications' outbox; a repeat sends the mail and calls again.
    m_notifications =
        new Notifications({m_services.clock, *m_settings, *m_account, *m_plan, *m_files,
                           *m_serialProfile, m_services.serial, m_services.mail, *m_alarmLog,
                           m_errors, m_services.paths.file(QStringLiteral("outbox"))},
                          this);
    m_control = new ControlServer(this);
    for (const char* name : {"ack", "suspend", "resume", "start", "stop"})
        m_control->addCommand(QLatin1String(name), [this, name](const QString& arguments) {
            const CommandAnswer answer =
                command(QLatin1String(name), arguments, QStringLiteral("the command line"));
            return ControlServer::Answer{answer.done, answer.text};
        });
    m_mailer = new AlarmMailer(*m_files, *m_account, m_services.clock, m_notifications->mail(),
                               *m_alarmLog, this);
    connect(m_notifications, &Notifications::mailAgain, m_mailer, &AlarmMailer::SendMail);
    connect(m_notifications, &Notifications::callAgain, m_dialer, &PagerDialer::StartCallSequence);
    connect(m_notifications, &Notifications::testRaised, this, &Station::raise);

    m_detectors =
        new FaultDetectors(m_services.clock, m_services.audio, *m_monitor, *m_alarmLog, this);
    m_clips = new ClipRecorder(m_services.clock, m_services.audio, m_services.paths, this);
    connect(m_detectors, &FaultDetectors::faultChanged, this, &Station::onFault);
    connect(m_monitor, &SilenceMonitor::monitoringChanged, this,
            [this] { m_detectorFaults.clear(); });
    connect(m_clips, &ClipRecorder::written, this, [this](const QString&, const QString& why) {
        if (!why.isEmpty())
            m_errors.report(why);
    });
    connect(m_settings, &Settings::changed, this, &Station::applyDetectorSettings);
    connect(m_settings, &Settings::changed, this, &Station::applyScheduleSettings);

    m_monitor->setBeforeStart([this] { checkInputDevice(); });
    connect(m_monitor, &SilenceMonitor::callSequenceRequested, this, [this] {
        if (!m_settings->get<NotifySettings>().gsm)
            m_dialer->StartCallSequence();
    });
    connect(m_monitor, &SilenceMonitor::mailRequested, this,
            [this](const QString& subject, const QString& body) {
                if (m_monitor->alarmOn()) {
                    m_notifications->keepAlarmMail(subject, body);
                    m_mailer->SendMail(subject, body);
                } else if (m_settings->get<NotifySettings>().endSubjectSaysEnd) {
                    m_mailer->SendMail(subject + QStringLiteral(" ended"), body);
                } else {
                    m_mailer->SendMail(subject, body);
                }
            });
    connect(this, &Station::eventRaised, m_notifications, &Notifications::notify);
    // The watch decides what is told of the silence alarm (flap control) and raises
    // hum, noise and loops itself; a clip of the sound is kept either way.
    m_watch = new DeadAirWatch(m_services.clock, *m_alarmLog, *m_account, *m_settings, this);
    connect(m_watch, &DeadAirWatch::eventRaised, this, [this](const StationEvent& event) {
        raise(event);
        // Hum, noise and a loop keep a clip from where they began, as every fault does.
        if (event.kind == StationEvent::Kind::Hum || event.kind == StationEvent::Kind::Noise ||
            event.kind == StationEvent::Kind::Loop)
            m_clips->record(event.time.addSecs(-event.seconds), event.name());
        // The silence alarm mails and pages by itself.
        if (event.kind == StationEvent::Kind::SilenceAlarm ||
            event.kind == StationEvent::Kind::SilenceEnd)
            return;
        tellByAlarmAction(event, event.what, {});
    });
    connect(m_monitor, &SilenceMonitor::alarmRaised, this, [this] {
        m_clips->record(m_services.clock.now().addSecs(-m_monitor->silenceSecs()),
                        QStringLiteral("silence"));
        m_watch->silenceRaised(m_monitor->silenceSecs());
    });
    connect(m_monitor, &SilenceMonitor::alarmEnded, m_watch, &DeadAirWatch::silenceEnded);
    m_monitor->setNoticeFilter([this](bool start) { return m_watch->silenceNotice(start); });

    // A maintenance window holds back every alarm; a fault still there at its end is
    // raised then.
    m_suspension = new AlarmSuspension(m_services.clock, *m_alarmLog, this);
    connect(m_suspension, &AlarmSuspension::changed, m_watch, &DeadAirWatch::setSuspendedUntil);
    m_monitor->setMayRaise([this] { return !m_suspension->isSuspended(); });
    connect(m_suspension, &AlarmSuspension::told, this, &Station::tellSuspension);
    connect(m_settings, &Settings::changed, this, &Station::applyAlarmSettings);
    applyAlarmSettings();

    // A lost capture is silence to the alarm; the operator is also told why, and
    // told again when the input is back.
    connect(&m_services.audio, &AudioInput::captureLost, this,
            [this](const QString& description) { m_errors.report(description); });
    connect(&m_services.audio, &AudioInput::captureRegained, this,
            [this](const QString& description) { m_errors.report(description); });

    // Every notification the station makes is counted for the remote status.
    connect(
        &m_notifications->outbox(), &Outbox::attempted, this,
        [this](const QString& channel, const QString& result) { m_counters.add(channel, result); });
    connect(m_dialer, &PagerDialer::stateChanged, this, [this](PagerDialer::State state) {
        // A call either reaches the dial command or falls back to idle before it.
        if (state == PagerDialer::State::CallUp)
            m_counters.add(QStringLiteral("pager"), QStringLiteral("called"));
        else if (state == PagerDialer::State::Idle && m_pagerSettingUp)
            m_counters.add(QStringLiteral("pager"), QStringLiteral("failed"));
        m_pagerSettingUp = state == PagerDialer::State::SettingUp;
    });
    const auto stationFacts = [this](StatusFacts& f, bool full) {
        f.suspendedUntil = m_suspension->suspendedUntil();
        f.acknowledged = m_notifications->acknowledged();
        f.outboxPending = m_notifications->outbox().pending();
        f.outboxLost = m_notifications->outbox().lost();
        f.activeFaults = activeFaults();
        f.notMonitoringInWindow = notMonitoringInWindow();
        f.humDbfs = m_watch->humDbfs();
        for (const NamedInputWatch* w : m_inputs->watches()) {
            f.inputs.append({w->name(), w->settings().shownSource(), w->state(), w->alarmOn(),
                             w->isUp(), w->isWatching(), w->settings().notify, w->silenceSecs(),
                             w->peakLeft(), w->peakRight(), w->description(),
                             OutsideText::redacted(w->title(), 200),
                             OutsideText::redacted(w->downReason(), 200),
                             w->source().property("bufferedAtStartMs").isValid()
                                 ? w->source().property("bufferedAtStartMs").toInt()
                                 : -1,
                             w->activeFaults(), w->suspendedUntil()});
        }
        if (full)
            f.latestClips = ClipRecorder::latestClips(m_services.paths, 10);
    };
    const auto statusCommand = [this](const QString& name, const QString& arguments,
                                      const QString& by) {
        const CommandAnswer answer = command(name, arguments, by);
        return std::pair(answer.done, answer.text);
    };
    m_status = new StatusService({*m_monitor, m_services.audio, *m_account, *m_plan, *m_alarmLog,
                                  m_services.clock, m_counters, *m_settings, m_errors, stationFacts,
                                  statusCommand},
                                 this);

    // The inputs beside the main one; each says by itself whether it goes beyond
    // the log.
    m_inputs = new NamedInputs({m_services.clock, *m_settings, *m_account, *m_alarmLog,
                                m_services.paths, m_services.makeNamedInput},
                               this);
    m_inputs->setMayRaise([this] { return !m_suspension->isSuspended(); });
    connect(m_settings, &Settings::changed, m_inputs, &NamedInputs::apply);
    connect(m_monitor, &SilenceMonitor::monitoringChanged, m_inputs,
            &NamedInputs::setMainMonitoring);
    connect(m_inputs, &NamedInputs::eventRaised, this, &Station::onInputEvent);

    // Into the NOC: both stay idle until their section says otherwise.
    const auto nocStatus = [this] {
        return NocStatus{m_monitor->isRunning(),
                         m_monitor->alarmOn(),
                         m_monitor->silenceSecs(),
                         NocStatus::tenthsDbfs(m_monitor->peakLeft()),
                         NocStatus::tenthsDbfs(m_monitor->peakRight()),
                         m_account->facility()};
    };
    m_snmp = new SnmpAgent(nocStatus, this);
    m_heartbeat = new Heartbeat(nocStatus, this);
    connect(this, &Station::eventRaised, m_snmp, &SnmpAgent::notify);
    connect(this, &Station::eventRaised, m_heartbeat, &Heartbeat::beat);
    connect(m_settings, &Settings::changed, this, &Station::applyNocSettings);

    connect(&m_errors, &ErrorReporter::reported, this, [this](const QString& text) {
        // Said while the data files load, before the alarm action is read: asked here.
        const bool modemUnused = text == QLatin1String(kProfileMissing) && alarmAction() == 2;
        Q_EMIT journalLine(modemUnused ? kJournalNotice : kJournalError, text);
    });
    connect(this, &Station::eventRaised, this, [this](const StationEvent& event) {
        Q_EMIT journalLine(event.isFault() ? kJournalWarning : kJournalNotice, event.text);
    });
}

void Station::applyNocSettings()
{
    m_snmp->apply(m_settings->get<SnmpSettings>());
    m_heartbeat->apply(m_settings->get<HeartbeatSettings>());
}

void Station::start(bool resumeByDefault)
{
    LoadDataFiles();
    LoadParams();
    applyNocSettings();
    applyDetectorSettings();
    const QString exposed = secretsExposed(m_services.paths.settingsFile());
    if (!exposed.isEmpty())
        qCWarning(lcStation).noquote() << "Dovrane.ini:" << exposed;
    applyScheduleSettings();
    // A restart (watchdog, crash, power cut) inside a window would otherwise leave
    // the station unwatched until the next scheduled start.
    if (m_settings->get<ScheduleSettings>().resumeInWindow.value_or(resumeByDefault))
        m_monitor->schedule().startInsideWindow(m_services.clock.now());
    m_inputs->apply();
    m_status->apply();
    QString why;
    if (!m_control->listen(m_services.paths.file(QStringLiteral("dovrane.sock")), &why))
        qCWarning(lcStation).noquote() << "no control channel:" << why;
    m_notifications->outbox().resume();
}

void Station::applyDetectorSettings()
{
    const auto settings = m_settings->get<DetectorSettings>();
    if (!(settings == m_detectors->settings()))
        m_detectorFaults.clear(); // the detectors start afresh, ending nothing
    m_detectors->configure(settings);
    m_clips->configure(settings.clips, settings.clipDays);
}

void Station::applyScheduleSettings()
{
    WeeklySchedule& schedule = m_monitor->schedule();
    const bool aroundTheClock = m_settings->get<ScheduleSettings>().aroundTheClock;
    const bool switchedOn = aroundTheClock && !schedule.aroundTheClock();
    schedule.setAroundTheClock(aroundTheClock);
    if (switchedOn)
        schedule.startInsideWindow(m_services.clock.now());
}

bool Station::notMonitoringInWindow() const
{
    return !m_monitor->isRunning() && m_monitor->schedule().covers(m_services.clock.now());
}

void Station::onFault(StationEvent::Kind kind, qint64 ms, const QString& what)
{
    trackFault(kind);
    // The log keeps the fault; a maintenance window keeps it from people.
    if (m_suspension->isSuspended())
        return;
    const QDateTime now = m_services.clock.now();
    const QString time = now.time().toString(QStringLiteral("HH:mm:ss"));
    const bool input =
        kind == StationEvent::Kind::InputLost || kind == StationEvent::Kind::InputBack;
    const QString why = kind == StationEvent::Kind::InputLost
                            ? QStringLiteral(": no sound arrives from the input at all (lost, "
                                             "not silent)")
                            : QString();
    const StationEvent event{
        kind, now, qint32(ms / 1000),
        m_account->facility() + QLatin1Char(' ') + what + QLatin1Char(' ') + time + why, what};
    raise(event);
    // A lost input turns into the silence alarm, which pages by itself.
    if (!input || !m_plan->sendPage())
        tellByAlarmAction(event, what, why);
    if (event.isFault())
        m_clips->record(now.addMSecs(-ms), StationEvent::name(kind));
}

void Station::tellByAlarmAction(const StationEvent& event, const QString& what, const QString& why)
{
    // Dead air that is not silent reaches people the way the silence alarm does: a
    // mail of its start and end, or a call of the call list at its start.
    if (m_monitor->isRunning())
        tellPeople(event, what, why);
}

void Station::tellPeople(const StationEvent& event, const QString& what, const QString& why)
{
    if (m_plan->sendEmail())
        m_mailer->SendMail(m_account->facility() + QLatin1Char(' ') + what,
                           m_mailer->stampText() + QLatin1Char(' ') + what + why);
    else if (m_plan->sendPage() && event.isFault() &&
             m_dialer->state() == PagerDialer::State::Idle &&
             !m_settings->get<NotifySettings>().gsm)
        m_dialer->StartCallSequence();
}

void Station::tellSuspension(bool suspended, const QDateTime& until, const QString& by)
{
    // "Studio A Alarms Suspended until 2026-12-24 18:00 by HTTP from 10.0.0.7 14:03:22"
    const QDateTime now = m_services.clock.now();
    const QString what = suspended
                             ? QStringLiteral("Alarms Suspended until %1 by %2")
                                   .arg(until.toString(QStringLiteral("yyyy-MM-dd HH:mm")), by)
                             : QStringLiteral("Alarms Resumed by %1").arg(by);
    const QString time = now.time().toString(QStringLiteral("HH:mm:ss"));
    raise({suspended ? StationEvent::Kind::Suspended : StationEvent::Kind::Resumed, now, 0,
           m_account->facility() + QLatin1Char(' ') + what + QLatin1Char(' ') + time, what});
    // Mail is the one path that also works without Dovrane.ini; without it the
    // mails stay what they always were.
    if (m_plan->sendEmail() && QFileInfo::exists(m_services.paths.settingsFile()))
        m_mailer->SendMail(m_account->facility() + QLatin1Char(' ') + what,
                           m_mailer->stampText() + QLatin1Char(' ') + what);
}

void Station::onInputEvent(const StationEvent& event, bool notify, const QString& why)
{
    if (!notify) {
        Q_EMIT journalLine(event.isFault() ? kJournalWarning : kJournalNotice, event.text);
        return;
    }
    raise(event);
    // Watched whether or not the main input is.
    tellPeople(event, event.input + QLatin1Char(' ') + event.what, why);
}

Station::CommandAnswer Station::inputCommand(const QString& name, const QString& input,
                                             const QString& words, const QString& by)
{
    NamedInputWatch* watch = m_inputs->find(input);
    if (!watch)
        return {false, QStringLiteral("no input named %1").arg(OutsideText::escaped(input))};
    const QDateTime now = m_services.clock.now();
    QDateTime until;
    if (name == QLatin1String("suspend")) {
        QString why;
        until = AlarmSuspension::end(words, now, &why);
        if (!until.isValid())
            return {false, why};
    } else if (!watch->suspendedUntil().isValid() || watch->suspendedUntil() <= now) {
        return {false, QStringLiteral("%1 was not suspended").arg(watch->name())};
    }
    watch->suspendUntil(until);
    const QString what = until.isValid()
                             ? QStringLiteral("Alarms Suspended until %1 by %2")
                                   .arg(until.toString(QStringLiteral("yyyy-MM-dd HH:mm")), by)
                             : QStringLiteral("Alarms Resumed by %1").arg(by);
    m_alarmLog->WriteAlarmLog(QLatin1Char('[') + watch->name() + QStringLiteral("] ") + what);
    StationEvent event{
        until.isValid() ? StationEvent::Kind::Suspended : StationEvent::Kind::Resumed, now, 0,
        m_account->facility() + QLatin1Char(' ') + watch->name() + QLatin1Char(' ') + what +
            QLatin1Char(' ') + now.time().toString(QStringLiteral("HH:mm:ss")),
        what};
    event.input = watch->name();
    raise(event);
    if (m_plan->sendEmail())
        m_mailer->SendMail(
            m_account->facility() + QLatin1Char(' ') + watch->name() + QLatin1Char(' ') + what,
            m_mailer->stampText() + QLatin1Char(' ') + watch->name() + QLatin1Char(' ') + what);
    return {true, until.isValid() ? QStringLiteral("%1: alarms suspended until %2")
                                        .arg(watch->name(),
                                             until.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                                  : QStringLiteral("%1: alarms resumed").arg(watch->name())};
}

void Station::trackFault(StationEvent::Kind kind)
{
    const auto start = StationEvent::faultOf(kind);
    Q_ASSERT(start);
    const QString fault = StationEvent::name(*start);
    m_detectorFaults.removeAll(fault);
    if (start == kind)
        m_detectorFaults.append(fault);
}

QStringList Station::activeFaults() const
{
    if (!m_monitor->isRunning())
        return {};
    return m_detectorFaults + m_watch->activeFaults();
}

void Station::startClicked()
{
    m_monitor->startClicked();
}

void Station::stopClicked()
{
    m_monitor->stopClicked();
}

bool Station::acknowledge()
{
    return m_notifications->acknowledge();
}

QString Station::sendTest()
{
    return m_notifications->sendTest();
}

void Station::sendPresetTest(const PresetSettings& presets)
{
    m_notifications->sendPresetTest(presets);
}

Station::CommandAnswer Station::command(const QString& name, const QString& arguments,
                                        const QString& by)
{
    if (name == QLatin1String("ack") && arguments.startsWith(QLatin1String("input="))) {
        const QString input = arguments.mid(6).trimmed();
        if (!m_inputs->acknowledge(input))
            return {false, QStringLiteral("no alarm of %1 waiting to be acknowledged")
                               .arg(OutsideText::escaped(input))};
        Q_EMIT journalLine(kJournalNotice, m_account->facility() + QLatin1Char(' ') + input +
                                               QStringLiteral(" Alarm acknowledged"));
        return {true, QStringLiteral("acknowledged")};
    }
    if (name == QLatin1String("ack")) {
        // Acknowledge takes every alarm waiting, the named inputs' too.
        const bool inputs = m_inputs->acknowledge();
        if (!acknowledge() && !inputs)
            return {false, QStringLiteral("no alarm waiting to be acknowledged")};
        Q_EMIT journalLine(kJournalNotice,
                           m_account->facility() + QStringLiteral(" Alarm acknowledged"));
        return {true, QStringLiteral("acknowledged")};
    }
    if (name == QLatin1String("start")) {
        if (m_monitor->isRunning())
            return {false, QStringLiteral("already monitoring")};
        m_monitor->startClicked();
        return m_monitor->isRunning()
                   ? CommandAnswer{true, QStringLiteral("monitoring")}
                   : CommandAnswer{false, QStringLiteral("the input could not be started")};
    }
    if (name == QLatin1String("stop")) {
        if (!m_monitor->isRunning())
            return {false, QStringLiteral("not monitoring")};
        m_monitor->stopClicked();
        return {true, QStringLiteral("stopped")};
    }
    if (name != QLatin1String("suspend") && name != QLatin1String("resume"))
        return {false, QStringLiteral("unknown command: %1").arg(name)};
    if (arguments.startsWith(QLatin1String("input="))) {
        const qsizetype space = arguments.indexOf(u' ');
        return inputCommand(name, arguments.mid(6, space < 0 ? -1 : space - 6),
                            space < 0 ? QString() : arguments.mid(space + 1).trimmed(), by);
    }
    const auto [done, text] = name == QLatin1String("resume")
                                  ? m_suspension->resumeCommand(by)
                                  : m_suspension->suspendCommand(arguments, by);
    return {done, text};
}

Station::~Station()
{
    m_monitor->setLevelTest({});
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

qint32 Station::alarmAction() const
{
    ParamsFile file(m_services.paths.paramsFile());
    if (!file.open())
        return 0;
    const qint32 action = file.read(ParamsFile::AlarmAction);
    file.close();
    return action;
}

void Station::reload()
{
    LoadDataFiles();
    LoadParams();
    m_settings->reload();
    const qint32 action = alarmAction();
    if (action == 1 || action == 2) {
        m_plan->setSendPage(action == 1);
        m_plan->setSendEmail(action == 2);
    }
}

std::variant<qint32, QString> Station::storedThreshold() const
{
    ParamsFile file(m_services.paths.paramsFile());
    if (!file.open())
        return file.errorString();
    const qint32 threshold = file.read(ParamsFile::Threshold);
    file.close();
    return threshold;
}

std::optional<QString> Station::storeThreshold(qint32 threshold)
{
    ParamsFile file(m_services.paths.paramsFile());
    PreferencesForm form;
    std::optional<QString> error;
    if (!file.open())
        error = QString::fromLatin1(PreferencesError::kFileAccess);
    else
        error = Preferences::load(file, m_services.audio.deviceCount(), form);
    if (error) {
        file.close();
        return error;
    }
    form.threshold = QString::number(threshold);
    form.storedThreshold.reset();
    if (Preferences::save(file, form, *m_plan, m_errors) != Preferences::SaveResult::Saved)
        return QStringLiteral("see the error window");
    reload();
    return std::nullopt;
}

void Station::applyAlarmSettings()
{
    const AlarmSettings& t = m_watch->apply();
    m_monitor->setReleaseSecs(t.releaseSecs);
    m_monitor->setLevelTest(m_watch->levelTest());
    m_monitor->setScheduleOverride(m_watch->scheduleOverride());
    // A window from [alarms] that is already under way is left as it is.
    const QDateTime now = m_services.clock.now();
    if (t.suspendUntil.isValid() && t.suspendUntil > now &&
        t.suspendUntil <= now.addDays(AlarmSettings::kMaxSuspendDays) &&
        t.suspendUntil != m_suspension->suspendedUntil())
        m_suspension->suspendUntil(t.suspendUntil, QStringLiteral("Dovrane.ini"));
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
