#pragma once

#include "NamedInputSettings.h"
#include "StationEvent.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <array>
#include <functional>
#include <limits>

namespace dovrane {

class AudioInput;
class Clock;
class ClockTimer;

/// One named input's watch: its level test, its silence alarm and, where they
/// apply, a dead channel, reversed phase and the source going away (a stream that
/// is down is not silence). Each fault is a condition seen since some moment; the
/// tick tells its start once it has lasted long enough and its end once it is gone.
class NamedInputWatch : public QObject
{
    Q_OBJECT
public:
    /// The tick runs every fourth buffer (93 ms) while sound flows, and at least this
    /// often when none does.
    static constexpr int kBuffersPerTick = 4;
    static constexpr int kIdleTickMs = 500;

    NamedInputWatch(QString name, NamedInputSettings settings, Clock& clock, AudioInput& source,
                    QObject* parent = nullptr);
    ~NamedInputWatch() override;

    [[nodiscard]] const QString& name() const { return m_name; }
    [[nodiscard]] const NamedInputSettings& settings() const { return m_settings; }
    [[nodiscard]] AudioInput& source() const { return m_source; }
    [[nodiscard]] bool isWatching() const { return m_watching; }
    /// The source delivers (a stream is connected, a card captures).
    [[nodiscard]] bool isUp() const { return m_up; }
    [[nodiscard]] bool alarmOn() const { return m_faults[kSilence].told; }
    /// Whole seconds without sound while watched and up; 0 otherwise.
    [[nodiscard]] qint32 silenceSecs() const;
    [[nodiscard]] qint16 peakLeft() const { return m_peakLeft; }
    [[nodiscard]] qint16 peakRight() const { return m_peakRight; }
    /// "off", "idle" (not watched now), "connecting", "down", "silence", "fault" or "ok".
    [[nodiscard]] QString state() const;
    /// The machine names of the faults told and not ended ("silence_alarm", ...).
    [[nodiscard]] QStringList activeFaults() const;
    /// Why the source is down, as it said.
    [[nodiscard]] const QString& downReason() const { return m_downReason; }
    [[nodiscard]] QDateTime suspendedUntil() const { return m_suspendedUntil; }
    /// What the source said it is when it last came up ("MP3, 44100 Hz, 2 channels").
    [[nodiscard]] const QString& description() const { return m_description; }
    /// What a stream says is playing.
    [[nodiscard]] const QString& title() const { return m_title; }

    /// Watching on: the source is started (and kept trying); off: stopped, and every
    /// fault told is dropped without an end, as stopping the main input ends nothing.
    void setWatching(bool on);
    /// Asked before a start is told; false holds it back to a later tick.
    void setMayRaise(std::function<bool()> check) { m_mayRaise = std::move(check); }
    /// This input alone says nothing new until then (an invalid time: resumed).
    void suspendUntil(const QDateTime& until) { m_suspendedUntil = until; }

public Q_SLOTS:
    void bufferFilled(const QByteArray& buffer);
    void setTitle(const QString& title);
    void setDescription(const QString& description);
    /// The source delivers again (or for the first time), and says what it is.
    void sourceBack(const QString& description);
    /// The source cannot deliver, and why.
    void sourceLost(const QString& why);
    void tick();

Q_SIGNALS:
    /// A fault of this input began or ended; why says more where there is more (the
    /// reason a stream is down).
    void eventRaised(dovrane::StationEvent::Kind kind, qint32 seconds, const QString& why);
    /// Up, down, or the source's description or title changed.
    void sourceChanged();

private:
    enum Fault
    {
        kSilence,
        kDown,
        kChannel,
        kPhase,
        kFaultCount
    };
    static constexpr qint64 kNever = std::numeric_limits<qint64>::min();
    /// Times are milliseconds since the epoch, read once per tick.
    struct Condition
    {
        qint64 since = kNever; ///< while the condition holds
        bool told = false;
    };
    /// What the buffers since the last tick held.
    struct Heard
    {
        int buffers = 0;
        bool sound = false;
        bool bothOrNeither = false; ///< both channels sound, or neither
        bool oneSided = false;
        bool phase = false; ///< the correlation moved
    };
    [[nodiscard]] qint64 nowMs() const;
    void hold(Fault fault, bool holds, qint64 now);
    [[nodiscard]] qint64 needed(Fault fault) const;
    [[nodiscard]] bool applies(Fault fault) const;

    QString m_name;
    NamedInputSettings m_settings;
    Clock& m_clock;
    AudioInput& m_source;
    const bool m_stream;
    ClockTimer* m_timer = nullptr;
    std::function<bool()> m_mayRaise;
    bool m_watching = false;
    bool m_up = true;
    bool m_startFailed = false;
    QString m_downReason;
    QString m_description;
    QString m_title;
    QDateTime m_suspendedUntil;
    std::array<Condition, kFaultCount> m_faults{};
    qint64 m_lastSound = kNever;
    qint64 m_lastBuffer = kNever;
    Heard m_heard;
    qint16 m_peakLeft = 0;
    qint16 m_peakRight = 0;
    /// Correlation of left and right, smoothed over about a second of sound.
    double m_correlation = 1.0;
};

} // namespace dovrane
