#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "FakeAudioInput.h"
#include "FakeSerialPort.h"
#include "MainWindow.h"
#include "RecordingMailTransport.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
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
        QTemporaryDir dir;
        AppState state;
        ManualClock clock{QDateTime(QDate(2024, 3, 5), QTime(9, 0, 0))};
        FakeAudioInput audio;
        FakeSerialPort serial;
        RecordingMailTransport mail;
        DataPaths paths{dir.filePath(QStringLiteral("Dovrane"))};
        QDir().mkpath(paths.dataDir());
        for (const auto& [name, bytes] :
             {std::pair{paths.callListFile(),
                        QByteArray("1Alice          5551001                 ")},
              std::pair{paths.connectionFile(), QByteArray(" 2 \r\n9600\r\n")}}) {
            QFile f(name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        MainWindow window(state, Services{clock, audio, serial, mail, paths,
                                          [] { return std::make_unique<FakeAudioInput>(); }});
        serial.autoReply = "OK\r\n";
        auto* label3 = window.findChild<QLabel*>(QStringLiteral("Label3"));
        auto* timer = window.findChild<ClockTimer*>(QStringLiteral("tmrHangUp"));
        QVERIFY(label3 && timer);
        QVERIFY(!timer->isActive());
        QVERIFY(label3->text().isEmpty());

        window.StartCallSequence();
        QCOMPARE(serial.portNumber(), 2);
        QCOMPARE(label3->text(), QStringLiteral("Dialing 5551001                 "));
        QVERIFY(timer->isActive());
        clock.advance(25.0);
        QVERIFY(label3->text().isEmpty());
        QVERIFY(!serial.isOpen());
        QVERIFY(serial.written.endsWith("+++,H"));
    }
};

QTEST_MAIN(TestPagerWiring)
#include "tst_pagerwiring.moc"
