#pragma once

#include "DataPaths.h"
#include "ErrorReporter.h"
#include "SilenceMonitor.h"
#include "StationEvent.h"
#include "StatusCounters.h"

#include <QDateTime>
#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <variant>

namespace dovrane {

class Account;
class AlarmLog;
class AlarmMailer;
class AlarmPlan;
class AlarmSuspension;
class AudioInput;
class Heartbeat;
class ClipRecorder;
class ControlServer;
class Clock;
class DeadAirWatch;
class DataFiles;
class FaultDetectors;
class MailTransport;
class NamedInputs;
struct NamedInputSettings;
class Notifications;
class PagerDialer;
struct PresetSettings;
class SerialPort;
class SerialProfile;
class Settings;
class SilenceMonitor;
class SnmpAgent;
class StartupLoader;
class StatusService;

/// The parts of the outside world the station works with. main() hands in the real
/// ones; tests hand in fakes.
struct Services
{
    Clock& clock;
    AudioInput& audio;
    SerialPort& serial;
    MailTransport& mail;
    DataPaths paths;
    /// A second, never-started input for windows that only list the devices.
    std::function<std::unique_ptr<AudioInput>()> makeDeviceLister;
    /// The source of a named input ([input.NAME]): a sound server source or a stream.
    std::function<std::unique_ptr<AudioInput>(const NamedInputSettings&)> makeNamedInput;
};

/// The whole monitor without a window: the data files and what is read from them,
/// the alarm log, the silence monitor with its weekly schedule, the pager and the
/// alarm mail, wired to each other here and nowhere else. The main window and the
/// headless runner both hold one and only show what it says; every failure meant
/// for the operator comes out of errors().
class Station : public QObject
{
    Q_OBJECT
public:
    explicit Station(Services services, QObject* parent = nullptr);
    ~Station() override;

    /// Loads the data files and the parameters; the clock tick, and with it the
    /// weekly schedule, already runs. Inside a scheduled window (or around the
    /// clock) monitoring starts at once when [schedule] resume_in_window says so,
    /// or by default when resumeByDefault. Call once, after connecting to errors().
    void start(bool resumeByDefault = false);

    /// Creates the folders and (re)reads the connection profile, the call list and
    /// address book handles, the alarm action and schedule, and the account.
    void LoadDataFiles();
    /// Reads the input device, the silence delay and the threshold (once, at start).
    void LoadParams();
    /// Everything a change of the data files should reach at once, as when the
    /// account and Preferences windows close: the loader's files, the alarm action
    /// as Preferences sets it, the device, delay and threshold, and Dovrane's own
    /// settings.
    void reload();
    /// The silence threshold DVParams.dat holds now, or why the file cannot be read.
    [[nodiscard]] std::variant<qint32, QString> storedThreshold() const;
    /// Writes threshold to DVParams.dat as the Preferences window saves it (every
    /// other value as stored) and reloads; nothing, or why it was not written.
    std::optional<QString> storeThreshold(qint32 threshold);
    /// Hands event to every notification path (see eventRaised).
    void raise(const StationEvent& event) { Q_EMIT eventRaised(event); }

    /// Ends the run: stops every timer and the capture, closes the data files. No
    /// "Alarm End" line and no hang-up follow.
    void shutdown();

    [[nodiscard]] const Services& services() const { return m_services; }
    [[nodiscard]] const DataPaths& paths() const { return m_services.paths; }
    [[nodiscard]] ErrorReporter& errors() { return m_errors; }
    [[nodiscard]] AlarmLog& alarmLog() const { return *m_alarmLog; }
    /// What the silence monitor and the pager are doing; startClicked(),
    /// stopClicked() and command() change it.
    [[nodiscard]] const SilenceMonitor& monitor() const { return *m_monitor; }
    [[nodiscard]] const PagerDialer& dialer() const { return *m_dialer; }
    [[nodiscard]] AlarmMailer& mailer() const { return *m_mailer; }
    [[nodiscard]] const DataFiles& files() const { return *m_files; }
    [[nodiscard]] AlarmPlan& plan() const { return *m_plan; }
    [[nodiscard]] Account& account() const { return *m_account; }
    [[nodiscard]] SerialProfile& serialProfile() const { return *m_serialProfile; }
    /// Dovrane's own settings; every feature beyond the data files reads its section
    /// there again on changed().
    [[nodiscard]] Settings& settings() const { return *m_settings; }
    /// The faults beside silence, and the sound kept of every fault ([detectors],
    /// [clips]).
    [[nodiscard]] FaultDetectors& detectors() const { return *m_detectors; }
    [[nodiscard]] ClipRecorder& clips() const { return *m_clips; }

    /// The maintenance window: no alarm is raised or told while it lasts.
    [[nodiscard]] AlarmSuspension& suspension() const { return *m_suspension; }
    /// The notification paths of Dovrane.ini, their outbox, repeats and
    /// acknowledgement; acknowledge() and sendTest() act on them.
    [[nodiscard]] const Notifications& notifications() const { return *m_notifications; }
    /// What each notification path attempted; every path adds its rows here.
    [[nodiscard]] StatusCounters& counters() { return m_counters; }
    /// The remote status endpoint, off until [status] switches it on.
    [[nodiscard]] StatusService& status() const { return *m_status; }
    /// The inputs beside the main one ([input.NAME] of Dovrane.ini).
    [[nodiscard]] const NamedInputs& inputs() const { return *m_inputs; }
    /// The local control channel (dovrane --ack, ...); more commands go in here.
    [[nodiscard]] ControlServer& control() const { return *m_control; }

