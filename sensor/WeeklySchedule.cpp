#include "WeeklySchedule.h"

#include "AlarmLog.h"
#include "AppState.h"

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

WeeklySchedule::WeeklySchedule(AppState& state, AlarmLog& log, std::function<void()> startSensor,
                               std::function<void()> stopSensor)
    : m_state(state), m_log(log), m_startSensor(std::move(startSensor)),
      m_stopSensor(std::move(stopSensor))
{}

void WeeklySchedule::apply(const QDateTime& now)
{
    m_state.DayOfWeek = weekdaySundayFirst(now.date());
    const auto day = static_cast<std::size_t>(m_state.DayOfWeek);
    const qint32 second = now.time().msecsSinceStartOfDay() / 1000;

    if (m_state.DayEnabled[day] == 1 && !m_state.SensorRunning &&
        second == m_state.DayStartSecs[day]) {
        m_startSensor();
        m_state.LogText = QStringLiteral("Timed Start Sensor");
        m_log.WriteAlarmLog();
    }
    if (m_state.DayEnabled[day] == 1 && m_state.SensorRunning &&
        second == m_state.DayStopSecs[day]) {
        m_stopSensor();
        m_state.LogText = QStringLiteral("Timed Stop Sensor");
        m_log.WriteAlarmLog();
    }
}

} // namespace dovrane
