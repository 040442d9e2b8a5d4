#include "AlarmSuspension.h"

#include "AlarmLog.h"
#include "Clock.h"

#include <QRegularExpression>

namespace dovrane {

namespace {

QString padded(const QString& text)
{
    return text.leftJustified(21, QLatin1Char(' '));
}

/// When a suspension asked for as "90s", "30m", "2h", "1h30m", a number of minutes
/// or "[until] 2026-12-24T18:00" ends; invalid when the words say none of these.
QDateTime suspensionEnd(QString words, const QDateTime& now)
{
    words = words.trimmed();
    if (words.startsWith(QLatin1String("until ")))
        words = words.mid(6).trimmed();
    if (words.contains(QLatin1Char(':')))
        return QDateTime::fromString(words, Qt::ISODate);
    static const QRegularExpression minutes(QStringLiteral("^\\d{1,6}$"));
    static const QRegularExpression duration(
        QStringLiteral("^(?:(\\d{1,4})h)?(?:(\\d{1,6})m)?(?:(\\d{1,8})s)?$"));
    if (minutes.match(words).hasMatch())
        return now.addSecs(words.toLongLong() * 60);
    const QRegularExpressionMatch m = duration.match(words);
    if (words.isEmpty() || !m.hasMatch())
        return {};
    return now.addSecs(m.captured(1).toLongLong() * 3600 + m.captured(2).toLongLong() * 60 +
                       m.captured(3).toLongLong());
}

} // namespace

AlarmSuspension::AlarmSuspension(Clock& clock, AlarmLog& log, QObject* parent)
    : QObject(parent), m_clock(clock), m_log(log)
{
    // Looked at every second rather than timed once: the end moves when someone
    // suspends again while the window lasts.
    m_timer = m_clock.createTimer(this);
    m_timer->setInterval(1000);
    connect(m_timer, &ClockTimer::timeout, this, [this] {
        if (m_clock.now() >= m_until)
            resume(QStringLiteral("the end of the window"));
    });
}

void AlarmSuspension::suspendFor(qint64 seconds, const QString& by)
{
    if (seconds <= 0)
        resume(by);
    else
        suspendUntil(m_clock.now().addSecs(seconds), by);
}

void AlarmSuspension::suspendUntil(const QDateTime& until, const QString& by)
{
    const bool already = isSuspended();
    m_until = until;
    if (!already)
        m_log.WriteAlarmLog(padded(QStringLiteral("Alarms Suspended")));
    m_timer->start();
    Q_EMIT changed(m_until);
    Q_EMIT told(true, m_until, by);
}

void AlarmSuspension::resume(const QString& by)
{
    if (!isSuspended())
        return;
    m_until = QDateTime();
    m_timer->stop();
    m_log.WriteAlarmLog(padded(QStringLiteral("Alarms Resumed")));
    Q_EMIT changed(m_until);
    Q_EMIT told(false, m_until, by);
}

QDateTime AlarmSuspension::end(const QString& words, const QDateTime& now, QString* why)
{
    QDateTime until = suspensionEnd(words, now);
    if (!until.isValid())
        *why = QStringLiteral("cannot suspend: \"%1\" is no duration (90s, 30m, 2h, "
                              "1h30m) and no time (until 2026-12-24T18:00)")
                   .arg(words);
    else if (until <= now)
        *why = QStringLiteral("cannot suspend: %1 is already past")
                   .arg(until.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    else if (until > now.addDays(kMaxDays))
        *why = QStringLiteral("cannot suspend: the end must lie within the next %1 days")
                   .arg(kMaxDays);
    else
        return until;
    return {};
}

AlarmSuspension::Answer AlarmSuspension::suspendCommand(const QString& words, const QString& by)
{
    const QDateTime now = m_clock.now();
    QString why;
    const QDateTime until = end(words, now, &why);
    if (!until.isValid())
        return {false, why};
    suspendUntil(until, by);
    return {true, QStringLiteral("alarms suspended until %1")
                      .arg(until.toString(until.date() == now.date()
                                              ? QStringLiteral("HH:mm:ss")
                                              : QStringLiteral("yyyy-MM-dd HH:mm:ss")))};
}

AlarmSuspension::Answer AlarmSuspension::resumeCommand(const QString& by)
{
    if (!isSuspended())
        return {false, QStringLiteral("alarms were not suspended")};
    resume(by);
    return {true, QStringLiteral("alarms resumed")};
}

} // namespace dovrane
