// The monitoring logic on real capture: the system clock, the system's sound input on
// a private PulseAudio source fed by the test, and the alarm log in a temporary data folder.
#include "Account.h"
#include "AlarmLog.h"
#include "AlarmPlan.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "LevelTest.h"
#include "PulseFixture.h"
#include "SilenceMonitor.h"
#include "SystemAudioInput.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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
    void initTestCase()
    {
        m_index = m_pulse.indexIn(*dovrane::makeSystemAudioInput());
        QVERIFY2(m_index >= 0, "the test source is not among the inputs");
        m_elapsed.start();
    }
    void init()
    {
        m_pulse.playSilence();
        m_lastSound = m_firstSoundAfterAlarm = m_lightOn = m_lightOff = -1;
        m_reports.clear();
        m_rig = std::make_unique<Rig>();
        QVERIFY(QDir().mkpath(m_rig->paths.logsDir()));
        m_rig->audio.selectDevice(m_index);
        m_rig->monitor.setAlarmDelay(kDelay);
        m_rig->monitor.setThreshold(kThreshold);
        connect(&m_rig->errors, &ErrorReporter::reported, this,
                [this](const QString& m) { m_reports.append(m); });
        // Connected after the monitor, so this sees each buffer right after it did.
        connect(&m_rig->audio, &AudioInput::bufferReady, this, [this](const QByteArray& buffer) {
            if (!testLevel(buffer, kThreshold).sound)
                return;
            m_lastSound = now();
            if (m_lightOn >= 0 && m_firstSoundAfterAlarm < 0)
                m_firstSoundAfterAlarm = m_lastSound;
        });
        connect(&m_rig->monitor, &SilenceMonitor::alarmLightChanged, this, [this](bool on) {
            if (on && m_lightOn < 0)
                m_lightOn = now();
            else if (!on && m_lightOn >= 0 && m_lightOff < 0 && m_rig->monitor.isRunning())
                m_lightOff = now();
        });
    }
    void cleanup()
    {
        m_rig->monitor.StopSensor();
        m_rig.reset();
    }

    void silenceRaisesAndSoundClearsTheAlarm()
    {
        m_pulse.playTone(kToneAmplitude, kToneAmplitude / 2);
        QVERIFY(soundHeard());
        QTest::qWait(1000);
        QCOMPARE(m_lightOn, -1.0);

        m_pulse.playSilence();
        QVERIFY(alarmCameInTime(m_lastSound));
        // The alarm stays while the silence goes on.
        QTest::qWait(1500);
        QVERIFY(m_rig->monitor.alarmOn());

        m_pulse.playTone(kToneAmplitude, 0);
        QVERIFY(waitForLight(false, 5000));
        const double clearing = m_lightOff - m_firstSoundAfterAlarm;
        qInfo("alarm cleared %.3f s after the first sound buffer", clearing);
        QVERIFY2(m_firstSoundAfterAlarm >= 0 && clearing >= 0 && clearing <= 0.2 + 0.8,
                 qPrintable(QString::number(clearing)));
        QVERIFY(!m_rig->monitor.alarmOn());
        QCOMPARE(loggedEvents(), (QStringList{kAlarmLine, kAlarmEndLine}));
        QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(QLatin1Char('\n'))));
    }

    void stalledSourceRaisesTheAlarm()
    {
        // Nobody feeds the source: no buffers at all, which is no sound.
        m_pulse.playNothing();
        QTest::qWait(300);
        const double started = now();
        m_rig->monitor.StartSensor();
        QVERIFY(m_rig->monitor.isRunning());
        QVERIFY(alarmCameInTime(started));
        QCOMPARE(m_lastSound, -1.0);
        m_rig->monitor.StopSensor();
        QCOMPARE(loggedEvents(), QStringList{kAlarmLine}); // stopping logs no end
    }

    void outageRaisesTheAlarmAndItsEndClearsIt_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::newRow("source unplugged and plugged back in") << false;
        QTest::newRow("sound server ended and started again") << true;
    }
    void outageRaisesTheAlarmAndItsEndClearsIt()
    {
        QFETCH(bool, restart);
        m_pulse.playTone(kToneAmplitude, kToneAmplitude);
        QVERIFY(soundHeard());
        QTest::qWait(500);
        if (restart)
            QVERIFY2(m_pulse.killServer(), qPrintable(m_pulse.errorString()));
        else
            QVERIFY(m_pulse.unloadSource());
        // Nothing is captured meanwhile, which is silence to the alarm.
        QVERIFY(alarmCameInTime(m_lastSound));
        QVERIFY2(restart ? m_pulse.startServerAgain() : m_pulse.reloadSource(),
                 qPrintable(m_pulse.errorString()));
        QVERIFY(m_rig->monitor.isRunning());
        // The tone never stopped: once capture is back the alarm ends by itself.
        QVERIFY(waitForLight(false, 20000));
        QVERIFY(m_firstSoundAfterAlarm > m_lightOn);
        QCOMPARE(loggedEvents(), (QStringList{kAlarmLine, kAlarmEndLine}));
        if (restart)
            QVERIFY2(m_reports.isEmpty(), qPrintable(m_reports.join(QLatin1Char('\n'))));
    }

