#include "SensorRig.h"
#include "WeeklySchedule.h"

#include <QLocale>
#include <QTest>

using namespace dovrane;
using namespace dovrane::test;

namespace {

constexpr qint16 kThursday = 5;
constexpr qint16 kFriday = 6;

const QString kTimedStart = QStringLiteral("Timed Start Sensor");
const QString kTimedStop = QStringLiteral("Timed Stop Sensor");

/// A rig at 14:00:00 on Thursday 15 June 2006 (unless told otherwise) with one
/// weekday's entry set.
std::unique_ptr<SensorRig> scheduled(int enabled, QTime start, QTime stop,
                                     const QDateTime& when = at(2006, 6, 15, 14, 0, 0),
                                     qint16 day = kThursday)
{
    auto rig = std::make_unique<SensorRig>(when);
    rig->state.DayEnabled[day] = qint16(enabled);
    rig->state.DayStartSecs[day] = start.msecsSinceStartOfDay() / 1000;
    rig->state.DayStopSecs[day] = stop.msecsSinceStartOfDay() / 1000;
    return rig;
}

} // namespace

/// The clock caption, the weekday and the scheduled start and stop seconds.
class TestWeeklySchedule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clockCaptionAndWeekday_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("rest");
        QTest::addColumn<int>("weekday");
        QTest::newRow("Thursday afternoon")
            << at(2006, 6, 15, 14, 3, 27) << QStringLiteral("  06/15/2006  14:03:27") << 5;
        QTest::newRow("Friday, padded")
            << at(2007, 1, 5, 9, 5, 7) << QStringLiteral("  01/05/2007  09:05:07") << 6;
        QTest::newRow("Sunday midnight")
            << at(2006, 12, 31, 0, 0, 0) << QStringLiteral("  12/31/2006  00:00:00") << 1;
        QTest::newRow("Saturday") << at(2006, 6, 17, 10, 0, 0)
                                  << QStringLiteral("  06/17/2006  10:00:00") << 7;
    }
    void clockCaptionAndWeekday()
    {
        QFETCH(QDateTime, when);
        QFETCH(QString, rest);
        QFETCH(int, weekday);
        const QString day = QLocale::system().dayName(when.date().dayOfWeek(), QLocale::LongFormat);
        QCOMPARE(clockCaption(when), day + rest);

        SensorRig rig(when.addMSecs(-100));
        QSignalSpy caption(&rig.monitor, &SilenceMonitor::clockTextChanged);
        rig.clock.advance(0.1);
        QCOMPARE(caption.count(), 1);
        QCOMPARE(caption.first().at(0).toString(), day + rest);
        QCOMPARE(int(rig.state.DayOfWeek), weekday);
    }

    /// One weekday's entry, then a script of seconds to run (with silence and no alarm)
    /// and "start" (StartSensor) or "stop" (the Stop button); the log and the state after.
    void schedule_data()
    {
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("enabled");
        QTest::addColumn<QTime>("start");
        QTest::addColumn<QTime>("stop");
        QTest::addColumn<QString>("script");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("running");
        const QDateTime thursday = at(2006, 6, 15, 14, 0, 0);
        // The clock is cut, not rounded: a rounded one would act half a second early.
        QTest::newRow("exact seconds")
            << thursday << 5 << 1 << QTime(14, 0, 5) << QTime(14, 0, 10) << "15"
            << QStringList{"14:00:05 " + kTimedStart, "14:00:10 " + kTimedStop} << false;
        QStringList pairs;
        for (int i = 0; i < 10; ++i)
            pairs << "14:00:05 " + kTimedStart << "14:00:05 " + kTimedStop;
        QTest::newRow("start equal to stop gives pairs")
            << thursday << 5 << 1 << QTime(14, 0, 5) << QTime(14, 0, 5) << "10" << pairs << false;
        QTest::newRow("not enabled") << thursday << 5 << 0 << QTime(14, 0, 2) << QTime(14, 0, 8)
                                     << "10" << QStringList{} << false;
        QTest::newRow("2 is not enabled: a start by hand stays")
            << thursday << 5 << 2 << QTime(14, 0, 2) << QTime(14, 0, 8) << "start 10"
            << QStringList{} << true;
        QTest::newRow("started inside the window stays off")
            << thursday << 5 << 1 << QTime(13, 0) << QTime(15, 0) << "10" << QStringList{} << false;
        QTest::newRow("stopped by hand inside the window stays off")
            << thursday << 5 << 1 << QTime(14, 0, 1) << QTime(15, 0) << "2 stop 5"
            << QStringList{"14:00:01 " + kTimedStart, QStringLiteral("14:00:02 Manual Stop Sensor")}
            << false;
        QTest::newRow("slot 0 is never used")
            << at(2006, 6, 11, 14, 0, 0) << 0 << 1 << QTime(14, 0, 1) << QTime(14, 0, 2) << "3"
            << QStringList{} << false;
    }
    void schedule()
    {
        QFETCH(QDateTime, when);
        QFETCH(int, day);
        QFETCH(int, enabled);
        QFETCH(QTime, start);
        QFETCH(QTime, stop);
        QFETCH(QString, script);
        QFETCH(QStringList, log);
        QFETCH(bool, running);
        auto rig = scheduled(enabled, start, stop, when, qint16(day));
        rig->monitor.setAlarmDelay(3600);
        for (const QString& step : script.split(QLatin1Char(' '))) {
            if (step == QLatin1String("start"))
                rig->monitor.StartSensor();
            else if (step == QLatin1String("stop"))
                rig->monitor.stopClicked();
            else
                rig->run(step.toDouble(), false);
        }
        QCOMPARE(rig->logLines(), log);
        QCOMPARE(rig->state.SensorRunning, running);
    }

    void windowPastMidnightNeedsTheNextWeekday_data()
    {
        QTest::addColumn<int>("fridayEnabled");
        QTest::newRow("Friday enabled") << 1;
        QTest::newRow("Friday not enabled") << 0;
    }
    void windowPastMidnightNeedsTheNextWeekday()
    {
        QFETCH(int, fridayEnabled);
        // Thursday's stop at 00:00:10 was this morning's, long past.
        auto rig = scheduled(1, QTime(23, 59, 55), QTime(0, 0, 10), at(2006, 6, 15, 23, 59, 50));
        rig->monitor.setAlarmDelay(3600);
        rig->state.DayEnabled[kFriday] = qint16(fridayEnabled);
        rig->state.DayStartSecs[kFriday] = rig->state.DayStartSecs[kThursday];
        rig->state.DayStopSecs[kFriday] = rig->state.DayStopSecs[kThursday];

        rig->run(20.0, true);
        QCOMPARE(int(rig->state.DayOfWeek), int(kFriday));
        rig->run(5.0, true);
        QCOMPARE(rig->state.SensorRunning, !fridayEnabled);
        QCOMPARE(rig->logLines(QDate(2006, 6, 15)),
                 QStringList{QStringLiteral("23:59:55 Timed Start Sensor")});
        QCOMPARE(rig->logLines(QDate(2006, 6, 16)),
                 fridayEnabled ? QStringList{QStringLiteral("00:00:10 Timed Stop Sensor")}
                               : QStringList{});
    }

    void failingStartTriesEveryTickOfTheSecond()
    {
        auto rig = scheduled(1, QTime(14, 0, 5), QTime(14, 0, 8));
        rig->audio.failNextStarts(1000, QStringLiteral("Device or resource busy"));
        QSignalSpy errors(&rig->errors, &ErrorReporter::reported);
        rig->run(10.0, false);
        QCOMPARE(rig->audio.startCalls(), 50);
        QCOMPARE(errors.count(), 50);
        QVERIFY(!rig->state.SensorRunning);
        QStringList expected;
        for (int tick = 0; tick < 10; ++tick)
            expected << QStringLiteral("14:00:05 Loop error in Start")
                     << QStringLiteral("14:00:05 ") + kTimedStart;
        QCOMPARE(rig->logLines(), expected);
    }
};

QTEST_GUILESS_MAIN(TestWeeklySchedule)
#include "tst_weeklyschedule.moc"
