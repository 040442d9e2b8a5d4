#pragma once

#include <QDateTime>

namespace dovrane {

/// Turns a condition seen buffer by buffer into a fault with a trigger delay and a
/// release time: raised once the condition has held for delay seconds, ended once
/// it has been absent for release seconds. A lapse shorter than kGraceMs does not
/// start the count again: one odd buffer in a minute of static is still static.
class FaultTimer
{
public:
    static constexpr qint64 kGraceMs = 1500;

    enum class Change
    {
        None,
        Raised,
        Ended,
    };

    void configure(int delaySecs, int releaseSecs)
    {
        m_delayMs = qint64(delaySecs) * 1000;
        m_releaseMs = qint64(releaseSecs) * 1000;
        reset();
    }
    void reset()
    {
        m_since = m_clearSince = m_lapseSince = QDateTime();
        m_on = false;
    }
    [[nodiscard]] bool isOn() const { return m_on; }
    /// Seconds the condition has held (at the last update while it held).
    [[nodiscard]] qint32 seconds(const QDateTime& now) const
    {
        return m_since.isValid() ? qint32(m_since.secsTo(now)) : 0;
    }

    /// holdBack: the fault may not be raised now (alarms suspended); it is raised
    /// at the first update after that if the condition still holds.
    /// began: when a condition that is present now set in, if earlier than now.
    Change update(bool present, const QDateTime& now, bool holdBack = false,
                  const QDateTime& began = {})
    {
        if (present) {
            m_clearSince = m_lapseSince = QDateTime();
            if (!m_since.isValid())
                m_since = began.isValid() ? began : now;
            if (!m_on && !holdBack && m_since.msecsTo(now) >= m_delayMs) {
                m_on = true;
                return Change::Raised;
            }
            return Change::None;
        }
        if (!m_on) {
            if (!m_lapseSince.isValid())
                m_lapseSince = now;
            if (m_lapseSince.msecsTo(now) >= kGraceMs)
                m_since = QDateTime();
            return Change::None;
        }
        m_since = QDateTime();
        if (!m_clearSince.isValid())
            m_clearSince = now;
        if (m_clearSince.msecsTo(now) < m_releaseMs)
            return Change::None;
        m_on = false;
        m_clearSince = QDateTime();
        return Change::Ended;
    }

private:
    qint64 m_delayMs = 0;
    qint64 m_releaseMs = 0;
    QDateTime m_since;
    QDateTime m_clearSince;
    QDateTime m_lapseSince;
    bool m_on = false;
};

} // namespace dovrane
