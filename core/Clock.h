#pragma once

#include <QDateTime>
#include <QObject>

#include <memory>

namespace dovrane {

/// A repeating timer that belongs to a Clock. The real clock backs it with QTimer;
/// the manual clock fires it when advance() passes its due time.
class ClockTimer : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~ClockTimer() override = default;

    virtual void setInterval(int ms) = 0;
    [[nodiscard]] virtual int interval() const = 0;
    virtual void start() = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isActive() const = 0;

Q_SIGNALS:
    void timeout();
};

/// Local wall-clock time plus timers. Every piece of logic that reads the time or
/// waits takes a Clock, so tests can step across midnight and through 100 ms ticks.
class Clock
{
public:
    virtual ~Clock() = default;

    /// Current local date and time, with milliseconds.
    [[nodiscard]] virtual QDateTime now() const = 0;
    /// A new, stopped timer owned by parent.
    [[nodiscard]] virtual ClockTimer* createTimer(QObject* parent) = 0;

    /// Seconds after local midnight, with fraction (0 <= value < 86400).
    [[nodiscard]] double secondsAfterMidnight() const;
    [[nodiscard]] QDate today() const { return now().date(); }
};

/// The system clock and QTimer.
class SystemClock final : public Clock
{
public:
    [[nodiscard]] QDateTime now() const override;
    [[nodiscard]] ClockTimer* createTimer(QObject* parent) override;
};

/// A clock that only moves when told to. advance() fires every active timer whose
/// due time falls inside the step, in time order, with now() set to the due time.
class ManualClock final : public Clock
{
public:
    explicit ManualClock(QDateTime start);
    ~ManualClock() override;

    [[nodiscard]] QDateTime now() const override { return m_now; }
    [[nodiscard]] ClockTimer* createTimer(QObject* parent) override;

    void setNow(const QDateTime& when);
    void advance(double seconds);

private:
    class Timer;
    friend class Timer;
    QDateTime m_now;
    QList<Timer*> m_timers;
};

} // namespace dovrane
