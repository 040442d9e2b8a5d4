#include "DeadAirWatch.h"

#include "Account.h"
#include "AlarmGate.h"
#include "AlarmLog.h"
#include "AlarmSettings.h"
#include "Clock.h"
#include "FaultTimer.h"
#include "ProgrammeAnalyser.h"
#include "Settings.h"

namespace dovrane {

namespace {

enum Gate
{
    kSilence,
    kHum,
    kNoise,
    kLoop,
};

QString padded(const QString& text)
{
    return text.leftJustified(21, QLatin1Char(' '));
}

} // namespace

DeadAirWatch::DeadAirWatch(Clock& clock, AlarmLog& log, const Account& account,
                           const Settings& settings, QObject* parent)
    : QObject(parent), m_clock(clock), m_log(log), m_account(account), m_settings(settings),
      m_alarms(std::make_unique<AlarmSettings>()), m_analyser(std::make_unique<ProgrammeAnalyser>())
{
    for (auto& gate : m_gates)
        gate = std::make_unique<AlarmGate>();
    for (auto& fault : m_faults)
        fault = std::make_unique<FaultTimer>();
}

DeadAirWatch::~DeadAirWatch() = default;

const AlarmSettings& DeadAirWatch::apply()
{
    *m_alarms = m_settings.get<AlarmSettings>();
    const AlarmSettings& t = *m_alarms;
    m_analyser->configure(t);
    for (auto& gate : m_gates)
        gate->configure(t.cooldownMinutes, t.maxPerHour);
    const std::array<const DetectorSetting*, 3> detectors{&t.hum, &t.noise, &t.loop};
    for (std::size_t i = 0; i < m_faults.size(); ++i)
        m_faults[i]->configure(detectors[i]->delaySecs, t.releaseSecs);
    return t;
}

std::function<LevelReading(const QByteArray&, qint32)> DeadAirWatch::levelTest()
{
    if (!m_alarms->bandEnabled() && !m_alarms->anyDetector())
        return {};
    return [this](const QByteArray& buffer, qint32 threshold) {
        LevelReading reading = testLevel(buffer, threshold);
        reading.sound = m_analyser->analyse(buffer, threshold, reading.sound);
        checkDeadAir();
        return reading;
    };
}

std::function<std::optional<DayWindow>(const QDate&)> DeadAirWatch::scheduleOverride() const
{
    if (m_alarms->exceptions.isEmpty())
        return {};
    return [this](const QDate& date) -> std::optional<DayWindow> {
        const auto e = m_alarms->exceptionFor(date);
        if (!e)
            return std::nullopt;
        return DayWindow{!e->off, e->startSecs, e->stopSecs};
    };
}

SilenceMonitor::Notice DeadAirWatch::silenceNotice(bool start)
{
    const QDateTime now = m_clock.now();
    if (!start) {
        const bool told = m_gates[kSilence]->end(now);
        m_silenceNotice = told ? SilenceMonitor::Notice::Tell : SilenceMonitor::Notice::Quiet;
        return m_silenceNotice;
    }
    switch (m_gates[kSilence]->start(now)) {
    case AlarmGate::Notice::Tell:
        m_silenceNotice = SilenceMonitor::Notice::Tell;
        break;
    case AlarmGate::Notice::TellAgain:
        m_silenceNotice = SilenceMonitor::Notice::TellAgain;
        break;
    case AlarmGate::Notice::Quiet:
        m_silenceNotice = SilenceMonitor::Notice::Quiet;
        break;
    }
    return m_silenceNotice;
}

void DeadAirWatch::silenceRaised(qint32 seconds)
{
    if (m_silenceNotice != SilenceMonitor::Notice::Quiet)
        tell(StationEvent::Kind::SilenceAlarm, seconds,
             m_silenceNotice == SilenceMonitor::Notice::TellAgain
                 ? QStringLiteral("Silence Alarm again")
                 : QStringLiteral("Silence Alarm"));
}

void DeadAirWatch::silenceEnded(qint32 seconds)
{
    if (m_silenceNotice != SilenceMonitor::Notice::Quiet)
        tell(StationEvent::Kind::SilenceEnd, seconds, QStringLiteral("Silence Alarm End"));
}

void DeadAirWatch::setSuspendedUntil(const QDateTime& until)
{
    m_suspended = until.isValid();
}

std::optional<double> DeadAirWatch::humDbfs() const
{
    if (!m_alarms->hum.enabled)
        return std::nullopt;
    return m_analyser->humDbfs();
}

QStringList DeadAirWatch::activeFaults() const
{
    QStringList faults;
    const char* names[] = {"hum", "noise", "loop"};
    for (std::size_t i = 0; i < m_faults.size(); ++i)
        if (m_faults[i]->isOn())
            faults.append(QLatin1String(names[i]));
    return faults;
}

void DeadAirWatch::checkDeadAir()
{
    struct Detector
    {
        bool enabled;
        bool present;
        Gate gate;
        StationEvent::Kind raised, ended;
        const char* name;
    };
    const Detector detectors[] = {
        {m_alarms->hum.enabled, m_analyser->hum(), kHum, StationEvent::Kind::Hum,
         StationEvent::Kind::HumEnd, "Hum"},
        {m_alarms->noise.enabled, m_analyser->noise(), kNoise, StationEvent::Kind::Noise,
         StationEvent::Kind::NoiseEnd, "Noise"},
        // Hum and noise are constant too: said once, as themselves, not also as a loop.
        {m_alarms->loop.enabled, m_analyser->loop() && !m_analyser->hum() && !m_analyser->noise(),
         kLoop, StationEvent::Kind::Loop, StationEvent::Kind::LoopEnd, "Loop"},
    };
    const QDateTime now = m_clock.now();
    for (std::size_t i = 0; i < std::size(detectors); ++i) {
        const Detector& d = detectors[i];
        if (!d.enabled)
            continue;
        FaultTimer& fault = *m_faults[i];
        const qint32 seconds = fault.seconds(now);
        const QString name = QLatin1String(d.name);
        // A loop is heard one pass after it stuck.
        const QDateTime began =
            d.gate == kLoop ? now.addMSecs(-qint64(1000 * m_analyser->loopSecs())) : QDateTime();
        switch (fault.update(d.present, now, m_suspended, began)) {
        case FaultTimer::Change::None:
            break;
        case FaultTimer::Change::Raised: {
            m_log.WriteAlarmLog(padded(name));
            const AlarmGate::Notice notice = m_gates[d.gate]->start(now);
            if (notice != AlarmGate::Notice::Quiet)
                tell(d.raised, seconds,
                     notice == AlarmGate::Notice::TellAgain ? name + QStringLiteral(" again")
                                                            : name);
            break;
        }
        case FaultTimer::Change::Ended:
            m_log.WriteAlarmLog(padded(name + QStringLiteral(" End")));
            if (m_gates[d.gate]->end(now))
                tell(d.ended, 0, name + QStringLiteral(" End"));
            break;
        }
    }
}

void DeadAirWatch::tell(StationEvent::Kind kind, qint32 seconds, const QString& what)
{
    const QDateTime now = m_clock.now();
    Q_EMIT eventRaised({kind, now, seconds,
                        m_account.facility() + QLatin1Char(' ') + what + QLatin1Char(' ') +
                            now.time().toString(QStringLiteral("HH:mm:ss")),
                        what});
}

} // namespace dovrane
