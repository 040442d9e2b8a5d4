#include "MainWindowRig.h"

#include <QLabel>
#include <QTest>

using namespace dovrane;
using namespace dovrane::test;

/// The pager as the main window wires it: the profile the loader read, Label3 and
/// tmrHangUp. (The menu items are swept in the viewer menu test.)
class TestPagerWiring : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void label3FollowsTheCallSequence()
    {
        MainWindowRig rig(QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0)));
        rig.writeFile(rig.paths.callListFile(), "1Alice          5551001                 ");
        rig.writeFile(rig.paths.connectionFile(), " 2 \r\n9600\r\n");
        MainWindow& window = rig.open();
        rig.serial.autoReply = "OK\r\n";
        auto* label3 = rig.find<QLabel>("Label3");
        auto* timer = rig.find<ClockTimer>("tmrHangUp");
        QVERIFY(label3 && timer);
        QVERIFY(!timer->isActive());
        QVERIFY(label3->text().isEmpty());

        window.StartCallSequence();
        QCOMPARE(rig.serial.portNumber(), 2);
        QCOMPARE(label3->text(), QStringLiteral("Dialing 5551001                 "));
        QVERIFY(timer->isActive());
        rig.clock.advance(25.0);
        QVERIFY(label3->text().isEmpty());
        QVERIFY(!rig.serial.isOpen());
        QVERIFY(rig.serial.written.endsWith("+++,H"));
    }
};

QTEST_MAIN(TestPagerWiring)
#include "tst_pagerwiring.moc"
