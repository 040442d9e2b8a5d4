#include "AppState.h"
#include "CallListWindow.h"
#include "Clock.h"
#include "ConnectionWindow.h"
#include "DataPaths.h"
#include "FakeAudioInput.h"
#include "FakeSerialPort.h"
#include "MainWindow.h"
#include "RecordingMailTransport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;
using namespace dovrane::test;

/// The pager as the main window wires it: the menu items, Label3 and tmrHangUp.
class TestPagerWiring : public QObject
{
    Q_OBJECT

    struct Rig
    {
        QTemporaryDir dir;
        AppState state;
        ManualClock clock{QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0))};
        FakeAudioInput audio;
        FakeSerialPort serial;
        RecordingMailTransport mail;
        DataPaths paths{dir.filePath(QStringLiteral("Dovrane"))};
        std::unique_ptr<MainWindow> window;

        explicit Rig(const QByteArray& callList)
        {
            QDir().mkpath(paths.dataDir());
            QFile list(paths.callListFile());
            if (list.open(QIODevice::WriteOnly))
                list.write(callList);
            list.close();
            QFile profile(paths.connectionFile());
            if (profile.open(QIODevice::WriteOnly))
                profile.write(" 2 \r\n9600\r\n");
            profile.close();
            window = std::make_unique<MainWindow>(
                state, Services{clock, audio, serial, mail, paths,
                                [] { return std::make_unique<FakeAudioInput>(); }});
        }
        QLabel* label3() { return window->findChild<QLabel*>(QStringLiteral("Label3")); }
        QAction* action(const char* name)
        {
            return window->findChild<QAction*>(QLatin1String(name));
        }
    };

private Q_SLOTS:
    void menuOpensEachWindowOnce()
    {
        Rig rig({});
        QVERIFY(rig.action("mnuCallList")->isEnabled());
        QVERIFY(rig.action("mnuMyConnection")->isEnabled());
        rig.action("mnuCallList")->trigger();
        rig.action("mnuCallList")->trigger();
        QCOMPARE(rig.window->findChildren<CallListWindow*>().size(), 1);
        auto* callList = rig.window->findChild<CallListWindow*>();
        QCOMPARE(callList->objectName(), QStringLiteral("frmCallList"));
        QVERIFY(callList->isVisible());
        QVERIFY(callList->isWindow());

        rig.action("mnuMyConnection")->trigger();
        rig.action("mnuMyConnection")->trigger();
        QCOMPARE(rig.window->findChildren<ConnectionWindow*>().size(), 1);
        auto* connection = rig.window->findChild<ConnectionWindow*>();
        QVERIFY(connection->isVisible());
        QVERIFY(connection->isWindow());
    }

    void label3FollowsTheCallSequence()
    {
        Rig rig("1Alice          5551001                 ");
        rig.serial.autoReply = "OK\r\n";
        auto* timer = rig.window->findChild<ClockTimer*>(QStringLiteral("tmrHangUp"));
        QVERIFY(timer);
        QVERIFY(!timer->isActive());
        QVERIFY(rig.label3()->text().isEmpty());

        rig.window->StartCallSequence();
        QCOMPARE(rig.serial.portNumber(), 2);
        QCOMPARE(rig.label3()->text(), QStringLiteral("Dialing 5551001                 "));
        QVERIFY(timer->isActive());
        rig.clock.advance(25.0);
        QVERIFY(rig.label3()->text().isEmpty());
        QVERIFY(!rig.serial.isOpen());
        QVERIFY(rig.serial.written.endsWith("+++,H"));
    }
};

QTEST_MAIN(TestPagerWiring)
#include "tst_pagerwiring.moc"
