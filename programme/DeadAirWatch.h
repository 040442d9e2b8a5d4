#pragma once

#include "SilenceMonitor.h"
#include "StationEvent.h"

#include <QObject>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace dovrane {

class Account;
class AlarmGate;
class AlarmLog;
class Clock;
class FaultTimer;
class ProgrammeAnalyser;
class Settings;
struct AlarmSettings;

/// Alarms engineers can trust ([alarms]): the programme level in a band, dead air
/// that is not silent (hum, noise, a loop) held for its delay, and flap control of
/// what is told of each, the silence alarm included. The station installs the level
/// test, the schedule exceptions and the notice filter in the silence monitor and
/// passes eventRaised() on.
class DeadAirWatch : public QObject
{
    Q_OBJECT
public:
    DeadAirWatch(Clock& clock, AlarmLog& log, const Account& account, const Settings& settings,
                 QObject* parent = nullptr);
    ~DeadAirWatch() override;

    /// Reads [alarms] again and starts the detectors afresh.
    const AlarmSettings& apply();
    /// For SilenceMonitor::setLevelTest(): the peak test, then the band and the
    /// detectors; empty (the plain peak test) when [alarms] asks for neither.
    [[nodiscard]] std::function<LevelReading(const QByteArray&, qint32)> levelTest();
    /// For SilenceMonitor::setScheduleOverride(): the dated exceptions; empty when
    /// there are none.
    [[nodiscard]] std::function<std::optional<DayWindow>(const QDate&)> scheduleOverride() const;
    /// For SilenceMonitor::setNoticeFilter(): what the silence gate makes of a start
    /// or an end.
    SilenceMonitor::Notice silenceNotice(bool start);
    /// Mains hum under the programme in dBFS while the hum detector is on.
    [[nodiscard]] std::optional<double> humDbfs() const;
    /// "hum", "noise", "loop" while under way, told to people or not.
    [[nodiscard]] QStringList activeFaults() const;

public Q_SLOTS:
    /// While alarms are suspended a fault is held back; still there at the end, it
    /// is raised then.
    void setSuspendedUntil(const QDateTime& until);
    /// The silence alarm began or ended; told as the silence gate decided.
    void silenceRaised(qint32 seconds);
    void silenceEnded(qint32 seconds);

Q_SIGNALS:
    void eventRaised(const dovrane::StationEvent& event);

private:
    /// One buffer's verdict of the hum, noise and loop detectors.
    void checkDeadAir();
    void tell(StationEvent::Kind kind, qint32 seconds, const QString& what);

    Clock& m_clock;
    AlarmLog& m_log;
    const Account& m_account;
    const Settings& m_settings;
    std::unique_ptr<AlarmSettings> m_alarms;
    std::unique_ptr<ProgrammeAnalyser> m_analyser;
    /// Silence, hum, noise, loop.
    std::array<std::unique_ptr<AlarmGate>, 4> m_gates;
    std::array<std::unique_ptr<FaultTimer>, 3> m_faults;
    SilenceMonitor::Notice m_silenceNotice{};
    bool m_suspended = false;
};

} // namespace dovrane
