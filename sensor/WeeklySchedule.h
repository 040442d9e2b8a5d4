#pragma once

#include <QDateTime>
#include <QString>

#include <functional>
#include <optional>

namespace dovrane {

class AlarmLog;
class AlarmPlan;

/// The main window's clock caption: full weekday name (system language), two
/// blanks, MM/dd/yyyy, two blanks, HH:mm:ss.
[[nodiscard]] QString clockCaption(const QDateTime& now);

/// 1 = Sunday .. 7 = Saturday.
[[nodiscard]] qint16 weekdaySundayFirst(const QDate& date);

/// The next moment after now (whole seconds) at which the schedule would start
/// monitoring: the first enabled day, today included, whose start second lies
/// ahead and within 0..86399 (a start outside the day is never met). Nothing when
/// no day can start.
[[nodiscard]] std::optional<QDateTime> nextScheduledStart(const AlarmPlan& plan,
                                                          const QDateTime& now);

/// One date's monitoring window when it does not follow its weekday.
struct DayWindow
{
    bool enabled = false;
    qint32 startSecs = 0;
    qint32 stopSecs = 0;
};

/// Starts and stops monitoring at each weekday's start and stop second. It acts
/// only on the exact whole second (the clock cut, not rounded), so a second that
/// no tick sees is simply missed, and it never undoes what the operator did by
/// hand in between. A window past midnight takes its stop from the next
/// weekday's entry. A day whose start equals its stop is a whole day: it runs 24
/// hours from its start, and ends then only where the next day's window does not
/// go on.
class WeeklySchedule
{
public:
    WeeklySchedule(const AlarmPlan& plan, AlarmLog& log, std::function<bool()> isRunning,
                   std::function<void()> startSensor, std::function<void()> stopSensor);

    /// One clock tick: notes the weekday, then applies today's start and stop.
    void apply(const QDateTime& now);
    /// Whether the schedule has the input monitored at now: today's window, or
    /// yesterday's where it runs into today.
    [[nodiscard]] bool covers(const QDateTime& now) const;
    /// Starts monitoring, logged as a timed start, when now lies inside a window and
    /// monitoring is off (a start or restart in the middle of a window). True when
    /// it tried.
    bool startInsideWindow(const QDateTime& now);
    /// Every day is a whole day from midnight, whatever the plan says.
    void setAroundTheClock(bool on) { m_aroundTheClock = on; }
    [[nodiscard]] bool aroundTheClock() const { return m_aroundTheClock; }
    /// The weekday of the last tick, 1 = Sunday .. 7 = Saturday (0 before the first).
    [[nodiscard]] qint16 dayOfWeek() const { return m_dayOfWeek; }
    /// Dates for which lookup answers follow its window instead of the weekday's.
    void setOverride(std::function<std::optional<DayWindow>(const QDate&)> lookup)
    {
        m_override = std::move(lookup);
    }

private:
    /// The window of date: around the clock, the date's own, or its weekday's.
    [[nodiscard]] DayWindow windowFor(const QDate& date) const;
    void startSensor();
    void stopSensor();

    const AlarmPlan& m_plan;
    AlarmLog& m_log;
    std::function<bool()> m_isRunning;
    std::function<void()> m_startSensor;
    std::function<void()> m_stopSensor;
    std::function<std::optional<DayWindow>(const QDate&)> m_override;
    qint16 m_dayOfWeek = 0;
    bool m_aroundTheClock = false;
};

} // namespace dovrane
