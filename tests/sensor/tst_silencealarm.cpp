#include "ElapsedText.h"
#include "LevelTest.h"
#include "SensorRig.h"

#include <QtEndian>
#include <QTest>
#include <QTimeZone>

using namespace dovrane;
using namespace dovrane::test;

namespace {

QDateTime afternoon()
{
    return at(2006, 6, 15, 14, 0, 0);
}

QString line(const QString& time, const QString& event)
{
    return time + QLatin1Char(' ') + event;
}

} // namespace

/// The level test, Start/Stop and the silence alarm tick, driven through a fake
/// input on a manual clock.
class TestSilenceAlarm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void formatElapsed_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << QStringLiteral("00:00");
        QTest::newRow("59 s") << 59 << QStringLiteral("00:59");
        QTest::newRow("75 s") << 75 << QStringLiteral("01:15");
        QTest::newRow("last second of an hour") << 3599 << QStringLiteral("59:59");
        QTest::newRow("one hour, leading blank") << 3600 << QStringLiteral(" 1:00:00");
        QTest::newRow("under ten hours") << 35999 << QStringLiteral(" 9:59:59");
        QTest::newRow("ten hours") << 36000 << QStringLiteral("10:00:00");
        QTest::newRow("a hundred hours") << 360000 << QStringLiteral("100:00:00");
    }
    void formatElapsed()
    {
        QFETCH(int, seconds);
        QFETCH(QString, text);
        QCOMPARE(FormatElapsed(seconds), text);
    }

    void channelPeaksFindTheLargestMagnitude_data()
    {
        QTest::addColumn<int>("bytes");
        QTest::addColumn<int>("frame");
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::newRow("first frame") << 4096 << 0 << 1200 << -5;
        QTest::newRow("last frame") << 4096 << 1023 << -32768 << 32767;
        QTest::newRow("short buffer, last frame") << 4 * 37 << 36 << -7 << 9;
        QTest::newRow("odd trailing bytes ignored") << 4 * 300 + 3 << 299 << 100 << -100;
    }
    void channelPeaksFindTheLargestMagnitude()
    {
        QFETCH(int, bytes);
        QFETCH(int, frame);
        QFETCH(int, left);
        QFETCH(int, right);
        // A quiet background with one loud frame; half a frame at the end is never a sample.
        QByteArray buffer = FakeAudioInput::constantBuffer(-2, 2).left(bytes);
        qToLittleEndian<qint16>(qint16(left), buffer.data() + 4 * frame);
        qToLittleEndian<qint16>(qint16(right), buffer.data() + 4 * frame + 2);
        if (bytes % 4)
            buffer[bytes - 1] = char(0x80);
        const ChannelPeaks peaks = channelPeaks(buffer);
        QCOMPARE(int(peaks.left), qAbs(left) > 2 ? left : -2);
        QCOMPARE(int(peaks.right), qAbs(right) > 2 ? right : 2);
    }

    void levelTest_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::addColumn<int>("threshold");
        QTest::addColumn<bool>("sound");
        QTest::newRow("OR exceeds both channels") << 256 << 255 << 300 << true;
        QTest::newRow("OR of negatives") << -256 << -255 << 300 << true;
        QTest::newRow("OR, not the sum") << 256 << 256 << 300 << false;
        QTest::newRow("equal is not above") << 300 << 0 << 300 << false;
        QTest::newRow("threshold 0, digital silence") << 0 << 0 << 0 << false;
        QTest::newRow("threshold 0, one LSB") << 0 << 1 << 0 << true;
        QTest::newRow("negative threshold, silence") << 0 << 0 << -1 << true;
        QTest::newRow("full scale above 9999") << 32767 << -32767 << 9999 << true;
        QTest::newRow("-32768 left fails") << -32768 << 0 << 0 << false;
        QTest::newRow("-32768 right fails, loud left") << 20000 << -32768 << 100 << false;
        QTest::newRow("-32768 fails even below a negative threshold")
            << 0 << -32768 << -999 << false;
    }
    void levelTest()
    {
        QFETCH(int, left);
        QFETCH(int, right);
        QFETCH(int, threshold);
        QFETCH(bool, sound);
        SensorRig rig(afternoon());
        rig.monitor.setThreshold(threshold);
        rig.monitor.StartSensor();
        QCOMPARE(rig.monitor.silenceStart(), 50400);
        rig.clock.advance(5.0);
        rig.audio.push(FakeAudioInput::constantBuffer(qint16(left), qint16(right)));
        QCOMPARE(rig.monitor.silenceStart(), sound ? 50405 : 50400);
    }

    void failedMeasurementZeroesBothPeaks()
    {
        SensorRig rig(afternoon());
        rig.monitor.StartSensor();
        rig.audio.push(FakeAudioInput::constantBuffer(1000, -2000));
        QCOMPARE(rig.monitor.peakLeft(), qint16(1000));
        QCOMPARE(rig.monitor.peakRight(), qint16(-2000));
        rig.audio.push(FakeAudioInput::constantBuffer(5000, -32768));
        QCOMPARE(rig.monitor.peakLeft(), qint16(0));
        QCOMPARE(rig.monitor.peakRight(), qint16(0));
    }

    void silenceStartRoundsTiesToEven_data()
    {
        QTest::addColumn<QTime>("time");
        QTest::addColumn<int>("silenceStart");
        QTest::newRow("23:59:59.6 is the coming midnight") << QTime(23, 59, 59, 600) << 86400;
        QTest::newRow("23:59:59.5 ties to even 86400") << QTime(23, 59, 59, 500) << 86400;
        QTest::newRow("23:59:58.5 ties to even 86398") << QTime(23, 59, 58, 500) << 86398;
        QTest::newRow("12:00:00.5 ties down") << QTime(12, 0, 0, 500) << 43200;
        QTest::newRow("12:00:01.5 ties up") << QTime(12, 0, 1, 500) << 43202;
        QTest::newRow("00:00:00.4") << QTime(0, 0, 0, 400) << 0;
    }
    void silenceStartRoundsTiesToEven()
    {
        QFETCH(QTime, time);
        QFETCH(int, silenceStart);
        // Both ways of setting it: the start of monitoring and a buffer with sound.
        SensorRig started(QDateTime(QDate(2006, 6, 15), time));
        started.monitor.StartSensor();
        QCOMPARE(started.monitor.silenceStart(), silenceStart);

        SensorRig heard(QDateTime(QDate(2006, 6, 15), QTime(0, 0)));
        heard.monitor.StartSensor();
        heard.clock.setNow(QDateTime(QDate(2006, 6, 15), time));
        heard.audio.push(FakeAudioInput::toneBuffer(8000));
        QCOMPARE(heard.monitor.silenceStart(), silenceStart);
    }

    void labelCountsAndRaisesOnceAtTheDelay()
    {
        SensorRig rig(afternoon());
        rig.monitor.setAlarmDelay(10);
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);
        QSignalSpy ticks(&rig.monitor, &SilenceMonitor::elapsedTextChanged);
        QSignalSpy clockText(&rig.monitor, &SilenceMonitor::clockTextChanged);
        rig.clock.advance(1.0);
        QCOMPARE(ticks.count(), 0); // Timer1 is off while idle
        QStringList labels;
        connect(&rig.monitor, &SilenceMonitor::elapsedTextChanged, this, [&](const QString& text) {
            if (labels.isEmpty() || labels.last() != text)
                labels << text;
        });
        rig.state.AlarmOn = true; // reset by the start
        rig.monitor.StartSensor();
        rig.run(30.0, false);
        QCOMPARE(ticks.count(), 1 + 300); // emptied by the start, then ten ticks a second
        QCOMPARE(clockText.count(), 310);
        QCOMPARE(light.count(), 1);
        QStringList expected{QString()};
        for (int s = 0; s <= 30; ++s)
            expected << QStringLiteral("00:%1").arg(s, 2, 10, QLatin1Char('0'));
        QCOMPARE(labels, expected);
    }

    /// Monitoring from `start` with no Facility and "Send Email" on, through a script of
    /// "+s" (s seconds of sound), "-s" (of silence) and "stop"; the log lines of the
    /// start day and the next, the light and the mails that follow.
    void alarmRoad_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("delay");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QDateTime>("raised");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("bodies");
        const QString alarm = QStringLiteral(" Silence Alarm");
        const QString end = QStringLiteral(" End Silence Alarm");
        // 9.5 s of silence is the first tick that rounds (to even) to 10.
        QTest::newRow("silence from the start")
            << afternoon() << 10 << "-30" << afternoon().addMSecs(9500)
            << QStringList{line("14:00:09", kAlarm)} << QStringList{"06-15-2006 14:00:09" + alarm};
        // Sound at 14:03:37.025; the next tick clears.
        QTest::newRow("sound returns")
            << at(2006, 6, 15, 14, 3, 17) << 10 << "-20 +0.1" << at(2006, 6, 15, 14, 3, 26, 500)
            << QStringList{line("14:03:26", kAlarm), line("14:03:37", kAlarmEnd)}
            << QStringList{"06-15-2006 14:03:26" + alarm, "06-15-2006 14:03:37" + end};
        QTest::newRow("stop during the alarm: no end line, no end mail")
            << afternoon() << 2 << "-5 stop +5" << afternoon().addMSecs(1500)
            << QStringList{line("14:00:01", kAlarm)} << QStringList{"06-15-2006 14:00:01" + alarm};
        QTest::newRow("sound across midnight") << at(2006, 6, 15, 23, 59, 50) << 5 << "+30"
                                               << QDateTime() << QStringList{} << QStringList{};
        // The last sound at 23:59:59.6 rounds to 86400; 4.5 s later ties down to 4.
        QTest::newRow("sound ends at the last tenth before midnight")
            << at(2006, 6, 15, 23, 59, 50) << 5 << "+9.6 -10" << at(2006, 6, 16, 0, 0, 4, 600)
            << QStringList{line("00:00:04", kAlarm)} << QStringList{"06-16-2006 00:00:04" + alarm};
        QTest::newRow("silence across midnight")
            << at(2006, 6, 15, 23, 59, 50) << 20 << "-40" << at(2006, 6, 16, 0, 0, 9, 500)
            << QStringList{line("00:00:09", kAlarm)} << QStringList{"06-16-2006 00:00:09" + alarm};
        QTest::newRow("silence across the new year")
            << at(2006, 12, 31, 23, 59, 50) << 20 << "-40" << at(2007, 1, 1, 0, 0, 9, 500)
            << QStringList{line("00:00:09", kAlarm)} << QStringList{"01-01-2007 00:00:09" + alarm};
        QTest::newRow("alarm before midnight ends after it")
            << at(2006, 6, 15, 23, 59, 30) << 10 << "-50 +1" << at(2006, 6, 15, 23, 59, 39, 500)
            << QStringList{line("23:59:39", kAlarm), line("00:00:20", kAlarmEnd)}
            << QStringList{"06-15-2006 23:59:39" + alarm, "06-16-2006 00:00:20" + end};
        // Both changes happen at 01:00 UTC: on 29 March 2026 02:00 CET becomes
        // 03:00 CEST, on 25 October 2026 03:00 CEST becomes 02:00 CET. Sound across
        // the change raises nothing; the silence after it is measured in real seconds.
        const QTimeZone berlin("Europe/Berlin");
        const auto utc = [&](int month, int day) {
            return QDateTime(QDate(2026, month, day), QTime(0, 59, 40), Qt::UTC).toTimeZone(berlin);
        };
        QTest::newRow("spring forward")
            << utc(3, 29) << 5 << "+30 -10" << utc(3, 29).addMSecs(34600)
            << QStringList{line("03:00:14", kAlarm)} << QStringList{"03-29-2026 03:00:14" + alarm};
        QTest::newRow("fall back")
            << utc(10, 25) << 5 << "+30 -10" << utc(10, 25).addMSecs(34600)
            << QStringList{line("02:00:14", kAlarm)} << QStringList{"10-25-2026 02:00:14" + alarm};
        // With no delay every tick raises; sound, or under half a second of silence,
        // clears it again in the same tick.
        QStringList pairs, mails;
        for (int i = 1; i <= 10; ++i) { // the tenth tick is at 14:00:01
            const QString time = i < 10 ? QStringLiteral("14:00:00") : QStringLiteral("14:00:01");
            pairs << line(time, kAlarm) << line(time, kAlarmEnd);
            mails << "06-15-2006 " + time + alarm << "06-15-2006 " + time + end;
        }
        QTest::newRow("no delay, sound")
            << afternoon() << 0 << "+1" << afternoon().addMSecs(100) << pairs << mails;
        QTest::newRow("no delay, silence") << afternoon() << 0 << "-2" << afternoon().addMSecs(100)
                                           << pairs.mid(0, 11) << mails.mid(0, 11);
    }
    void alarmRoad()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, delay);
        QFETCH(QString, script);
        QFETCH(QDateTime, raised);
        QFETCH(QStringList, log);
        QFETCH(QStringList, bodies);
        if (!start.isValid())
            QSKIP("no time zone data on this machine");
        SensorRig rig(start);
        rig.state.SendEmail = true;
        rig.monitor.setAlarmDelay(qint16(delay));
        rig.monitor.StartSensor();
        for (const QString& step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("stop"))
                rig.monitor.StopSensor();
            else
                rig.run(qAbs(step.toDouble()), step.startsWith(QLatin1Char('+')));
        }
        QCOMPARE(rig.raisedAt, raised);
        QCOMPARE(rig.logLines(start.date()) + rig.logLines(start.date().addDays(1)), log);
        QCOMPARE(rig.bodies, bodies);
        QCOMPARE(rig.subjects, QStringList(bodies.size(), QStringLiteral(" Alarm")));
        // Still raised when it was raised and the script ends in silence.
        const bool on =
            raised.isValid() && script.section(QLatin1Char(' '), -1).startsWith(QLatin1Char('-'));
        QCOMPARE(rig.state.AlarmOn, on);
        QCOMPARE(rig.light, on);
    }

    void sendPageStartsTheCallSequenceAndEndsTheTick()
    {
        SensorRig rig(afternoon());
        rig.state.SendPage = true;
        rig.monitor.setAlarmDelay(0);
        QSignalSpy calls(&rig.monitor, &SilenceMonitor::callSequenceRequested);
        rig.monitor.StartSensor();
        // With sound: the raising tick ends before the clearing test, the next clears.
        rig.run(0.1, true);
        QCOMPARE(calls.count(), 1);
        QVERIFY(rig.state.AlarmOn);
        rig.run(0.1, true);
        QVERIFY(!rig.state.AlarmOn);
        QCOMPARE(rig.logLines(),
                 (QStringList{line("14:00:00", kAlarm), line("14:00:00", kAlarmEnd)}));
        QCOMPARE(calls.count(), 1);
        QVERIFY(rig.bodies.isEmpty());
    }

    void buttonsLogEvenWhenNothingChanges()
    {
        SensorRig rig(afternoon());
        rig.monitor.setAlarmDelay(60);
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);
        QSignalSpy monitoring(&rig.monitor, &SilenceMonitor::monitoringChanged);
        rig.monitor.stopClicked(); // while idle: every stop step runs
        QCOMPARE(rig.audio.stopCalls(), 1);
        QCOMPARE(light.count(), 1);
        QCOMPARE(monitoring.count(), 1);
        rig.monitor.startClicked();
        rig.run(3.0, false);
        rig.monitor.startClicked(); // already on: nothing but the line
        QCOMPARE(rig.logLines(), (QStringList{QStringLiteral("14:00:00 Manual Stop Sensor"),
                                              QStringLiteral("14:00:00 Manual Start Sensor"),
                                              QStringLiteral("14:00:03 Manual Start Sensor")}));
        QCOMPARE(rig.audio.startCalls(), 1);
        QCOMPARE(monitoring.count(), 2);
        QCOMPARE(rig.monitor.silenceStart(), 50400);
    }

    void startRetries_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("reports");
        QTest::addColumn<bool>("running");
        QTest::newRow("first attempt works") << 0 << 0 << true;
        QTest::newRow("fifth attempt works") << 4 << 4 << true;
        QTest::newRow("five failures") << 5 << 5 << false;
        QTest::newRow("device keeps failing") << 50 << 5 << false;
    }
    void startRetries()
    {
        QFETCH(int, failures);
        QFETCH(int, reports);
        QFETCH(bool, running);
        SensorRig rig(afternoon());
        rig.audio.failNextStarts(failures, QStringLiteral("Device or resource busy"));
        QSignalSpy errors(&rig.errors, &ErrorReporter::reported);
        rig.monitor.startClicked();

        QCOMPARE(errors.count(), reports);
        for (const QList<QVariant>& report : std::as_const(errors))
            QCOMPARE(report.at(0).toString(), QStringLiteral("Device or resource busy"));
        QCOMPARE(rig.audio.startCalls(), qMin(failures + 1, 5));
        QCOMPARE(rig.state.SensorRunning, running);
        QCOMPARE(rig.monitor.timer1()->isActive(), running);
        // The button logs before it acts.
        QStringList expected{QStringLiteral("14:00:00 Manual Start Sensor")};
        if (!running)
            expected << QStringLiteral("14:00:00 Loop error in Start");
        QCOMPARE(rig.logLines(), expected);
    }
};

QTEST_GUILESS_MAIN(TestSilenceAlarm)
#include "tst_silencealarm.moc"
