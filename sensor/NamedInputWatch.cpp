#include "NamedInputWatch.h"

#include "AudioInput.h"
#include "Clock.h"

#include <QtEndian>

#include <cmath>
#include <cstdlib>

namespace dovrane {

namespace {
/// Below this correlation of left and right, one channel is upside down.
constexpr double kReversed = -0.5;
/// Each buffer (23 ms) moves the smoothed correlation this far towards its own.
constexpr double kSmoothing = 0.05;
/// A card that will not start is tried again this often.
constexpr int kRetryMs = 5000;
/// A stream that hands over nothing this long has stalled (it hands over several
/// buffers about ten times a second).
constexpr qint64 kStallMs = 1500;

double correlation(const QByteArray& buffer)
{
    double lr = 0;
    double ll = 0;
    double rr = 0;
    const auto* s = reinterpret_cast<const uchar*>(buffer.constData());
    for (qsizetype i = 0; i + 3 < buffer.size(); i += 4) {
        const double l = qFromLittleEndian<qint16>(s + i);
        const double r = qFromLittleEndian<qint16>(s + i + 2);
        lr += l * r;
        ll += l * l;
        rr += r * r;
    }
    return ll > 0 && rr > 0 ? lr / std::sqrt(ll * rr) : 1.0;
}
} // namespace

NamedInputWatch::NamedInputWatch(QString name, NamedInputSettings settings, Clock& clock,
                                 AudioInput& source, QObject* parent)
    : QObject(parent), m_name(std::move(name)), m_settings(std::move(settings)), m_clock(clock),
      m_source(source), m_stream(m_settings.kind() == NamedInputSettings::SourceKind::Stream)
{
    m_timer = m_clock.createTimer(this);
    m_timer->setInterval(kIdleTickMs);
    connect(m_timer, &ClockTimer::timeout, this, &NamedInputWatch::tick);
    connect(&m_source, &AudioInput::bufferReady, this, &NamedInputWatch::bufferFilled);
    connect(&m_source, &AudioInput::captureRegained, this, &NamedInputWatch::sourceBack);
    // A stream also says what it is and what is playing, and why it is down without
    // its address in front; a card does not.
    if (m_source.metaObject()->indexOfSignal("streamUp(QString)") < 0) {
        connect(&m_source, &AudioInput::captureLost, this, &NamedInputWatch::sourceLost);
    } else {
        connect(&m_source, SIGNAL(streamDown(QString)), this, SLOT(sourceLost(QString)));
        connect(&m_source, SIGNAL(streamUp(QString)), this, SLOT(sourceBack(QString)));
        connect(&m_source, SIGNAL(formatChanged(QString)), this, SLOT(setDescription(QString)));
        connect(&m_source, SIGNAL(titleChanged(QString)), this, SLOT(setTitle(QString)));
    }
}

NamedInputWatch::~NamedInputWatch()
{
    m_source.stop();
}

void NamedInputWatch::setWatching(bool on)
{
    on = on && m_settings.enabled;
    if (on == m_watching)
        return;
    m_watching = on;
    for (Condition& c : m_faults)
        c = {};
    m_peakLeft = m_peakRight = 0;
    if (!on) {
        m_timer->stop();
        m_source.stop();
        Q_EMIT sourceChanged();
        return;
    }
    m_lastSound = nowMs();
    m_lastBuffer = kNever;
    m_heard = {};
    // A stream is connecting until its first audio: neither up (silent) nor down.
    m_up = !m_stream;
    m_correlation = 1.0;
    m_timer->start();
    m_startFailed = !m_source.start();
    if (m_startFailed)
        sourceLost(m_source.errorString());
    Q_EMIT sourceChanged();
}

qint64 NamedInputWatch::nowMs() const
{
    return m_clock.now().toMSecsSinceEpoch();
}

void NamedInputWatch::sourceLost(const QString& why)
{
    if (!m_watching)
        return;
    m_up = false;
    m_downReason = why;
    m_peakLeft = m_peakRight = 0;
    hold(kDown, true, nowMs());
    Q_EMIT sourceChanged();
}

void NamedInputWatch::setTitle(const QString& title)
{
    m_title = title;
    Q_EMIT sourceChanged();
}

void NamedInputWatch::sourceBack(const QString& description)
{
    if (!m_watching)
        return;
    if (!description.isEmpty())
        m_description = description;
    if (!m_up) {
        m_up = true;
        m_downReason.clear();
        const qint64 now = nowMs();
        hold(kDown, false, now);
        m_lastSound = now; // silence is counted afresh from the return
    }
    Q_EMIT sourceChanged();
}

void NamedInputWatch::setDescription(const QString& description)
{
    m_description = description;
    Q_EMIT sourceChanged();
}

void NamedInputWatch::bufferFilled(const QByteArray& buffer)
{
    // Only what the buffer holds is noted here; the tick reads the clock once for all
    // the buffers since the last one (the clock's local time is not free).
    if (!m_watching)
        return;
    if (!m_up)
        sourceBack({});
    const ChannelPeaks peaks = channelPeaks(buffer);
    m_peakLeft = peaks.left;
    m_peakRight = peaks.right;
    // The louder channel decides, so a dead channel is its own fault, not silence.
    const bool left = std::abs(int(peaks.left)) > m_settings.threshold;
    const bool right = std::abs(int(peaks.right)) > m_settings.threshold;
    m_heard.sound = m_heard.sound || left || right;
    m_heard.bothOrNeither = m_heard.bothOrNeither || left == right;
    m_heard.oneSided = m_heard.oneSided || left != right;
    if (left && right && applies(kPhase)) {
        m_correlation += kSmoothing * (correlation(buffer) - m_correlation);
        m_heard.phase = true;
    }
    // While buffers flow they drive the tick: no wake-up of its own.
    if (++m_heard.buffers >= kBuffersPerTick)
        tick();
}

void NamedInputWatch::hold(Fault fault, bool holds, qint64 now)
{
    Condition& c = m_faults[fault];
    if (!holds)
        c.since = kNever;
    else if (c.since == kNever)
        c.since = now;
}

bool NamedInputWatch::applies(Fault fault) const
{
    switch (fault) {
    case kChannel:
        return m_settings.detects("channel_loss");
    case kPhase:
        return m_settings.detects("phase");
    default:
        return true;
    }
}

qint64 NamedInputWatch::needed(Fault fault) const
{
    // The source already waited its own time before it said it is down.
    return fault == kDown ? 0 : qint64(m_settings.delaySecs) * 1000;
}

qint32 NamedInputWatch::silenceSecs() const
{
    if (!m_watching || !m_up)
        return 0;
    return qint32((nowMs() - m_lastSound) / 1000);
}

void NamedInputWatch::tick()
{
    if (!m_watching)
        return;
    const qint64 now = nowMs();
    if (m_heard.buffers > 0) {
        // Audio after a stall: the stall was the network's, not silence on air.
        if (m_heard.sound || (m_lastBuffer != kNever && now - m_lastBuffer > kStallMs))
            m_lastSound = now;
        m_lastBuffer = now;
        if (m_heard.bothOrNeither || m_heard.oneSided)
            hold(kChannel, !m_heard.bothOrNeither, now);
        if (m_heard.phase)
            hold(kPhase, m_correlation < kReversed, now);
    }
    m_heard = {};
    // A card that would not start is tried again; a started source retries by itself.
    if (m_startFailed && (now - m_faults[kDown].since) % kRetryMs < kIdleTickMs)
        m_startFailed = !m_source.start();
    // A stream that stalls is silent to nobody: its silence waits for audio again.
    const bool stalled = m_stream && (m_lastBuffer == kNever || now - m_lastBuffer > kStallMs);
    m_faults[kSilence].since = m_up && !stalled ? m_lastSound : kNever;
    const bool held = (m_suspendedUntil.isValid() && now < m_suspendedUntil.toMSecsSinceEpoch()) ||
                      (m_mayRaise && !m_mayRaise());
    static constexpr std::array<StationEvent::Kind, kFaultCount> kStarts{
        StationEvent::Kind::SilenceAlarm, StationEvent::Kind::InputLost,
        StationEvent::Kind::ChannelLoss, StationEvent::Kind::PhaseReversed};
    for (int f = 0; f < kFaultCount; ++f) {
        const auto fault = Fault(f);
        if (!applies(fault))
            continue;
        Condition& c = m_faults[f];
        const StationEvent::Kind start =
            fault == kDown && m_stream ? StationEvent::Kind::StreamDown : kStarts[f];
        const qint64 ms = c.since == kNever ? -1 : now - c.since;
        if (ms >= needed(fault) && !c.told && !held) {
            c.told = true;
            Q_EMIT eventRaised(start, qint32(ms / 1000), fault == kDown ? m_downReason : QString());
        } else if (c.told && ms < needed(fault)) {
            c.told = false;
            Q_EMIT eventRaised(StationEvent::endOf(start), 0, {});
        }
    }
}

QString NamedInputWatch::state() const
{
    if (!m_settings.enabled)
        return QStringLiteral("off");
    if (!m_watching)
        return QStringLiteral("idle");
    if (!m_up)
        return m_faults[kDown].since != kNever ? QStringLiteral("down")
                                               : QStringLiteral("connecting");
    if (alarmOn())
        return QStringLiteral("silence");
    return activeFaults().isEmpty() ? QStringLiteral("ok") : QStringLiteral("fault");
}

QStringList NamedInputWatch::activeFaults() const
{
    QStringList out;
    const std::array<const char*, kFaultCount> names{
        "silence_alarm", m_stream ? "stream_down" : "input_lost", "channel_loss", "phase_reversed"};
    for (int f = 0; f < kFaultCount; ++f)
        if (m_faults[f].told)
            out << QLatin1String(names[f]);
    return out;
}

} // namespace dovrane
