// The monitoring logic on real capture: the system clock, the Qt input on a private
// PulseAudio source fed by the test, and the alarm log in a temporary data folder.
#include "AlarmLog.h"
#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "LevelTest.h"
#include "PulseFixture.h"
#include "QtAudioInput.h"
#include "SilenceMonitor.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;
using dovrane::test::PulseFixture;

namespace {

constexpr qint16 kDelay = 3;
constexpr qint32 kThreshold = 100;
constexpr int kToneAmplitude = 6000;
// The alarm comes between delay - 1 s (both roundings against us) and delay + one
// tick after the last sound; the slack covers a busy machine.
constexpr double kEarliest = kDelay - 1.0 - 0.15;
constexpr double kLatest = kDelay + 0.1 + 1.5;

const QString kAlarmLine = QStringLiteral("Alarm") + QString(16, QLatin1Char(' '));
const QString kAlarmEndLine = QStringLiteral("Alarm End") + QString(12, QLatin1Char(' '));

} // namespace

class TstSensorRealAudio : public QObject
{
    Q_OBJECT
public:
    explicit TstSensorRealAudio(PulseFixture& pulse) : m_pulse(pulse) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void silenceRaisesAndSoundClearsTheAlarm();
    void stalledSourceRaisesTheAlarm();
    void vanishingSourceRaisesTheAlarmWithoutCrashing();
    void serverRestartRaisesAndClearsTheAlarm();

private:
    /// Seconds since the test began.
    [[nodiscard]] double now() const { return m_elapsed.nsecsElapsed() / 1e9; }
    /// The event texts of today's log, time stamps removed.
    [[nodiscard]] QStringList loggedEvents() const;
    [[nodiscard]] bool waitForLight(bool on, int timeoutMs);

    PulseFixture& m_pulse;
    int m_index = -1;
    QTemporaryDir m_dataDir;
    QElapsedTimer m_elapsed;

    std::unique_ptr<AppState> m_state;
    SystemClock m_clock;
    std::unique_ptr<ErrorReporter> m_errors;
    std::unique_ptr<QtAudioInput> m_audio;
    std::unique_ptr<AlarmLog> m_log;
    std::unique_ptr<SilenceMonitor> m_monitor;

    double m_lastSound = -1;
    double m_firstSoundAfterAlarm = -1;
    double m_lightOn = -1;
    double m_lightOff = -1;
    int m_buffers = 0;
    QStringList m_reports;
};

void TstSensorRealAudio::initTestCase()
{
    QVERIFY(m_dataDir.isValid());
    QtAudioInput lister;
    QTRY_VERIFY_WITH_TIMEOUT(lister.deviceCount() > 0, 10000);
    for (int i = 0; i < lister.deviceCount(); ++i) {
        if (lister.deviceName(i) == m_pulse.sourceDescription())
            m_index = i;
    }
    QVERIFY2(m_index >= 0, "the test source is not among the inputs");
    m_elapsed.start();
}

void TstSensorRealAudio::init()
{
    QDir(m_dataDir.path()).removeRecursively();
    const DataPaths paths(m_dataDir.path());
    QVERIFY(QDir().mkpath(paths.logsDir()));

    m_pulse.clearQueue();
    m_pulse.playSilence();
    m_lastSound = m_firstSoundAfterAlarm = m_lightOn = m_lightOff = -1;
    m_buffers = 0;
    m_reports.clear();

    m_state = std::make_unique<AppState>();
    m_errors = std::make_unique<ErrorReporter>();
    m_audio = std::make_unique<QtAudioInput>();
    m_log = std::make_unique<AlarmLog>(*m_state, m_clock, paths, *m_errors);
    m_monitor = std::make_unique<SilenceMonitor>(*m_state, m_clock, *m_audio, *m_log, *m_errors);
    m_audio->selectDevice(m_index);
    m_monitor->setAlarmDelay(kDelay);
    m_monitor->setThreshold(kThreshold);

    connect(m_errors.get(), &ErrorReporter::reported, this,
            [this](const QString& m) { m_reports.append(m); });
    // Connected after the monitor, so this sees each buffer right after it did.
    connect(m_audio.get(), &AudioInput::bufferReady, this, [this](const QByteArray& buffer) {
        ++m_buffers;
        if (!testLevel(buffer, kThreshold).sound)
            return;
        m_lastSound = now();
        if (m_lightOn >= 0 && m_firstSoundAfterAlarm < 0)
            m_firstSoundAfterAlarm = m_lastSound;
    });
    connect(m_monitor.get(), &SilenceMonitor::alarmLightChanged, this, [this](bool on) {
        if (on && m_lightOn < 0)
            m_lightOn = now();
        else if (!on && m_lightOn >= 0 && m_lightOff < 0 && m_state->SensorRunning)
            m_lightOff = now();
    });
}

void TstSensorRealAudio::cleanup()
{
    m_monitor.reset();
    m_log.reset();
    m_audio.reset();
    m_errors.reset();
    m_state.reset();
}

