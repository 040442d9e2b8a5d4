#include "FloodCap.h"

#include "Clock.h"

#include <QLoggingCategory>

#include <utility>

Q_LOGGING_CATEGORY(lcFlood, "dovrane.notify.cap")

namespace dovrane {

FloodCap::FloodCap(Clock& clock, QObject* parent) : QObject(parent), m_clock(clock)
{
    m_timer = m_clock.createTimer(this);
    m_timer->setObjectName(QStringLiteral("tmrFloodCap"));
    m_timer->setInterval(1000);
    connect(m_timer, &ClockTimer::timeout, this, &FloodCap::tick);
}

void FloodCap::configure(int perMinute, int holdMinutes)
{
    m_perMinute = perMinute;
    m_holdMinutes = holdMinutes;
}

bool FloodCap::admit(const QString& key, Summary summary)
{
    if (m_perMinute <= 0)
        return true;
    const QDateTime now = m_clock.now();
    Recipient& r = m_recipients[key];
    if (r.held == 0) {
        r.sent.removeIf([&now](const QDateTime& at) { return at.secsTo(now) >= 60; });
        if (r.sent.size() < m_perMinute) {
            r.sent.append(now);
            return true;
        }
        r.holdEnds = now.addSecs(qint64(m_holdMinutes) * 60);
        qCInfo(lcFlood).noquote() << "holding back notifications to" << key.section(u'|', 0, 0)
                                  << "for" << m_holdMinutes << "min";
        m_timer->start();
    }
    ++r.held;
    r.summary = std::move(summary);
    return false;
}

int FloodCap::held() const
{
    int total = 0;
    for (const Recipient& r : m_recipients)
        total += r.held;
    return total;
}

void FloodCap::tick()
{
    const QDateTime now = m_clock.now();
    bool holding = false;
    for (Recipient& r : m_recipients) {
        if (r.held == 0)
            continue;
        if (now < r.holdEnds) {
            holding = true;
            continue;
        }
        const QString text =
            QStringLiteral("%1 more alarms on %2 in the last %3 min")
                .arg(r.held)
                .arg(m_facility ? m_facility() : QString(), QString::number(m_holdMinutes));
        const Summary summary = std::exchange(r.summary, {});
        r.held = 0;
        r.sent = {now};
        summary(text);
    }
    if (!holding)
        m_timer->stop();
}

} // namespace dovrane
