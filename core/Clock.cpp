#include "Clock.h"

#include <QTimer>

namespace dovrane {

double Clock::secondsAfterMidnight() const
{
    const QTime t = now().time();
    return t.msecsSinceStartOfDay() / 1000.0;
}

namespace {

class QtClockTimer final : public ClockTimer
{
public:
    explicit QtClockTimer(QObject* parent) : ClockTimer(parent)
    {
        // Coarse timers (within 5 % of the interval) let the system wake the program
        // once for timers that fall due together; the 100 ms ticks need no more.
        m_timer.setTimerType(Qt::CoarseTimer);
        connect(&m_timer, &QTimer::timeout, this, &ClockTimer::timeout);
    }
    void setInterval(int ms) override { m_timer.setInterval(ms); }
    [[nodiscard]] int interval() const override { return m_timer.interval(); }
    void start() override { m_timer.start(); }
    void stop() override { m_timer.stop(); }
    [[nodiscard]] bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
};

} // namespace

QDateTime SystemClock::now() const
{
    return QDateTime::currentDateTime();
}

ClockTimer* SystemClock::createTimer(QObject* parent)
{
    return new QtClockTimer(parent);
}

class ManualClock::Timer final : public ClockTimer
{
public:
    Timer(ManualClock* clock, QObject* parent) : ClockTimer(parent), m_clock(clock)
    {
        m_clock->m_timers.append(this);
    }
    ~Timer() override
    {
        if (m_clock)
            m_clock->m_timers.removeAll(this);
    }
    void setInterval(int ms) override { m_interval = ms; }
    [[nodiscard]] int interval() const override { return m_interval; }
    void start() override
    {
        m_active = true;
        m_due = m_clock->m_now.addMSecs(m_interval);
    }
    void stop() override { m_active = false; }
    [[nodiscard]] bool isActive() const override { return m_active; }

    ManualClock* m_clock;
    int m_interval = 0;
    bool m_active = false;
    QDateTime m_due;
};

ManualClock::ManualClock(QDateTime start) : m_now(std::move(start)) {}

ManualClock::~ManualClock()
{
    for (Timer* t : std::as_const(m_timers))
        t->m_clock = nullptr;
}

ClockTimer* ManualClock::createTimer(QObject* parent)
{
    return new Timer(this, parent);
}

void ManualClock::setNow(const QDateTime& when)
{
    m_now = when;
}

void ManualClock::advance(double seconds)
{
    const QDateTime end = m_now.addMSecs(qRound64(seconds * 1000.0));
    for (;;) {
        // Earliest due timer within the step; ties go to the one created first.
        Timer* next = nullptr;
        for (Timer* t : std::as_const(m_timers)) {
            if (t->m_active && t->m_due <= end && (!next || t->m_due < next->m_due))
                next = t;
        }
        if (!next)
            break;
        m_now = next->m_due;
        next->m_due = m_now.addMSecs(qMax(1, next->m_interval));
        Q_EMIT next->timeout();
    }
    m_now = end;
}

} // namespace dovrane
