#pragma once

#include <QDateTime>
#include <QList>

namespace dovrane {

/// Flap control for one kind of alarm: decides which starts and ends are told to
/// people. A start within the cooldown of the last end continues the same
/// incident: it is told once, as "again", and after that only logged. No more
/// than maxPerHour starts are told in any hour. An end is told when its start was.
/// With both limits 0 everything is told, as always.
class AlarmGate
{
public:
    enum class Notice
    {
        Tell,
        TellAgain,
        Quiet,
    };

    void configure(int cooldownMinutes, int maxPerHour)
    {
        m_cooldownSecs = qint64(cooldownMinutes) * 60;
        m_maxPerHour = maxPerHour;
    }

    Notice start(const QDateTime& now)
    {
        Notice notice = Notice::Tell;
        if (m_cooldownSecs > 0 && m_lastEnd.isValid() && m_lastEnd.secsTo(now) <= m_cooldownSecs) {
            notice = m_toldAgain ? Notice::Quiet : Notice::TellAgain;
            m_toldAgain = true;
        } else {
            m_toldAgain = false;
        }
        while (!m_told.isEmpty() && m_told.first().secsTo(now) >= 3600)
            m_told.removeFirst();
        if (notice != Notice::Quiet && m_maxPerHour > 0 && m_told.size() >= m_maxPerHour)
            notice = Notice::Quiet;
        if (notice != Notice::Quiet)
            m_told << now;
        m_startTold = notice != Notice::Quiet;
        return notice;
    }

    /// true when the end is to be told.
    bool end(const QDateTime& now)
    {
        m_lastEnd = now;
        return m_startTold;
    }

private:
    qint64 m_cooldownSecs = 0;
    int m_maxPerHour = 0;
    QDateTime m_lastEnd;
    bool m_toldAgain = false;
    bool m_startTold = true;
    QList<QDateTime> m_told;
};

} // namespace dovrane
