#pragma once

#include "LevelTest.h"
#include "WeeklySchedule.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>

namespace dovrane {

class Account;
class AlarmLog;
class AlarmPlan;
class AudioInput;
class Clock;
class ClockTimer;
class ErrorReporter;
class WeeklySchedule;

/// The monitoring logic of the main window, without the window: switching the
/// input on and off, the level test of every captured buffer, the silence alarm
/// tick (Timer1, 100 ms while monitoring) and the clock and weekly schedule tick
/// (tmrClock, 100 ms always). The window shows what the signals say and hands the
/// call sequence and the alarm mail on to their owners.
class SilenceMonitor : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTickMs = 100;

    SilenceMonitor(const AlarmPlan& plan, const Account& account, Clock& clock, AudioInput& audio,
                   AlarmLog& log, ErrorReporter& errors, QObject* parent = nullptr);
    ~SilenceMonitor() override;

    /// Monitoring is on (the input was started and not stopped since).
    [[nodiscard]] bool isRunning() const { return m_running; }
    [[nodiscard]] bool alarmOn() const { return m_alarmOn; }
    /// Whole seconds of silence at the last alarm tick.
    [[nodiscard]] qint32 silenceSecs() const { return m_silenceSecs; }
    [[nodiscard]] const WeeklySchedule& schedule() const { return *m_schedule; }
    [[nodiscard]] WeeklySchedule& schedule() { return *m_schedule; }

    /// Seconds of silence that raise the alarm (0 or less: at the first tick).
    void setAlarmDelay(qint16 seconds) { m_alarmDelay = seconds; }
    [[nodiscard]] qint16 alarmDelay() const { return m_alarmDelay; }
    /// Runs before every attempt to start the input (the station checks there that
    /// the chosen device is still the one selected).
    void setBeforeStart(std::function<void()> check) { m_beforeStart = std::move(check); }
    /// A buffer is sound when its combined peak is greater than this.
    void setThreshold(qint32 level) { m_threshold = level; }
    [[nodiscard]] qint32 threshold() const { return m_threshold; }

    /// What becomes of an alarm start or end beyond its log line.
    enum class Notice
    {
        Tell,
        TellAgain, ///< told once more, saying "again"
        Quiet,     ///< logged only
    };
    /// Replaces the peak level test (buffer, threshold); none: testLevel().
    void setLevelTest(std::function<LevelReading(const QByteArray&, qint32)> test)
    {
        m_levelTest = std::move(test);
    }
    /// Asked before the alarm is raised; false holds it back until a later tick.
    void setMayRaise(std::function<bool()> check) { m_mayRaise = std::move(check); }
    /// Asked at each alarm start (true) and end (false); none: everything is told.
    void setNoticeFilter(std::function<Notice(bool start)> filter)
    {
        m_noticeFilter = std::move(filter);
    }
    /// Sound must last this many seconds before the alarm ends (0: the first tick).
    void setReleaseSecs(int seconds) { m_releaseSecs = seconds; }
    /// Gives a date its own monitoring window instead of its weekday's.
    void setScheduleOverride(std::function<std::optional<DayWindow>(const QDate&)> lookup);

    /// Whole seconds after midnight at which sound was last heard or monitoring
    /// started. Counted from the midnight that began silenceStartDate(); after a
    /// day change it is carried back by 86400 per day and can be negative.
    [[nodiscard]] qint32 silenceStart() const { return m_silenceStart; }
    [[nodiscard]] QDate silenceStartDate() const { return m_silenceStartDate; }
    /// The peaks the level test used for the last buffer (0 when it failed).
    [[nodiscard]] qint16 peakLeft() const { return m_peakLeft; }
    [[nodiscard]] qint16 peakRight() const { return m_peakRight; }

    /// The silence alarm tick, objectName "Timer1".
    [[nodiscard]] ClockTimer* timer1() const { return m_timer1; }
    /// The clock and schedule tick, objectName "tmrClock".
    [[nodiscard]] ClockTimer* clockTimer() const { return m_tmrClock; }

public Q_SLOTS:
    /// Starts the input unless monitoring is on; up to five attempts, each failure
    /// shown in the error window, "Loop error in Start" logged after the last.
    void StartSensor();
    /// Always runs every step, whether monitoring is on or not.
    void StopSensor();
    /// The Start button: logs "Manual Start Sensor", then starts.
    void startClicked();
    /// The Stop button: logs "Manual Stop Sensor", then stops.
    void stopClicked();

    /// The level test of one captured buffer.
    void bufferFilled(const QByteArray& buffer);
    /// One Timer1 tick: measure the silence, raise or clear the alarm.
    void silenceTick();
    /// One tmrClock tick: the clock caption and the weekly schedule.
    void clockTick();

Q_SIGNALS:
    /// The alarm light (Shape1) is to be shown or hidden.
    void alarmLightChanged(bool visible);
    /// New text for Label1 (the silence time; empty when monitoring starts).
    void elapsedTextChanged(const QString& text);
    /// New text for lblClock.
    void clockTextChanged(const QString& text);
    /// Monitoring was switched on or off (the Start button's colour follows it).
    void monitoringChanged(bool on);
    /// The alarm was raised with "Send Page": dial the call list.
    void callSequenceRequested();
    /// The silence alarm was raised (after its log line), or ended with "Alarm End";
    /// stopping the monitor during an alarm ends nothing.
    void alarmRaised();
    void alarmEnded(qint32 silenceSecs);
    /// The alarm or its end is to be mailed to the address book.
    void mailRequested(const QString& subject, const QString& body);

private:
    [[nodiscard]] bool attemptStart(const QDateTime& now);
    void setSilenceStart(const QDateTime& now);
    void carryOver(const QDateTime& now);
    /// true when the call sequence was started, which ends the tick.
    [[nodiscard]] bool raiseAlarm(const QDateTime& now);
    void clearAlarm(const QDateTime& now);
    /// true once sound has lasted the release time.
    [[nodiscard]] bool released(const QDateTime& now);
    void requestMail(const QDateTime& now, const QString& event, bool again = false);
    void log(const QString& text);

    const AlarmPlan& m_plan;
    const Account& m_account;
    Clock& m_clock;
    AudioInput& m_audio;
    AlarmLog& m_log;
    ErrorReporter& m_errors;
    ClockTimer* m_timer1 = nullptr;
    ClockTimer* m_tmrClock = nullptr;
    std::unique_ptr<WeeklySchedule> m_schedule;
    std::function<void()> m_beforeStart;
    std::function<LevelReading(const QByteArray&, qint32)> m_levelTest;
    std::function<bool()> m_mayRaise;
    std::function<Notice(bool)> m_noticeFilter;
    int m_releaseSecs = 0;
    QDateTime m_releaseFrom;

    bool m_running = false;
    bool m_alarmOn = false;
    qint32 m_silenceSecs = 0;
    qint16 m_alarmDelay = 0;
    qint32 m_threshold = 0;
    qint32 m_silenceStart = 0;
    QDate m_silenceStartDate;
    int m_silenceStartOffset = 0; ///< UTC offset of the local time it was taken in
    qint16 m_peakLeft = 0;
    qint16 m_peakRight = 0;
};

} // namespace dovrane
