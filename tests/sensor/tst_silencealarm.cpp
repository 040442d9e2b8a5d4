#include "ElapsedText.h"
#include "LevelTest.h"
#include "SensorRig.h"

#include <QTest>
#include <QTimeZone>

using namespace dovrane;
using namespace dovrane::test;

/// The level test, Start/Stop and the silence alarm tick, driven through a fake
/// input on a manual clock.
class TestSilenceAlarm : public QObject
{
    Q_OBJECT

private:
    static QDateTime afternoon() { return at(2006, 6, 15, 14, 0, 0); }

private Q_SLOTS:
    void formatElapsed_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("zero") << 0 << QStringLiteral("00:00");
        QTest::newRow("59 s") << 59 << QStringLiteral("00:59");
        QTest::newRow("one minute") << 60 << QStringLiteral("01:00");
        QTest::newRow("75 s") << 75 << QStringLiteral("01:15");
        QTest::newRow("last second of an hour") << 3599 << QStringLiteral("59:59");
        QTest::newRow("one hour, leading blank") << 3600 << QStringLiteral(" 1:00:00");
        QTest::newRow("1:01:01") << 3661 << QStringLiteral(" 1:01:01");
        QTest::newRow("under ten hours") << 35999 << QStringLiteral(" 9:59:59");
        QTest::newRow("ten hours") << 36000 << QStringLiteral("10:00:00");
        QTest::newRow("a hundred hours") << 360000 << QStringLiteral("100:00:00");
        QTest::newRow("a whole day") << 86400 << QStringLiteral("24:00:00");
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
        QTest::newRow("middle, negative right") << 4096 << 517 << 3 << -20000;
        QTest::newRow("short buffer, last frame") << 4 * 37 << 36 << -7 << 9;
        QTest::newRow("odd trailing bytes ignored") << 4 * 300 + 3 << 299 << 100 << -100;
    }
    void channelPeaksFindTheLargestMagnitude()
    {
        QFETCH(int, bytes);
        QFETCH(int, frame);
        QFETCH(int, left);
        QFETCH(int, right);
        // A quiet background of +-2 with one loud frame.
        QByteArray buffer(bytes, '\0');
        for (int i = 0; i + 4 <= bytes; i += 4) {
            buffer[i] = char((i / 4) % 2 ? 2 : 0xfe);
            buffer[i + 1] = char((i / 4) % 2 ? 0 : 0xff);
            buffer[i + 2] = 2;
        }
        buffer[4 * frame] = char(left & 0xff);
        buffer[4 * frame + 1] = char((left >> 8) & 0xff);
        buffer[4 * frame + 2] = char(right & 0xff);
        buffer[4 * frame + 3] = char((right >> 8) & 0xff);
        if (bytes % 4)
            buffer[bytes - 1] = char(0x80); // half a frame: never a sample
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
        QTest::newRow("one above") << 0 << 301 << 300 << true;
        QTest::newRow("16384|16383 above 30000") << 16384 << 16383 << 30000 << true;
        QTest::newRow("threshold 0, digital silence") << 0 << 0 << 0 << false;
        QTest::newRow("threshold 0, one LSB") << 0 << 1 << 0 << true;
        QTest::newRow("threshold 0, minus one LSB") << -1 << 0 << 0 << true;
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
        const LevelReading reading = testLevel(ChannelPeaks{-32768, 12000}, 0);
        QVERIFY(!reading.measured);
        QVERIFY(!reading.sound);
        QCOMPARE(reading.PeakLeft, qint16(0));
        QCOMPARE(reading.PeakRight, qint16(0));

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

    void tenTicksPerSecond()
    {
        SensorRig rig(afternoon());
        QSignalSpy label(&rig.monitor, &SilenceMonitor::elapsedTextChanged);
        QSignalSpy clockText(&rig.monitor, &SilenceMonitor::clockTextChanged);
        rig.clock.advance(1.0);
        QCOMPARE(label.count(), 0); // Timer1 is off while idle
        QCOMPARE(clockText.count(), 10);

        rig.monitor.StartSensor();
        QCOMPARE(label.count(), 1); // emptied by the start
        QCOMPARE(label.takeFirst().at(0).toString(), QString());
        rig.clock.advance(3.0);
        QCOMPARE(label.count(), 30);
        QCOMPARE(clockText.count(), 40);
    }

    void raisesOnceAtTheDelay()
    {
        SensorRig rig(afternoon());
        rig.monitor.setAlarmDelay(10);
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);
        QStringList labels;
        connect(&rig.monitor, &SilenceMonitor::elapsedTextChanged, this, [&](const QString& text) {
            if (labels.isEmpty() || labels.last() != text)
                labels << text;
        });
        QString labelAtRaise;
        QTime raisedAt;
        connect(&rig.monitor, &SilenceMonitor::alarmLightChanged, this, [&](bool on) {
            if (on && raisedAt.isNull()) {
                raisedAt = rig.clock.now().time();
                labelAtRaise = labels.last();
            }
        });

        rig.monitor.StartSensor();
        rig.run(30.0, false);

        QCOMPARE(light.count(), 1);
        QCOMPARE(light.at(0).at(0).toBool(), true);
        QVERIFY(rig.state.AlarmOn);
        QCOMPARE(labelAtRaise, QStringLiteral("00:10"));
        // 9.5 s of silence is the first tick that rounds (to even) to 10.
        QCOMPARE(raisedAt, QTime(14, 0, 9, 500));
        QStringList expected{QString()};
        for (int s = 0; s <= 30; ++s)
            expected << QStringLiteral("00:%1").arg(s, 2, 10, QLatin1Char('0'));
        QCOMPARE(labels, expected);
        QCOMPARE(rig.state.SilenceSecs, 30);
        QCOMPARE(rig.logLines(), QStringList{QStringLiteral("14:00:09 ") + kAlarm});
    }

    void clearsWithinOneTickOfSound_data()
    {
        QTest::addColumn<bool>("sendEmail");
        QTest::addColumn<QString>("facility");
        QTest::newRow("no mail") << false << QString();
        QTest::newRow("mail") << true << QStringLiteral("WXYZ-FM");
        QTest::newRow("mail, no facility") << true << QString();
    }
    void clearsWithinOneTickOfSound()
    {
        QFETCH(bool, sendEmail);
        QFETCH(QString, facility);

        SensorRig rig(at(2006, 6, 15, 14, 3, 17));
        rig.state.SendEmail = sendEmail;
        rig.state.Facility = facility;
        rig.monitor.setAlarmDelay(10);
        QStringList bodies;
        QStringList subjects;
        connect(&rig.monitor, &SilenceMonitor::mailRequested, this, [&] {
            subjects << rig.state.MailSubject;
            bodies << rig.state.MailBody;
        });
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);

        rig.monitor.StartSensor();
        rig.run(20.0, false);
        QVERIFY(rig.state.AlarmOn);
        // Sound returns at 14:03:37.000; the next tick (25 ms of sound later) clears.
        rig.audio.push(FakeAudioInput::toneBuffer(10000));
        rig.run(0.1, true);
        QVERIFY(!rig.state.AlarmOn);
        QCOMPARE(rig.state.SilenceSecs, 0);
        QCOMPARE(light.count(), 2);
        QCOMPARE(light.at(1).at(0).toBool(), false);
        QCOMPARE(rig.logLines(), (QStringList{QStringLiteral("14:03:26 ") + kAlarm,
                                              QStringLiteral("14:03:37 ") + kAlarmEnd}));

        if (!sendEmail) {
            QVERIFY(bodies.isEmpty());
            return;
        }
        const QString subject = facility + QStringLiteral(" Alarm");
        QCOMPARE(subjects, (QStringList{subject, subject}));
        QCOMPARE(bodies, (QStringList{QStringLiteral("06-15-2006 14:03:26 Silence Alarm"),
                                      QStringLiteral("06-15-2006 14:03:37 End Silence Alarm")}));
    }

    void zeroDelayWithSoundRaisesAndClearsEveryTick_data()
    {
        QTest::addColumn<bool>("sendEmail");
        QTest::newRow("no mail") << false;
        QTest::newRow("mail") << true;
    }
    void zeroDelayWithSoundRaisesAndClearsEveryTick()
    {
        QFETCH(bool, sendEmail);
        SensorRig rig(afternoon());
        rig.state.SendEmail = sendEmail;
        rig.monitor.setAlarmDelay(0);
        QSignalSpy mail(&rig.monitor, &SilenceMonitor::mailRequested);
        rig.monitor.StartSensor();
        rig.run(1.0, true);
        QCOMPARE(rig.count(kAlarm), 10);
        QCOMPARE(rig.count(kAlarmEnd), 10);
        QVERIFY(!rig.state.AlarmOn);
        QCOMPARE(mail.count(), sendEmail ? 20 : 0);
        const QStringList lines = rig.logLines();
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(lines.at(i).mid(9), i % 2 == 0 ? kAlarm : kAlarmEnd);
    }

    void zeroDelayWithSilenceRaisesAtTheFirstTick()
    {
        SensorRig rig(afternoon());
        rig.monitor.setAlarmDelay(0);
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);
        rig.monitor.StartSensor();
        rig.run(0.1, false);
        QCOMPARE(rig.count(kAlarm), 1);
        QVERIFY(!light.isEmpty());
        QCOMPARE(light.first().at(0).toBool(), true);
        // Under half a second of silence still clears in the same tick; from 0.6 s on
        // the alarm stays.
        rig.run(2.0, false);
        QVERIFY(rig.state.AlarmOn);
        QCOMPARE(rig.count(kAlarm), 6);
        QCOMPARE(rig.count(kAlarmEnd), 5);
    }

    void sendPageStartsTheCallSequenceAndEndsTheTick()
    {
        SensorRig rig(afternoon());
        rig.state.SendPage = true;
        rig.monitor.setAlarmDelay(0);
        QSignalSpy calls(&rig.monitor, &SilenceMonitor::callSequenceRequested);
        QSignalSpy mail(&rig.monitor, &SilenceMonitor::mailRequested);
        rig.monitor.StartSensor();

        // With sound: the raising tick ends before the clearing test, the next clears.
        rig.run(0.1, true);
        QCOMPARE(calls.count(), 1);
        QVERIFY(rig.state.AlarmOn);
        QCOMPARE(rig.count(kAlarmEnd), 0);
        rig.run(0.1, true);
        QVERIFY(!rig.state.AlarmOn);
        QCOMPARE(rig.count(kAlarmEnd), 1);
        QCOMPARE(calls.count(), 1);
        QCOMPARE(mail.count(), 0);
    }

    void stopDuringAlarm()
    {
        SensorRig rig(afternoon());
        rig.state.SendEmail = true;
        rig.monitor.setAlarmDelay(2);
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);
        QSignalSpy monitoring(&rig.monitor, &SilenceMonitor::monitoringChanged);
        QSignalSpy mail(&rig.monitor, &SilenceMonitor::mailRequested);
        rig.monitor.StartSensor();
        rig.run(5.0, false);
        QVERIFY(rig.state.AlarmOn);
        QCOMPARE(mail.count(), 1);

        rig.monitor.StopSensor();
        QCOMPARE(light.last().at(0).toBool(), false);
        QCOMPARE(monitoring.last().at(0).toBool(), false);
        QVERIFY(!rig.state.AlarmOn);
        QVERIFY(!rig.state.SensorRunning);
        QVERIFY(!rig.monitor.timer1()->isActive());
        QVERIFY(!rig.audio.isCapturing());
        rig.run(5.0, true);
        QCOMPARE(rig.count(kAlarmEnd), 0);
        QCOMPARE(mail.count(), 1);
    }

    void startPressedTwice()
    {
        SensorRig rig(afternoon());
        rig.monitor.setAlarmDelay(60);
        QSignalSpy monitoring(&rig.monitor, &SilenceMonitor::monitoringChanged);
        rig.monitor.startClicked();
        rig.run(3.0, false);
        rig.monitor.startClicked();
        QCOMPARE(rig.logLines(), (QStringList{QStringLiteral("14:00:00 Manual Start Sensor"),
                                              QStringLiteral("14:00:03 Manual Start Sensor")}));
        QCOMPARE(rig.audio.startCalls(), 1);
        QCOMPARE(monitoring.count(), 1);
        QCOMPARE(rig.monitor.silenceStart(), 50400);
        QCOMPARE(rig.state.SilenceSecs, 3);
    }

    void stopPressedWhileIdle()
    {
        SensorRig rig(afternoon());
        QSignalSpy light(&rig.monitor, &SilenceMonitor::alarmLightChanged);
        QSignalSpy monitoring(&rig.monitor, &SilenceMonitor::monitoringChanged);
        rig.monitor.stopClicked();
        QCOMPARE(rig.logLines(), QStringList{QStringLiteral("14:00:00 Manual Stop Sensor")});
        QCOMPARE(rig.audio.stopCalls(), 1);
        QCOMPARE(light.count(), 1);
        QCOMPARE(monitoring.count(), 1);
        QVERIFY(!rig.monitor.timer1()->isActive());
    }

    void buttonsLogBeforeActing()
    {
        SensorRig rig(afternoon());
        rig.audio.failNextStarts(5, QStringLiteral("No such device"));
        rig.monitor.startClicked();
        QCOMPARE(rig.logLines(), (QStringList{QStringLiteral("14:00:00 Manual Start Sensor"),
                                              QStringLiteral("14:00:00 Loop error in Start")}));
    }

    void startRetries_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<int>("reports");
        QTest::addColumn<bool>("running");
        QTest::newRow("first attempt works") << 0 << 0 << true;
        QTest::newRow("one failure") << 1 << 1 << true;
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
        rig.monitor.StartSensor();

        QCOMPARE(errors.count(), reports);
        for (const QList<QVariant>& report : std::as_const(errors))
            QCOMPARE(report.at(0).toString(), QStringLiteral("Device or resource busy"));
        QCOMPARE(rig.audio.startCalls(), qMin(failures + 1, 5));
        QCOMPARE(rig.state.SensorRunning, running);
        QCOMPARE(rig.monitor.timer1()->isActive(), running);
        QCOMPARE(rig.logLines(), running
                                     ? QStringList{}
                                     : QStringList{QStringLiteral("14:00:00 Loop error in Start")});
    }

    void soundAcrossMidnightRaisesNothing()
    {
        SensorRig rig(at(2006, 6, 15, 23, 59, 50));
        rig.monitor.setAlarmDelay(5);
        int longest = 0;
        connect(&rig.monitor, &SilenceMonitor::elapsedTextChanged, this,
                [&] { longest = qMax(longest, rig.state.SilenceSecs); });
        rig.monitor.StartSensor();
        rig.run(30.0, true);
        QCOMPARE(rig.clock.now(), at(2006, 6, 16, 0, 0, 20));
        QCOMPARE(longest, 0);
        QCOMPARE(rig.count(kAlarm, QDate(2006, 6, 15)), 0);
        QCOMPARE(rig.count(kAlarm, QDate(2006, 6, 16)), 0);
    }

    void clockChangesOfDaylightSavingTime_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("hourAfter");
        const QTimeZone berlin("Europe/Berlin");
        // Both changes happen at 01:00 UTC: on 29 March 2026 02:00 CET becomes
        // 03:00 CEST, on 25 October 2026 03:00 CEST becomes 02:00 CET.
        const auto utc = [&](int month, int day) {
            return QDateTime(QDate(2026, month, day), QTime(0, 59, 40), Qt::UTC).toTimeZone(berlin);
        };
        QTest::newRow("spring forward") << utc(3, 29) << 3;
        QTest::newRow("fall back") << utc(10, 25) << 2;
    }
    void clockChangesOfDaylightSavingTime()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, hourAfter);
        if (!start.timeZone().isValid())
            QSKIP("no time zone data on this machine");
        SensorRig rig(start);
        rig.monitor.setAlarmDelay(5);
        rig.monitor.StartSensor();
        rig.run(30.0, true); // sound across the change: nothing
        QCOMPARE(rig.clock.now().time().hour(), hourAfter);
        QCOMPARE(rig.count(kAlarm), 0);
        // A silence across the next seconds is measured in real seconds.
        rig.run(4.0, false);
        QCOMPARE(rig.count(kAlarm), 0);
        rig.run(1.5, false);
        QCOMPARE(rig.count(kAlarm), 1);
    }

    void soundEndingAtTheLastTenthBeforeMidnight()
    {
        // The last sound at 23:59:59.6 rounds to 86400, the midnight that follows.
        SensorRig rig(at(2006, 6, 15, 23, 59, 50));
        rig.monitor.setAlarmDelay(5);
        QTime raisedAt;
        connect(&rig.monitor, &SilenceMonitor::alarmLightChanged, this, [&](bool on) {
            if (on)
                raisedAt = rig.clock.now().time();
        });
        rig.monitor.StartSensor();
        rig.run(9.6, true);
        QCOMPARE(rig.monitor.silenceStart(), 86400);
        rig.run(10.0, false);
        // 4.5 s ties down to 4; 4.6 s is the first tick at five seconds.
        QCOMPARE(raisedAt, QTime(0, 0, 4, 600));
        QCOMPARE(rig.logLines(QDate(2006, 6, 16)),
                 QStringList{QStringLiteral("00:00:04 ") + kAlarm});
    }

    void silenceAcrossMidnightCountsOn_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("raised");
        QTest::newRow("within a day")
            << at(2006, 6, 15, 12, 0, 0) << at(2006, 6, 15, 12, 0, 19, 500);
        QTest::newRow("across midnight")
            << at(2006, 6, 15, 23, 59, 50) << at(2006, 6, 16, 0, 0, 9, 500);
        QTest::newRow("across the new year")
            << at(2006, 12, 31, 23, 59, 50) << at(2007, 1, 1, 0, 0, 9, 500);
    }
    void silenceAcrossMidnightCountsOn()
    {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, raised);

        SensorRig rig(start);
        rig.monitor.setAlarmDelay(20);
        QDateTime raisedAt;
        int previous = -1;
        bool steady = true;
        connect(&rig.monitor, &SilenceMonitor::elapsedTextChanged, this, [&](const QString& text) {
            if (text.isEmpty())
                return;
            steady = steady && rig.state.SilenceSecs >= previous &&
                     rig.state.SilenceSecs <= previous + 1;
            previous = rig.state.SilenceSecs;
        });
        connect(&rig.monitor, &SilenceMonitor::alarmLightChanged, this, [&](bool on) {
            if (on && !raisedAt.isValid())
                raisedAt = rig.clock.now();
        });
        rig.monitor.StartSensor();
        rig.run(40.0, false);
        QCOMPARE(raisedAt, raised);
        QVERIFY(steady);
        QCOMPARE(rig.count(kAlarm, raised.date()), 1);
        QCOMPARE(rig.state.SilenceSecs, 40);
    }

    void alarmBeforeMidnightEndsAfterIt()
    {
        SensorRig rig(at(2006, 6, 15, 23, 59, 30));
        rig.monitor.setAlarmDelay(10);
        rig.state.SendEmail = true;
        QStringList bodies;
        connect(&rig.monitor, &SilenceMonitor::mailRequested, this,
                [&] { bodies << rig.state.MailBody; });
        rig.monitor.StartSensor();
        rig.run(50.0, false);
        QVERIFY(rig.state.AlarmOn);
        QCOMPARE(rig.count(kAlarmEnd, QDate(2006, 6, 16)), 0);
        QCOMPARE(rig.state.SilenceSecs, 50);
        rig.run(1.0, true);
        QVERIFY(!rig.state.AlarmOn);
        QCOMPARE(rig.logLines(QDate(2006, 6, 15)),
                 QStringList{QStringLiteral("23:59:39 ") + kAlarm});
        QCOMPARE(rig.logLines(QDate(2006, 6, 16)),
                 QStringList{QStringLiteral("00:00:20 ") + kAlarmEnd});
        QCOMPARE(bodies, (QStringList{QStringLiteral("06-15-2006 23:59:39 Silence Alarm"),
                                      QStringLiteral("06-16-2006 00:00:20 End Silence Alarm")}));
    }

    void monitoringStartEmptiesLabelAndResetsAlarm()
    {
        SensorRig rig(afternoon());
        QSignalSpy monitoring(&rig.monitor, &SilenceMonitor::monitoringChanged);
        rig.state.AlarmOn = true;
        rig.monitor.StartSensor();
        QVERIFY(rig.state.SensorRunning);
        QVERIFY(!rig.state.AlarmOn);
        QCOMPARE(monitoring.count(), 1);
        QCOMPARE(monitoring.first().at(0).toBool(), true);
        QVERIFY(rig.audio.isCapturing());
    }
};

QTEST_GUILESS_MAIN(TestSilenceAlarm)
#include "tst_silencealarm.moc"
