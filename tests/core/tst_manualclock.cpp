#include "Clock.h"

#include <QTest>

using namespace dovrane;

/// The stepped clock the logic tests rely on: timers fire in time order with the
/// clock set to their due time, and stopping a timer from a handler sticks.
class TestManualClock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void timersFireAtTheirDueTimesAcrossMidnight()
    {
        ManualClock clock(QDateTime(QDate(2026, 12, 6), QTime(23, 59, 59, 800)));
        QObject owner;
        ClockTimer* tick = clock.createTimer(&owner);
        tick->setInterval(100);
        QList<QDateTime> seen;
        QObject::connect(tick, &ClockTimer::timeout, &owner, [&] { seen.append(clock.now()); });
        tick->start();
        clock.advance(0.35);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen.at(0).time(), QTime(23, 59, 59, 900));
        QCOMPARE(seen.at(1), QDateTime(QDate(2026, 12, 7), QTime(0, 0)));
        QCOMPARE(clock.secondsAfterMidnight(), 0.15);
        QCOMPARE(clock.today(), QDate(2026, 12, 7));
    }

    void stopFromHandlerAndInterleaving()
    {
        ManualClock clock(QDateTime(QDate(2026, 1, 1), QTime(12, 0)));
        QObject owner;
        ClockTimer* fast = clock.createTimer(&owner);
        ClockTimer* slow = clock.createTimer(&owner);
        fast->setInterval(100);
        slow->setInterval(250);
        QString order;
        QObject::connect(fast, &ClockTimer::timeout, &owner, [&] { order += u'f'; });
        QObject::connect(slow, &ClockTimer::timeout, &owner, [&] {
            order += u's';
            slow->stop();
        });
        fast->start();
        slow->start();
        clock.advance(0.5);
        QCOMPARE(order, QStringLiteral("ffsfff"));
        QVERIFY(!slow->isActive() && fast->isActive());

        delete fast; // a deleted running timer must not be touched again
        clock.advance(1.0);
        QCOMPARE(order, QStringLiteral("ffsfff"));
        QCOMPARE(clock.now().time(), QTime(12, 0, 1, 500));
    }
};

QTEST_GUILESS_MAIN(TestManualClock)
#include "tst_manualclock.moc"