QStringList TstSensorRealAudio::loggedEvents() const
{
    QFile file(m_log->fileFor(m_clock.today()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList events;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        // "hh:mm:ss " + text + CR
        const QString text = QString::fromLatin1(line);
        events.append(text.mid(9).chopped(text.endsWith(QLatin1Char('\r')) ? 1 : 0));
    }
    return events;
}

bool TstSensorRealAudio::waitForLight(bool on, int timeoutMs)
{
    return QTest::qWaitFor([&] { return (on ? m_lightOn : m_lightOff) >= 0; }, timeoutMs);
}

void TstSensorRealAudio::silenceRaisesAndSoundClearsTheAlarm()
{
    m_pulse.playTone(kToneAmplitude, kToneAmplitude / 2);
    m_monitor->StartSensor();
    QVERIFY(m_state->SensorRunning);
    QTRY_VERIFY_WITH_TIMEOUT(m_lastSound >= 0, 5000);
    QTest::qWait(1000);
    QCOMPARE(m_lightOn, -1.0);

    m_pulse.playSilence();
    QVERIFY(waitForLight(true, (kDelay + 5) * 1000));
    const double silence = m_lightOn - m_lastSound;
    qInfo("alarm %.2f s after the last sound buffer", silence);
    QVERIFY2(silence >= kEarliest && silence <= kLatest, qPrintable(QString::number(silence)));
    QVERIFY(m_state->AlarmOn);
    QCOMPARE(loggedEvents(), QStringList{kAlarmLine});

    // The alarm stays while the silence goes on.
    QTest::qWait(1500);
    QVERIFY(m_state->AlarmOn);

    const double soundAgain = now();
    m_pulse.playTone(kToneAmplitude, 0);
    QVERIFY(waitForLight(false, 5000));
    QVERIFY(m_firstSoundAfterAlarm >= 0);
    const double clearing = m_lightOff - m_firstSoundAfterAlarm;
    qInfo("alarm cleared %.3f s after the first sound buffer, %.3f s after the tone began",
          clearing, m_lightOff - soundAgain);
    QVERIFY2(clearing >= 0 && clearing <= 0.2 + 0.8, qPrintable(QString::number(clearing)));
    QVERIFY(!m_state->AlarmOn);
    QCOMPARE(loggedEvents(), (QStringList{kAlarmLine, kAlarmEndLine}));
    QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(QLatin1Char('\n'))));
    m_monitor->StopSensor();
}

void TstSensorRealAudio::stalledSourceRaisesTheAlarm()
{
    // Nobody feeds the source: no buffers at all, which is no sound.
    m_pulse.playNothing();
    QTest::qWait(300);
    const double started = now();
    m_monitor->StartSensor();
    QVERIFY(m_state->SensorRunning);
    QVERIFY(waitForLight(true, (kDelay + 5) * 1000));
    const double silence = m_lightOn - started;
    qInfo("alarm %.2f s after the start, %d buffers", silence, m_buffers);
    QVERIFY2(silence >= kEarliest && silence <= kLatest, qPrintable(QString::number(silence)));
    QCOMPARE(m_lastSound, -1.0);
    QCOMPARE(loggedEvents(), QStringList{kAlarmLine});
    m_monitor->StopSensor();
    QVERIFY(!m_state->SensorRunning);
    QCOMPARE(loggedEvents(), QStringList{kAlarmLine}); // stopping logs no end
}

void TstSensorRealAudio::vanishingSourceRaisesTheAlarmWithoutCrashing()
{
    m_pulse.playTone(kToneAmplitude, kToneAmplitude);
    m_monitor->StartSensor();
    QTRY_VERIFY_WITH_TIMEOUT(m_lastSound >= 0, 5000);
    QTest::qWait(500);

    QVERIFY(m_pulse.unloadSource());
    QVERIFY(waitForLight(true, (kDelay + 5) * 1000));
    const double silence = m_lightOn - m_lastSound;
    qInfo("alarm %.2f s after the last sound buffer before the source went away", silence);
    // The input notices the loss within a second; what the server sends meanwhile
    // is silence, so the last sound is the last buffer from the source.
    QVERIFY2(silence >= kEarliest && silence <= kLatest, qPrintable(QString::number(silence)));
    QVERIFY(m_state->SensorRunning);
    QCOMPARE(loggedEvents(), QStringList{kAlarmLine});

    // Plugged back in: capture resumes by itself and the alarm ends.
    QVERIFY(m_pulse.reloadSource());
    QVERIFY(waitForLight(false, 10000));
    QCOMPARE(loggedEvents(), (QStringList{kAlarmLine, kAlarmEndLine}));
    m_monitor->StopSensor();
}

void TstSensorRealAudio::serverRestartRaisesAndClearsTheAlarm()
{
    // The backend reconnects three seconds after losing the server at the soonest,
    // so a shorter delay makes sure the outage is long enough to raise the alarm.
    m_monitor->setAlarmDelay(2);
    m_pulse.playTone(kToneAmplitude, kToneAmplitude);
    m_monitor->StartSensor();
    QTRY_VERIFY_WITH_TIMEOUT(m_lastSound >= 0, 5000);
    QTest::qWait(500);

    QVERIFY2(m_pulse.restartServer(), qPrintable(m_pulse.errorString()));
    QVERIFY(waitForLight(true, 10000));
    QVERIFY(m_state->SensorRunning);
    QCOMPARE(loggedEvents(), QStringList{kAlarmLine});

    // The tone never stopped: once capture is back the alarm ends by itself.
    QVERIFY(waitForLight(false, 20000));
    QVERIFY(m_firstSoundAfterAlarm > m_lightOn);
    QCOMPARE(loggedEvents(), (QStringList{kAlarmLine, kAlarmEndLine}));
    QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(QLatin1Char('\n'))));
    m_monitor->StopSensor();
}

DOVRANE_PULSE_TEST_MAIN(TstSensorRealAudio)
#include "tst_sensor_realaudio.moc"
