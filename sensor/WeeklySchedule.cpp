#include "WeeklySchedule.h"

#include "AlarmLog.h"
#include "AlarmPlan.h"

#include <QLocale>

namespace dovrane {

QString clockCaption(const QDateTime& now)
{
    const QDate date = now.date();
    return QLocale::system().dayName(date.dayOfWeek(), QLocale::LongFormat) + QStringLiteral("  ") +
           date.toString(QStringLiteral("MM/dd/yyyy")) + QStringLiteral("  ") +
           now.time().toString(QStringLiteral("HH:mm:ss"));
}

qint16 weekdaySundayFirst(const QDate& date)
{
    // QDate counts Monday = 1 .. Sunday = 7.
    return static_cast<qint16>(date.dayOfWeek() % 7 + 1);
}

std::optional<QDateTime> nextScheduledStart(const AlarmPlan& plan, const QDateTime& now)
{
    constexpr qint32 kSecondsPerDay = 86400;
    const qint32 second = now.time().msecsSinceStartOfDay() / 1000;
    // A week ahead and one day more: today's start may already be past.
    for (int offset = 0; offset <= 7; ++offset) {
        const QDate date = now.date().addDays(offset);
        const int day = weekdaySundayFirst(date);
        const qint32 start = plan.dayStartSecs(day);
        if (plan.dayEnabled(day) != 1 || start < 0 || start >= kSecondsPerDay)
            continue;
        if (offset == 0 && start <= second)
            continue;
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(start * 1000));
    }
    return std::nullopt;
}

WeeklySchedule::WeeklySchedule(const AlarmPlan& plan, AlarmLog& log,
                               std::function<bool()> isRunning, std::function<void()> startSensor,
                               std::function<void()> stopSensor)
    : m_plan(plan), m_log(log), m_isRunning(std::move(isRunning)),
      m_startSensor(std::move(startSensor)), m_stopSensor(std::move(stopSensor))
{}

namespace {
qint32 wholeSecond(const QDateTime& now)
{
    return now.time().msecsSinceStartOfDay() / 1000;
}
} // namespace

DayWindow WeeklySchedule::windowFor(const QDate& date) const
{
    if (m_aroundTheClock)
        return {true, 0, 0};
    if (const auto window = m_override ? m_override(date) : std::nullopt)
        return *window;
    const int day = weekdaySundayFirst(date);
    return {m_plan.dayEnabled(day) == 1, m_plan.dayStartSecs(day), m_plan.dayStopSecs(day)};
}

bool WeeklySchedule::covers(const QDateTime& now) const
{
    const qint32 second = wholeSecond(now);
    const DayWindow today = windowFor(now.date());
    if (today.enabled && second >= today.startSecs &&
        (today.startSecs >= today.stopSecs || second < today.stopSecs))
        return true;
    const DayWindow yesterday = windowFor(now.date().addDays(-1));
    if (!yesterday.enabled)
        return false;
    if (yesterday.startSecs == yesterday.stopSecs)
        return second < yesterday.startSecs;
    return yesterday.startSecs > yesterday.stopSecs && second < today.stopSecs;
}

bool WeeklySchedule::startInsideWindow(const QDateTime& now)
{
    if (m_isRunning() || !covers(now))
        return false;
    startSensor();
    return true;
}

void WeeklySchedule::startSensor()
{
    m_startSensor();
    m_log.WriteAlarmLog(QStringLiteral("Timed Start Sensor"));
}

void WeeklySchedule::stopSensor()
{
    m_stopSensor();
    m_log.WriteAlarmLog(QStringLiteral("Timed Stop Sensor"));
}

void WeeklySchedule::apply(const QDateTime& now)
{
    m_dayOfWeek = weekdaySundayFirst(now.date());
    const qint32 second = wholeSecond(now);
    const DayWindow today = windowFor(now.date());
    const bool wholeDay = today.startSecs == today.stopSecs;

    if (today.enabled && !m_isRunning() && second == today.startSecs)
        startSensor();
    // A whole day has no stop of its own: starting and stopping in the same second
    // would flap and end off.
    if (today.enabled && m_isRunning() && second == today.stopSecs && !wholeDay)
        stopSensor();
    // Yesterday's whole day ends 24 hours after its start, unless today goes on.
    const DayWindow yesterday = windowFor(now.date().addDays(-1));
    if (yesterday.enabled && yesterday.startSecs == yesterday.stopSecs &&
        second == yesterday.startSecs && m_isRunning() && !covers(now))
        stopSensor();
}

} // namespace dovrane
