#include "SilenceMonitor.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmPlan.h"
#include "AudioInput.h"
#include "Clock.h"
#include "ElapsedText.h"
#include "ErrorReporter.h"
#include "LevelTest.h"
#include "TimeOfDay.h"
#include "WeeklySchedule.h"

#include <QLoggingCategory>

#include <algorithm>
#include <cmath>
#include <limits>

Q_LOGGING_CATEGORY(lcSensor, "dovrane.sensor", QtInfoMsg)

namespace dovrane {

namespace {

constexpr int kStartAttempts = 5;
constexpr qint32 kSecondsPerDay = 86400;

double secondsAfterMidnight(const QDateTime& now)
{
    return now.time().msecsSinceStartOfDay() / 1000.0;
}

} // namespace

SilenceMonitor::SilenceMonitor(const AlarmPlan& plan, const Account& account, Clock& clock,
                               AudioInput& audio, AlarmLog& log, ErrorReporter& errors,
                               QObject* parent)
    : QObject(parent), m_plan(plan), m_account(account), m_clock(clock), m_audio(audio), m_log(log),
      m_errors(errors)
{
    m_timer1 = m_clock.createTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(kTickMs);
    connect(m_timer1, &ClockTimer::timeout, this, &SilenceMonitor::silenceTick);

    m_tmrClock = m_clock.createTimer(this);
    m_tmrClock->setObjectName(QStringLiteral("tmrClock"));
    m_tmrClock->setInterval(kTickMs);
    connect(m_tmrClock, &ClockTimer::timeout, this, &SilenceMonitor::clockTick);

    m_schedule = std::make_unique<WeeklySchedule>(
        m_plan, m_log, [this] { return m_running; }, [this] { StartSensor(); },
        [this] { StopSensor(); });

    connect(&m_audio, &AudioInput::bufferReady, this, &SilenceMonitor::bufferFilled);

    m_tmrClock->start();
}

SilenceMonitor::~SilenceMonitor() = default;

void SilenceMonitor::log(const QString& text)
{
    m_log.WriteAlarmLog(text);
}

void SilenceMonitor::startClicked()
{
    log(QStringLiteral("Manual Start Sensor"));
    StartSensor();
}

void SilenceMonitor::stopClicked()
{
    log(QStringLiteral("Manual Stop Sensor"));
    StopSensor();
}

void SilenceMonitor::StartSensor()
{
    if (m_running)
        return;
    if (m_beforeStart)
        m_beforeStart();
    for (int attempt = 1;; ++attempt) {
        if (attemptStart(m_clock.now()))
            return;
        const QString reason = m_audio.errorString();
        qCDebug(lcSensor) << "input start attempt" << attempt << "failed:" << reason;
        m_errors.report(reason);
        if (attempt >= kStartAttempts) {
            log(QStringLiteral("Loop error in Start"));
            return;
        }
    }
}

bool SilenceMonitor::attemptStart(const QDateTime& now)
{
    if (!m_audio.start())
        return false;
    m_running = true;
    m_alarmOn = false;
    setSilenceStart(now);
    Q_EMIT elapsedTextChanged(QString());
    m_timer1->start();
    Q_EMIT monitoringChanged(true);
    return true;
}

void SilenceMonitor::StopSensor()
{
    Q_EMIT alarmLightChanged(false);
    m_running = false;
    m_alarmOn = false;
    m_audio.stop();
    Q_EMIT monitoringChanged(false);
    m_timer1->stop();
}

void SilenceMonitor::setSilenceStart(const QDateTime& now)
{
    // Ties go to the even second, so sound heard at 23:59:59.6 gives 86400: the
    // coming midnight, still counted on the day it was heard.
    m_silenceStart = static_cast<qint32>(roundHalfEven(secondsAfterMidnight(now)));
    m_silenceStartDate = now.date();
    m_silenceStartOffset = now.offsetFromUtc();
}

void SilenceMonitor::carryOver(const QDateTime& now)
{
    // The clock starts again at 0 at midnight, and jumps an hour when daylight
    // saving time begins or ends. Moving the time of last sound by the same amount
    // keeps the difference a true elapsed time, so sound across midnight or across
    // a clock change raises nothing and a silence across it counts on.
    if (!m_silenceStartDate.isValid())
        return;
    const QDate today = now.date();
    const int offset = now.offsetFromUtc();
    if (m_silenceStartDate == today && m_silenceStartOffset == offset)
        return;
    const qint64 shift =
        -m_silenceStartDate.daysTo(today) * kSecondsPerDay + (offset - m_silenceStartOffset);
    // A silence of more than some 34 years would not fit; stop counting there.
    constexpr qint64 kLimit = std::numeric_limits<qint32>::max() / 2;
    m_silenceStart =
        static_cast<qint32>(std::clamp(qint64(m_silenceStart) + shift, -kLimit, kLimit));
    m_silenceStartDate = today;
    m_silenceStartOffset = offset;
}

void SilenceMonitor::bufferFilled(const QByteArray& buffer)
{
    const LevelReading reading =
        m_levelTest ? m_levelTest(buffer, m_threshold) : testLevel(buffer, m_threshold);
    m_peakLeft = reading.PeakLeft;
    m_peakRight = reading.PeakRight;
    if (reading.sound)
        setSilenceStart(m_clock.now());
}

void SilenceMonitor::silenceTick()
{
    // One reading of the clock serves the whole tick, so the date and the time of
    // day always belong together.
    const QDateTime now = m_clock.now();
    carryOver(now);

    const double elapsed = std::abs(secondsAfterMidnight(now) - double(m_silenceStart));
    m_silenceSecs = static_cast<qint32>(roundHalfEven(elapsed));
    if (m_silenceSecs >= 1)
        m_releaseFrom = QDateTime();
    Q_EMIT elapsedTextChanged(FormatElapsed(m_silenceSecs));

    if (m_silenceSecs >= m_alarmDelay && !m_alarmOn && (!m_mayRaise || m_mayRaise())) {
        if (raiseAlarm(now))
            return;
    }
    if (m_silenceSecs < 1 && m_alarmOn && released(now))
        clearAlarm(now);
}

bool SilenceMonitor::released(const QDateTime& now)
{
    if (m_releaseSecs <= 0)
        return true;
    // Sound counts as lasting while no tick sees a second of silence.
    if (!m_releaseFrom.isValid())
        m_releaseFrom = now;
    if (m_releaseFrom.msecsTo(now) < qint64(m_releaseSecs) * 1000)
        return false;
    m_releaseFrom = QDateTime();
    return true;
}

bool SilenceMonitor::raiseAlarm(const QDateTime& now)
{
    m_alarmOn = true;
    Q_EMIT alarmLightChanged(true);
    log(QStringLiteral("Alarm") + QString(16, QLatin1Char(' ')));
    const Notice notice = m_noticeFilter ? m_noticeFilter(true) : Notice::Tell;
    Q_EMIT alarmRaised();
    if (notice == Notice::Quiet)
        return false;
    if (m_plan.sendPage() && m_running) {
        Q_EMIT callSequenceRequested();
        return true;
    }
    if (m_plan.sendEmail() && m_running)
        requestMail(now, QStringLiteral(" Silence Alarm"), notice == Notice::TellAgain);
    return false;
}

void SilenceMonitor::clearAlarm(const QDateTime& now)
{
    m_alarmOn = false;
    Q_EMIT alarmLightChanged(false);
    const qint32 lasted = m_silenceSecs;
    m_silenceSecs = 0;
    log(QStringLiteral("Alarm End") + QString(12, QLatin1Char(' ')));
    const bool tell = m_noticeFilter ? m_noticeFilter(false) == Notice::Tell : true;
    Q_EMIT alarmEnded(lasted);
    if (m_plan.sendEmail() && tell)
        requestMail(now, QStringLiteral(" End Silence Alarm"));
}

void SilenceMonitor::requestMail(const QDateTime& now, const QString& event, bool again)
{
    const QString more = again ? QStringLiteral(" again") : QString();
    Q_EMIT mailRequested(m_account.facility() + QStringLiteral(" Alarm") + more,
                         now.date().toString(QStringLiteral("MM-dd-yyyy")) + QLatin1Char(' ') +
                             now.time().toString(QStringLiteral("HH:mm:ss")) + event + more);
}

void SilenceMonitor::setScheduleOverride(
    std::function<std::optional<DayWindow>(const QDate&)> lookup)
{
    m_schedule->setOverride(std::move(lookup));
}

void SilenceMonitor::clockTick()
{
    const QDateTime now = m_clock.now();
    Q_EMIT clockTextChanged(clockCaption(now));
    m_schedule->apply(now);
}

} // namespace dovrane
