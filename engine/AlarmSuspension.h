#pragma once

#include <QDateTime>
#include <QObject>

#include "AlarmSettings.h"

namespace dovrane {

class AlarmLog;
class Clock;
class ClockTimer;

/// A maintenance window: while it lasts no alarm is raised or told. It ends by
/// itself at its time; a fault still there then raises its alarm at that point.
/// The one owner of the window's end; the alarm log keeps where it began and ended.
class AlarmSuspension : public QObject
{
    Q_OBJECT
public:
    AlarmSuspension(Clock& clock, AlarmLog& log, QObject* parent = nullptr);

    /// Suspends for seconds from now; 0 or less resumes. by names who asked, for
    /// the people told of it: "the window", "the command line", "HTTP from ADDRESS".
    void suspendFor(qint64 seconds, const QString& by);
    void suspendUntil(const QDateTime& until, const QString& by);
    void resume(const QString& by);
    /// When the suspension ends; invalid when alarms are not suspended.
    [[nodiscard]] QDateTime suspendedUntil() const { return m_until; }
    [[nodiscard]] bool isSuspended() const { return m_until.isValid(); }

    /// What a command did, in words for whoever sent it.
    struct Answer
    {
        bool done = false;
        QString text;
    };
    /// "suspend DURATION": 90s, 30m, 2h, 1h30m, a number of minutes, or
    /// "until 2026-12-24T18:00", no further than kMaxDays ahead.
    Answer suspendCommand(const QString& words, const QString& by);
    /// The end words name ("30m", "until 2026-12-24T18:00"), or an invalid time
    /// and why it cannot be one.
    [[nodiscard]] static QDateTime end(const QString& words, const QDateTime& now, QString* why);
    Answer resumeCommand(const QString& by);

    /// A suspension longer than this is a typing error more likely than a plan.
    static constexpr qint64 kMaxDays = AlarmSettings::kMaxSuspendDays;

Q_SIGNALS:
    /// Suspended until until, or resumed (until invalid).
    void changed(const QDateTime& until);
    /// Someone suspended (again, until until) or resumed the alarms; by says who,
    /// or "the end of the window" when it ran out.
    void told(bool suspended, const QDateTime& until, const QString& by);

private:
    Clock& m_clock;
    AlarmLog& m_log;
    ClockTimer* m_timer = nullptr;
    QDateTime m_until;
};

} // namespace dovrane
