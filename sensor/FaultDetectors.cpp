#include "FaultDetectors.h"

#include "AlarmLog.h"
#include "AudioInput.h"
#include "Clock.h"
#include "SilenceMonitor.h"

#include <QtEndian>

#include <cmath>
#include <cstdlib>

namespace dovrane {

namespace {

constexpr int kLogWidth = 21; // as "Alarm" and "Alarm End" are padded
constexpr qint64 kWindowMs = 1000;
constexpr qint64 kGraceMs = 1000;

} // namespace

FaultDetectors::FaultDetectors(Clock& clock, AudioInput& audio, const SilenceMonitor& monitor,
                               AlarmLog& log, QObject* parent)
    : QObject(parent), m_clock(clock), m_monitor(monitor), m_log(log)
{
    connect(&audio, &AudioInput::bufferReady, this, &FaultDetectors::bufferFilled);
    // The silence alarm's tick runs exactly while monitoring; sharing it costs no
    // extra wake-up.
    connect(monitor.timer1(), &ClockTimer::timeout, this, &FaultDetectors::tick);
    connect(&monitor, &SilenceMonitor::monitoringChanged, this, [this] { reset(m_clock.now()); });
}

void FaultDetectors::configure(const DetectorSettings& settings)
{
    // A reload that changes nothing here leaves a fault in progress alone.
    if (settings == m_settings)
        return;
    m_settings = settings;
    reset(m_clock.now());
}

void FaultDetectors::reset(const QDateTime& now)
{
    // Stopping ends a fault without an end line, as it does the silence alarm.
    m_lastBuffer = now;
    m_lost = false;
    m_candidate = m_lastPattern = m_dead = 0;
    m_windowStart = now;
    m_ll = m_rr = m_lr = 0;
    m_windowPeakL = m_windowPeakR = 0;
    m_phaseWindows.clear();
    m_reversedSince = m_bothLoudSince = QDateTime();
    m_reversed = false;
}

qint64 FaultDetectors::channelDelayMs() const
{
    return 1000 * qint64(m_settings.channelDelay > 0 ? m_settings.channelDelay
                                                     : std::max<int>(0, m_monitor.alarmDelay()));
}

void FaultDetectors::announce(StationEvent::Kind kind, qint64 ms, const QString& what)
{
    m_log.WriteAlarmLog(what.leftJustified(kLogWidth));
    Q_EMIT faultChanged(kind, ms, what);
}

void FaultDetectors::bufferFilled(const QByteArray& buffer)
{
    if (!m_settings.anyDetector() || !m_monitor.isRunning())
        return;
    const QDateTime now = m_clock.now();
    if (m_lost && m_settings.inputLost) {
        m_lost = false;
        announce(StationEvent::Kind::InputBack, m_lastBuffer.msecsTo(now),
                 QStringLiteral("Input Back"));
    }
    m_lastBuffer = now;

    const auto* bytes = reinterpret_cast<const uchar*>(buffer.constData());
    const qsizetype frames = buffer.size() / 4;
    int peakL = 0;
    int peakR = 0;
    qint64 ll = 0, rr = 0, lr = 0;
    for (qsizetype i = 0; i < frames; ++i) {
        const int l = qFromLittleEndian<qint16>(bytes + 4 * i);
        const int r = qFromLittleEndian<qint16>(bytes + 4 * i + 2);
        peakL = std::max(peakL, std::abs(l));
        peakR = std::max(peakR, std::abs(r));
        ll += l * l;
        rr += r * r;
        lr += l * r;
    }
    m_ll += ll;
    m_rr += rr;
    m_lr += lr;
    m_windowPeakL = std::max(m_windowPeakL, peakL);
    m_windowPeakR = std::max(m_windowPeakR, peakR);

    if (!m_settings.channelLoss)
        return;
    const qint32 threshold = m_monitor.threshold();
    const bool loudL = peakL > threshold;
    const bool loudR = peakR > threshold;
    m_lastPattern = loudL == loudR ? 0 : (loudL ? 2 : 1);
    if (m_dead != 0) {
        if ((m_dead == 1 && loudL) || (m_dead == 2 && loudR)) {
            m_dead = 0;
            m_candidate = 0;
            announce(StationEvent::Kind::ChannelBack, m_deadSince.msecsTo(now),
                     QStringLiteral("Channel Back"));
        }
        return;
    }
    // Both quiet is a pause of the live channel, not the dead one coming back.
    if (m_lastPattern != 0 && m_lastPattern != m_candidate) {
        m_candidate = m_lastPattern;
        m_candidateSince = now;
    }
    if (!(loudL && loudR)) {
        m_bothLoudSince = QDateTime();
    } else if (!m_bothLoudSince.isValid()) {
        m_bothLoudSince = now;
    } else if (m_bothLoudSince.msecsTo(now) >= kGraceMs) {
        m_candidate = 0;
    }
}

void FaultDetectors::tick()
{
    if (!m_settings.anyDetector())
        return;
    const QDateTime now = m_clock.now();
    if (m_settings.inputLost && !m_lost && m_lastBuffer.msecsTo(now) > kLostAfterMs) {
        m_lost = true;
        announce(StationEvent::Kind::InputLost, m_lastBuffer.msecsTo(now),
                 QStringLiteral("Input Lost"));
    }

    if (m_settings.channelLoss && m_dead == 0 && m_candidate != 0 && m_lastPattern == m_candidate &&
        m_candidateSince.msecsTo(now) >= channelDelayMs()) {
        m_dead = m_candidate;
        m_deadSince = m_candidateSince;
        announce(StationEvent::Kind::ChannelLoss, m_deadSince.msecsTo(now),
                 m_dead == 1 ? QStringLiteral("Channel Loss L") : QStringLiteral("Channel Loss R"));
    }

    if (m_settings.phase && m_windowStart.msecsTo(now) >= kWindowMs)
        judgePhase(now);
}

void FaultDetectors::judgePhase(const QDateTime& now)
{
    // Wide stereo leaves little correlation in a second of music, and an inverted
    // channel turns it only a little negative. Over the last few seconds the mid
    // (L+R) against the side (L-R) energy says it more steadily: 2 LR / (LL + RR).
    // Below the limit the count starts (dated from the first of the opposing
    // windows); only a clearly positive value ends it or says "Phase Normal".
    const qint32 threshold = m_monitor.threshold();
    m_phaseWindows.append({m_windowStart, double(m_ll), double(m_rr), double(m_lr),
                           m_windowPeakL > threshold && m_windowPeakR > threshold});
    if (m_phaseWindows.size() > kPhaseWindows)
        m_phaseWindows.removeFirst();
    m_windowStart = now;
    m_ll = m_rr = m_lr = 0;
    m_windowPeakL = m_windowPeakR = 0;
    if (!m_phaseWindows.last().loud)
        return;
    double ll = 0, rr = 0, lr = 0;
    for (const PhaseWindow& w : std::as_const(m_phaseWindows)) {
        if (w.loud)
            ll += w.ll, rr += w.rr, lr += w.lr;
    }
    const double measure = 2 * lr / (ll + rr);
    if (measure < m_settings.phaseLimit) {
        if (!m_reversedSince.isValid()) {
            m_reversedSince = m_phaseWindows.last().start;
            for (auto w = m_phaseWindows.crbegin();
                 w != m_phaseWindows.crend() && w->loud &&
                 2 * w->lr < m_settings.phaseLimit * (w->ll + w->rr);
                 ++w)
                m_reversedSince = w->start;
        }
    } else if (measure >= 0) {
        m_reversedSince = QDateTime();
        if (m_reversed) {
            m_reversed = false;
            announce(StationEvent::Kind::PhaseNormal, 0, QStringLiteral("Phase Normal"));
        }
    }
    if (!m_reversed && m_reversedSince.isValid() &&
        m_reversedSince.msecsTo(now) >= 1000 * qint64(m_settings.phaseSeconds)) {
        m_reversed = true;
        announce(StationEvent::Kind::PhaseReversed, m_reversedSince.msecsTo(now),
                 QStringLiteral("Phase Reversed"));
    }
}

} // namespace dovrane
