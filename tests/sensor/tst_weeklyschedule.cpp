#include "SensorRig.h"
#include "WeeklySchedule.h"

#include <QLocale>
#include <QTest>

using namespace dovrane;
using namespace dovrane::test;

namespace {

constexpr qint16 kThursday = 5;
constexpr qint16 kFriday = 6;

int secs(int h, int m, int s)
{
    return h * 3600 + m * 60 + s;
}

const QString kTimedStart = QStringLiteral("Timed Start Sensor");
const QString kTimedStop = QStringLiteral("Timed Stop Sensor");

} // namespace

/// The clock caption, the weekday and the scheduled start and stop seconds.
class TestWeeklySchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void weekdayCountsFromSunday_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("weekday");
        QTest::newRow("Sunday") << QDate(2006, 6, 11) << 1;
        QTest::newRow("Monday") << QDate(2006, 6, 12) << 2;
        QTest::newRow("Wednesday") << QDate(2006, 6, 14) << 4;
        QTest::newRow("Thursday") << QDate(2006, 6, 15) << 5;
        QTest::newRow("Saturday") << QDate(2006, 6, 17) << 7;
    }
    void weekdayCountsFromSunday()
    {
        QFETCH(QDate, date);
        QFETCH(int, weekday);
        SensorRig rig(QDateTime(date, QTime(10, 0)));
        rig.clock.advance(0.1);
        QCOMPARE(int(rig.state.DayOfWeek), weekday);
    }

    void clockCaptionLayout_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("rest");
        QTest::newRow("afternoon")
            << at(2006, 6, 15, 14, 3, 27) << QStringLiteral("  06/15/2006  14:03:27");
        QTest::newRow("padded") << at(2007, 1, 5, 9, 5, 7)
                                << QStringLiteral("  01/05/2007  09:05:07");
        QTest::newRow("midnight") << at(2006, 12, 31, 0, 0, 0)
                                  << QStringLiteral("  12/31/2006  00:00:00");
    }
    void clockCaptionLayout()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, rest);
        const QString day = QLocale::system().dayName(when.date().dayOfWeek(), QLocale::LongFormat);
        QCOMPARE(clockCaption(when), day + rest);

        SensorRig rig(when.addMSecs(-100));
        QSignalSpy caption(&rig.monitor, &SilenceMonitor::clockTextChanged);
        rig.clock.advance(0.1);
        QCOMPARE(caption.count(), 1);
        QCOMPARE(caption.first().at(0).toString(), day + rest);
    }

    void startsAndStopsOnTheExactSecond()
    {
        SensorRig rig(at(2006, 6, 15, 14, 0, 0));
        rig.monitor.setAlarmDelay(60);
        rig.state.DayEnabled[kThursday] = 1;
        rig.state.DayStartSecs[kThursday] = secs(14, 0, 5);
        rig.state.DayStopSecs[kThursday] = secs(14, 0, 10);

        rig.run(4.9, false);
        QVERIFY(!rig.state.SensorRunning); // the clock is cut, not rounded
        rig.run(0.1, false);
        QVERIFY(rig.state.SensorRunning);
        rig.run(4.9, false);
        QVERIFY(rig.state.SensorRunning);
        rig.run(0.1, false);
        QVERIFY(!rig.state.SensorRunning);
        rig.run(5.0, false);
        QCOMPARE(rig.audio.startCalls(), 1);
        QCOMPARE(rig.audio.stopCalls(), 1);
        QCOMPARE(rig.logLines(), (QStringList{QStringLiteral("14:00:05 Timed Start Sensor"),
                                              QStringLiteral("14:00:10 Timed Stop Sensor")}));
    }

    void startEqualToStopGivesPairs()
    {
        SensorRig rig(at(2006, 6, 15, 14, 0, 0));
        rig.state.DayEnabled[kThursday] = 1;
        rig.state.DayStartSecs[kThursday] = secs(14, 0, 5);
        rig.state.DayStopSecs[kThursday] = secs(14, 0, 5);
        rig.run(10.0, false);
        const QStringList lines = rig.logLines();
        QCOMPARE(lines.size(), 20);
        for (int i = 0; i < lines.size(); ++i)
            QCOMPARE(lines.at(i), QStringLiteral("14:00:05 ") + (i % 2 ? kTimedStop : kTimedStart));
        QVERIFY(!rig.state.SensorRunning);
        QCOMPARE(rig.audio.startCalls(), 10);
    }

    void dayNotEnabledDoesNothing_data()
    {
        QTest::addColumn<int>("enabled");
        QTest::newRow("disabled") << 0;
        QTest::newRow("2 is not enabled") << 2;
        QTest::newRow("-1 is not enabled") << -1;
    }
    void dayNotEnabledDoesNothing()
    {
        QFETCH(int, enabled);
        SensorRig rig(at(2006, 6, 15, 14, 0, 0));
        rig.state.DayEnabled[kThursday] = qint16(enabled);
        rig.state.DayStartSecs[kThursday] = secs(14, 0, 2);
        rig.state.DayStopSecs[kThursday] = secs(14, 0, 8);
        rig.run(5.0, false);
        QVERIFY(!rig.state.SensorRunning);
        rig.monitor.StartSensor(); // by hand; the stop second must not undo it
        rig.run(5.0, false);
        QVERIFY(rig.state.SensorRunning);
        QCOMPARE(rig.count(kTimedStart), 0);
        QCOMPARE(rig.count(kTimedStop), 0);
    }

    void manualStopInsideTheWindowStays()
    {
        SensorRig rig(at(2006, 6, 15, 14, 0, 0));
        rig.state.DayEnabled[kThursday] = 1;
        rig.state.DayStartSecs[kThursday] = secs(14, 0, 1);
        rig.state.DayStopSecs[kThursday] = secs(15, 0, 0);
        rig.run(2.0, false);
        QVERIFY(rig.state.SensorRunning);
        rig.monitor.stopClicked();
        rig.run(5.0, false);
        QVERIFY(!rig.state.SensorRunning);
    }

    void startedInsideTheWindowStaysOff()
    {
        SensorRig rig(at(2006, 6, 15, 14, 0, 0));
        rig.state.DayEnabled[kThursday] = 1;
        rig.state.DayStartSecs[kThursday] = secs(13, 0, 0);
        rig.state.DayStopSecs[kThursday] = secs(15, 0, 0);
        rig.run(10.0, false);
        QVERIFY(!rig.state.SensorRunning);
        QVERIFY(rig.logLines().isEmpty());
    }

    void windowPastMidnightNeedsTheNextWeekday_data()
    {
        QTest::addColumn<int>("fridayEnabled");
        QTest::addColumn<bool>("stopped");
        QTest::newRow("Friday enabled") << 1 << true;
        QTest::newRow("Friday not enabled") << 0 << false;
    }
    void windowPastMidnightNeedsTheNextWeekday()
    {
        QFETCH(int, fridayEnabled);
        QFETCH(bool, stopped);
        SensorRig rig(at(2006, 6, 15, 23, 59, 50));
        rig.monitor.setAlarmDelay(3600);
        rig.state.DayEnabled[kThursday] = 1;
        rig.state.DayStartSecs[kThursday] = secs(23, 59, 55);
        rig.state.DayStopSecs[kThursday] = secs(0, 0, 10); // this morning's stop, long past
        rig.state.DayEnabled[kFriday] = qint16(fridayEnabled);
        rig.state.DayStartSecs[kFriday] = secs(23, 59, 55);
        rig.state.DayStopSecs[kFriday] = secs(0, 0, 10);

        rig.run(20.0, true);
        QCOMPARE(int(rig.state.DayOfWeek), int(kFriday));
        rig.run(5.0, true);
        QCOMPARE(rig.state.SensorRunning, !stopped);
        QCOMPARE(rig.logLines(QDate(2006, 6, 15)),
                 QStringList{QStringLiteral("23:59:55 Timed Start Sensor")});
        QCOMPARE(rig.logLines(QDate(2006, 6, 16)),
                 stopped ? QStringList{QStringLiteral("00:00:10 Timed Stop Sensor")}
                         : QStringList{});
    }

    void failingStartTriesEveryTickOfTheSecond()
    {
        SensorRig rig(at(2006, 6, 15, 14, 0, 0));
        rig.audio.failNextStarts(1000, QStringLiteral("Device or resource busy"));
        QSignalSpy errors(&rig.errors, &ErrorReporter::reported);
        rig.state.DayEnabled[kThursday] = 1;
        rig.state.DayStartSecs[kThursday] = secs(14, 0, 5);
        rig.state.DayStopSecs[kThursday] = secs(14, 0, 8);
        rig.run(10.0, false);

        QCOMPARE(rig.audio.startCalls(), 50);
        QCOMPARE(errors.count(), 50);
        QVERIFY(!rig.state.SensorRunning);
        QStringList expected;
        for (int tick = 0; tick < 10; ++tick)
            expected << QStringLiteral("14:00:05 Loop error in Start")
                     << QStringLiteral("14:00:05 Timed Start Sensor");
        QCOMPARE(rig.logLines(), expected);
    }

    void slotZeroIsNeverUsed()
    {
        SensorRig rig(at(2006, 6, 11, 14, 0, 0)); // a Sunday
        rig.state.DayEnabled[0] = 1;
        rig.state.DayStartSecs[0] = secs(14, 0, 1);
        rig.run(3.0, false);
        QCOMPARE(int(rig.state.DayOfWeek), 1);
        QVERIFY(!rig.state.SensorRunning);
    }
};

QTEST_GUILESS_MAIN(TestWeeklySchedule)
#include "tst_weeklyschedule.moc"