    /// The answer to a command of the control channel or the remote status, and
    /// whether it did what was asked.
    struct CommandAnswer
    {
        bool done = false;
        QString text;
    };
    /// "ack", "suspend DURATION" (90s, 30m, 2h, 1h30m, a number of minutes, or
    /// "until 2026-12-24T18:00"), "resume", and "start" and "stop" (as the Start and
    /// Stop buttons). "suspend input=NAME DURATION" and "resume input=NAME" act on one
    /// named input. by names who sent it: "the command line", "HTTP from ADDRESS".
    CommandAnswer command(const QString& name, const QString& arguments, const QString& by);
    /// The faults under way beside silence by machine name ("input_lost", "hum", ...),
    /// told to people or not; none while not monitoring.
    [[nodiscard]] QStringList activeFaults() const;
    /// The weekly schedule (or around the clock) has the input monitored now, yet
    /// monitoring is off.
    [[nodiscard]] bool notMonitoringInWindow() const;

    /// Syslog priorities of journalLine().
    static constexpr int kJournalError = 3;
    static constexpr int kJournalWarning = 4;
    static constexpr int kJournalNotice = 5;

public Q_SLOTS:
    /// cmdStart and cmdStop: monitoring on and off, as the buttons of the main window.
    void startClicked();
    void stopClicked();
    /// Takes the alarm under way as seen; false when none waits for it.
    bool acknowledge();
    /// Sends the test event down every notification path, or down the chat and push
    /// services of presets (as the page holds them, before they are saved); says where
    /// the test went, or that nothing is set up.
    QString sendTest();
    void sendPresetTest(const dovrane::PresetSettings& presets);

Q_SIGNALS:
    /// The silence alarm was raised or ended, or another detector raised an event.
    void eventRaised(const dovrane::StationEvent& event);
    /// A line for the system journal with its syslog priority: alarms and faults at
    /// warning, their ends and acknowledgements at notice, errors() at error (a
    /// missing modem profile only at notice where the alarm goes by e-mail).
    void journalLine(int priority, const QString& text);

private:
    /// Has the watch read [alarms] again and gives the monitor its level test,
    /// release time and dated exceptions.
    void applyAlarmSettings();
    /// Selects the device chosen in Preferences when the list has moved under the
    /// stored number, and says so.
    void checkInputDevice();
    /// Reads [snmp] and [heartbeat] again.
    void applyNocSettings();
    void applyDetectorSettings();
    /// Record 5 of DVParams.dat as it is on disk (1 page, 2 mail); 0 without it.
    [[nodiscard]] qint32 alarmAction() const;
    /// Reads [schedule] again; around the clock starts monitoring at once.
    void applyScheduleSettings();
    void onFault(StationEvent::Kind kind, qint64 ms, const QString& what);
    /// Keeps the detectors' part of activeFaults() up to date with a start or end.
    void trackFault(StationEvent::Kind kind);
    /// Mails a fault beside silence, or pages at its start, as the alarm action says.
    void tellByAlarmAction(const StationEvent& event, const QString& what, const QString& why);
    /// The same, monitoring or not.
    void tellPeople(const StationEvent& event, const QString& what, const QString& why);
    /// Raises the event of a suspension or its end, and mails it when the alarm
    /// action is mail and Dovrane.ini exists.
    void tellSuspension(bool suspended, const QDateTime& until, const QString& by);
    /// A named input's fault: to every path when the input says notify, else only
    /// to the journal.
    void onInputEvent(const StationEvent& event, bool notify, const QString& why);
    /// "suspend input=NAME 30m", "resume input=NAME": one named input only.
    CommandAnswer inputCommand(const QString& name, const QString& input, const QString& words,
                               const QString& by);

    Services m_services;
    ErrorReporter m_errors;
    DataFiles* m_files = nullptr;
    AlarmPlan* m_plan = nullptr;
    Account* m_account = nullptr;
    SerialProfile* m_serialProfile = nullptr;
    Settings* m_settings = nullptr;
    AlarmLog* m_alarmLog = nullptr;
    std::unique_ptr<StartupLoader> m_loader;
    SilenceMonitor* m_monitor = nullptr;
    PagerDialer* m_dialer = nullptr;
    AlarmMailer* m_mailer = nullptr;
    SnmpAgent* m_snmp = nullptr;
    Heartbeat* m_heartbeat = nullptr;
    DeadAirWatch* m_watch = nullptr;
    AlarmSuspension* m_suspension = nullptr;
    FaultDetectors* m_detectors = nullptr;
    ClipRecorder* m_clips = nullptr;
    StatusCounters m_counters;
    StatusService* m_status = nullptr;
    bool m_pagerSettingUp = false;
    Notifications* m_notifications = nullptr;
    ControlServer* m_control = nullptr;
    NamedInputs* m_inputs = nullptr;
    /// Faults of the FaultDetectors under way; hum, noise and loop are the watch's.
    QStringList m_detectorFaults;
    int m_storedDevice = 0;
    QString m_inputDeviceNote;
};

} // namespace dovrane
