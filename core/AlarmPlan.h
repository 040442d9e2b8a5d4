#pragma once

#include <QObject>

#include <array>

namespace dovrane {

/// What the alarm does and when monitoring runs: the page/e-mail choice and the
/// weekly schedule, as read from the parameters file at start-up and changed by
/// the Preferences window. Weekdays are 1 (Sunday) to 7 (Saturday).
class AlarmPlan : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    [[nodiscard]] bool sendPage() const { return m_sendPage; }
    [[nodiscard]] bool sendEmail() const { return m_sendEmail; }
    /// The stored enabled flag; only 1 switches the day on.
    [[nodiscard]] qint16 dayEnabled(int day) const { return m_enabled.at(slot(day)); }
    [[nodiscard]] qint32 dayStartSecs(int day) const { return m_start.at(slot(day)); }
    [[nodiscard]] qint32 dayStopSecs(int day) const { return m_stop.at(slot(day)); }

    void setSendPage(bool on) { update(m_sendPage, on); }
    void setSendEmail(bool on) { update(m_sendEmail, on); }
    void setDayEnabled(int day, qint16 value) { update(m_enabled.at(slot(day)), value); }
    void setDayStartSecs(int day, qint32 value) { update(m_start.at(slot(day)), value); }
    void setDayStopSecs(int day, qint32 value) { update(m_stop.at(slot(day)), value); }

Q_SIGNALS:
    void changed();

private:
    static std::size_t slot(int day) { return static_cast<std::size_t>(day - 1); }
    template <typename T> void update(T& field, T value)
    {
        if (field == value)
            return;
        field = value;
        Q_EMIT changed();
    }

    bool m_sendPage = false;
    bool m_sendEmail = false;
    std::array<qint16, 7> m_enabled{};
    std::array<qint32, 7> m_start{};
    std::array<qint32, 7> m_stop{};
};

} // namespace dovrane
