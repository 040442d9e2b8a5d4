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

void WeeklySchedule::apply(const QDateTime& now)
{
    m_dayOfWeek = weekdaySundayFirst(now.date());
    const int day = m_dayOfWeek;
    const qint32 second = now.time().msecsSinceStartOfDay() / 1000;
    bool enabled = m_plan.dayEnabled(day) == 1;
    qint32 start = m_plan.dayStartSecs(day);
    qint32 stop = m_plan.dayStopSecs(day);
    if (const auto window = m_override ? m_override(now.date()) : std::nullopt) {
        enabled = window->enabled;
        start = window->startSecs;
        stop = window->stopSecs;
    }

    if (enabled && !m_isRunning() && second == start) {
        m_startSensor();
        m_log.WriteAlarmLog(QStringLiteral("Timed Start Sensor"));
    }
    if (enabled && m_isRunning() && second == stop) {
        m_stopSensor();
        m_log.WriteAlarmLog(QStringLiteral("Timed Stop Sensor"));
    }
}

} // namespace dovrane