private:
    /// The logic on the system clock and the real input, logging into a fresh folder.
    struct Rig
    {
        QTemporaryDir dir;
        DataPaths paths{dir.path()};
        AlarmPlan plan;
        Account account;
        SystemClock clock;
        ErrorReporter errors;
        std::unique_ptr<AudioInput> input = makeSystemAudioInput();
        AudioInput& audio = *input;
        AlarmLog log{clock, paths, errors};
        SilenceMonitor monitor{plan, account, clock, audio, log, errors};
    };

    /// Seconds since the test began.
    [[nodiscard]] double now() const { return m_elapsed.nsecsElapsed() / 1e9; }

    /// Starts monitoring and waits for a buffer with sound.
    [[nodiscard]] bool soundHeard()
    {
        m_rig->monitor.StartSensor();
        return m_rig->monitor.isRunning() &&
               QTest::qWaitFor([&] { return m_lastSound >= 0; }, 5000);
    }

    [[nodiscard]] bool waitForLight(bool on, int timeoutMs)
    {
        return QTest::qWaitFor([&] { return (on ? m_lightOn : m_lightOff) >= 0; }, timeoutMs);
    }

    /// Waits for the alarm and checks that it came the delay after `silenceFrom`, and
    /// that it was logged.
    [[nodiscard]] bool alarmCameInTime(double silenceFrom)
    {
        if (!waitForLight(true, (kDelay + 5) * 1000))
            return false;
        const double silence = m_lightOn - silenceFrom;
        qInfo("alarm %.2f s after the silence began", silence);
        return silence >= kEarliest && silence <= kLatest && m_rig->monitor.alarmOn() &&
               loggedEvents() == QStringList{kAlarmLine};
    }

    /// The event texts of today's log, time stamps removed.
    [[nodiscard]] QStringList loggedEvents() const
    {
        QFile file(m_rig->log.fileFor(m_rig->clock.today()));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList events;
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) // "hh:mm:ss " + text + CR
                events.append(
                    QString::fromLatin1(line.mid(9).chopped(line.endsWith('\r') ? 1 : 0)));
        }
        return events;
    }

    PulseFixture& m_pulse;
    int m_index = -1;
    QElapsedTimer m_elapsed;
    std::unique_ptr<Rig> m_rig;
    double m_lastSound = -1;
    double m_firstSoundAfterAlarm = -1;
    double m_lightOn = -1;
    double m_lightOff = -1;
    QStringList m_reports;
};

DOVRANE_PULSE_TEST_MAIN(TstSensorRealAudio)
#include "tst_sensor_realaudio.moc"
