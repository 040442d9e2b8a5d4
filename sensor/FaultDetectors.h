#pragma once

#include "DetectorSettings.h"
#include "StationEvent.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>

namespace dovrane {

class AlarmLog;
class AudioInput;
class Clock;
class SilenceMonitor;

/// The faults beside silence, judged while monitoring on every captured buffer and
/// at the silence alarm's own tick: no buffers at all for more than a second (the
/// input is lost, not silent), one channel dead while the other carries sound, and
/// the two channels in opposite phase. Each start and end is logged, padded like
/// the alarm lines, and announced with faultChanged().
class FaultDetectors : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kLostAfterMs = 1000;

    FaultDetectors(Clock& clock, AudioInput& audio, const SilenceMonitor& monitor, AlarmLog& log,
                   QObject* parent = nullptr);

    void configure(const DetectorSettings& settings);
    [[nodiscard]] const DetectorSettings& settings() const { return m_settings; }

Q_SIGNALS:
    /// A fault began or ended; ms is how long it had been going on, what the log
    /// text without its padding ("Channel Loss L").
    void faultChanged(dovrane::StationEvent::Kind kind, qint64 ms, const QString& what);

private:
    void bufferFilled(const QByteArray& buffer);
    void tick();
    void reset(const QDateTime& now);
    void judgePhase(const QDateTime& now);
    void announce(StationEvent::Kind kind, qint64 ms, const QString& what);
    [[nodiscard]] qint64 channelDelayMs() const;

    Clock& m_clock;
    const SilenceMonitor& m_monitor;
    AlarmLog& m_log;
    DetectorSettings m_settings;

    QDateTime m_lastBuffer;
    bool m_lost = false;

    // Channel loss: 1 left dead, 2 right dead, 0 neither.
    int m_candidate = 0;
    int m_lastPattern = 0;
    QDateTime m_candidateSince;
    QDateTime m_bothLoudSince; ///< a click on the dead channel does not end the count
    int m_dead = 0;
    QDateTime m_deadSince;

    // Phase: sums of the current window, the last few windows, and since when the
    // channels kept opposing each other.
    struct PhaseWindow
    {
        QDateTime start;
        double ll = 0, rr = 0, lr = 0;
        bool loud = false;
    };
    static constexpr int kPhaseWindows = 5;
    QList<PhaseWindow> m_phaseWindows;
    QDateTime m_windowStart;
    qint64 m_ll = 0;
    qint64 m_rr = 0;
    qint64 m_lr = 0;
    int m_windowPeakL = 0;
    int m_windowPeakR = 0;
    QDateTime m_reversedSince;
    bool m_reversed = false;
};

} // namespace dovrane
