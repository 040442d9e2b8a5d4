#include "AlarmLog.h"
#include "ErrorWindow.h"
#include "LevelMeter.h"
#include "MainWindowRig.h"
#include "SilenceMonitor.h"
#include "WeeklySchedule.h"

#include <QAction>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>

using namespace dovrane;
using namespace dovrane::test;

namespace {

/// Share of the widget's pixels drawn in exactly this colour.
double shareOf(QWidget* widget, const QColor& colour)
{
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    qint64 hits = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            hits += QColor(image.pixel(x, y)) == colour ? 1 : 0;
    return double(hits) / double(qMax<qint64>(1, qint64(image.width()) * image.height()));
}

} // namespace

/// The main window as the operator meets it, on fakes for the outside world.
class TestMainWindow : public QObject
{
    Q_OBJECT

private:
    struct Rig : MainWindowRig
    {
        /// paramsFile: the bytes of DVParams.dat to start with (none when empty).
        explicit Rig(const QByteArray& paramsFile = {})
        {
            if (!paramsFile.isEmpty())
                writeFile(paths.paramsFile(), paramsFile);
            open();
        }
    };

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Every control and menu item the other parts and the operator find by name.
    void controlsAndMenuByName()
    {
        Rig rig;
        QCOMPARE(rig.window->objectName(), QStringLiteral("mnuMenu"));
        QCOMPARE(rig.window->windowTitle(), QStringLiteral("Dovrane"));
        // Name, caption pairs; the widgets without a caption of their own have none.
        const char* named[] = {"cmdStart",         "Start",
                               "cmdStop",          "Stop",
                               "cmdClose",         "Close",
                               "Label1",           nullptr,
                               "lblClock",         nullptr,
                               "Label3",           nullptr,
                               "Shape1",           nullptr,
                               "MMLevelX1",        nullptr,
                               "MMLevelX2",        nullptr,
                               "MMLevelScaleX1",   nullptr,
                               "mnuFiles",         "Files",
                               "mnuExit",          "Exit",
                               "mnuSetup",         "Setup",
                               "mnuMyAccount",     "My Account",
                               "mnuMyAddressBook", "My Addresse Book",
                               "mnuCallList",      "My Call List",
                               "mnuMyConnection",  "My Connection",
                               "mnuPreferences",   "Preferences",
                               "mnuAlarmLogs",     "Alarm Logs",
                               "mnuAbout",         "About"};
        for (std::size_t i = 0; i < std::size(named); i += 2) {
            QObject* found = rig.find<QObject>(named[i]);
            QVERIFY2(found, named[i]);
            if (auto* menu = qobject_cast<QMenu*>(found))
                QCOMPARE(menu->title(), QLatin1String(named[i + 1]));
            else if (named[i + 1])
                QCOMPARE(found->property("text").toString(), QLatin1String(named[i + 1]));
        }
    }

    void startsIdle()
    {
        Rig rig;
        rig.window->show();
        QVERIFY(!rig.state.SensorRunning);
        QVERIFY(!rig.audio.isCapturing());
        QVERIFY(rig.find<QWidget>("Shape1")->isHidden());

        // Only the clock ticks: {interval, running} of each timer.
        const auto timer = [&rig](const char* name) {
            auto* t = rig.find<ClockTimer>(name);
            return t ? std::pair{t->interval(), t->isActive()} : std::pair{-1, false};
        };
        QCOMPARE(timer("tmrClock"), std::pair(100, true));
        QCOMPARE(timer("Timer1"), std::pair(100, false));
        QCOMPARE(timer("tmrHangUp"), std::pair(25000, false));

        rig.clock.advance(0.1);
        QCOMPARE(rig.find<QLabel>("lblClock")->text(), clockCaption(rig.clock.now()));
        QVERIFY(rig.logLines().isEmpty());
    }

    void startAndStopButtons()
    {
        Rig rig;
        rig.window->show();
        auto* start = rig.find<QPushButton>("cmdStart");
        auto* stop = rig.find<QPushButton>("cmdStop");
        const QColor idle(0, 128, 0);
        const QColor monitoring(128, 255, 128);
        QVERIFY(shareOf(start, idle) > 0.4);
        QVERIFY(shareOf(stop, Qt::white) > 0.4);

        QTest::mouseClick(start, Qt::LeftButton);
        QVERIFY(rig.state.SensorRunning);
        QVERIFY(rig.find<ClockTimer>("Timer1")->isActive());
        QVERIFY(shareOf(start, monitoring) > 0.4);
        QCOMPARE(shareOf(start, idle), 0.0);
        QCOMPARE(rig.logLines(), QStringList{QStringLiteral("14:00:00 Manual Start Sensor")});
        QCOMPARE(rig.find<QLabel>("Label1")->text(), QString());
        rig.clock.advance(1.0);
        QCOMPARE(rig.find<QLabel>("Label1")->text(), QStringLiteral("00:01"));

        QTest::mouseClick(stop, Qt::LeftButton);
        QVERIFY(!rig.state.SensorRunning);
        QVERIFY(!rig.find<ClockTimer>("Timer1")->isActive());
        QVERIFY(shareOf(start, idle) > 0.4);
        QCOMPARE(rig.logLines().last(), QStringLiteral("14:00:01 Manual Stop Sensor"));
    }

    void loadParamsReachesTheAlarm()
    {
        // DVParams.dat: record 1 AlarmDelay = 2, record 7 Threshold = 500.
        Rig rig(
            QByteArray::fromHex("02000000 00000000 00000000 00000000 00000000 00000000 f4010000"));
        QCOMPARE(rig.window->alarmDelay(), qint16(2));
        QCOMPARE(rig.window->threshold(), 500);
        rig.window->show();
        auto* light = rig.find<QWidget>("Shape1");

        rig.window->StartSensor();
        rig.clock.advance(1.0);
        rig.audio.push(FakeAudioInput::constantBuffer(400, 100)); // 400|100 = 500, not above
        rig.clock.advance(2.0);
        QVERIFY(rig.state.AlarmOn);
        QVERIFY(light->isVisible());

        rig.audio.push(FakeAudioInput::toneBuffer(8000));
        rig.clock.advance(0.1);
        QVERIFY(!rig.state.AlarmOn);
        QVERIFY(!light->isVisible());

        rig.clock.advance(5.0);
        QVERIFY(rig.state.AlarmOn);
        rig.window->StopSensor();
        QVERIFY(light->isHidden());
        QVERIFY(!rig.state.AlarmOn);
    }

    void exitDuringAnAlarmEndsWithoutAlarmEnd_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Close button") << "cmdClose";
        QTest::newRow("Exit menu item") << "mnuExit";
    }
    void exitDuringAnAlarmEndsWithoutAlarmEnd()
    {
        QFETCH(QString, how);
        Rig rig(QByteArray::fromHex("02000000")); // AlarmDelay 2
        rig.window->show();
        rig.window->StartSensor();
        rig.clock.advance(3.0);
        QVERIFY(rig.state.AlarmOn);
        const QString alarm = QStringLiteral("Alarm") + QString(16, QLatin1Char(' '));
        QCOMPARE(rig.logLines(), QStringList{QStringLiteral("14:00:01 ") + alarm});

        if (how == QLatin1String("cmdClose"))
            QTest::mouseClick(rig.find<QPushButton>("cmdClose"), Qt::LeftButton);
        else
            rig.find<QAction>("mnuExit")->trigger();
        QVERIFY(!rig.window->isVisible());

        // Sound right after the close: a tick that still ran would end the alarm.
        for (ClockTimer* timer : rig.window->findChildren<ClockTimer*>())
            QVERIFY2(!timer->isActive(), qPrintable(timer->objectName()));
        rig.audio.push(FakeAudioInput::toneBuffer(8000));
        rig.clock.advance(30.0);
        QCOMPARE(rig.logLines(), QStringList{QStringLiteral("14:00:01 ") + alarm});
        QVERIFY(rig.state.AlarmOn);
    }

    void metersFollowTheInput()
    {
        Rig rig;
        auto* left = rig.find<LevelMeter>("MMLevelX1");
        auto* right = rig.find<LevelMeter>("MMLevelX2");
        rig.window->StartSensor();
        rig.audio.push(FakeAudioInput::constantBuffer(16384, 0));
        QVERIFY(left->levelDb() > -7.0);
        QCOMPARE(right->levelDb(), LevelMeter::kFloorDb);
        rig.window->StopSensor();
        QCOMPARE(left->levelDb(), LevelMeter::kFloorDb);
    }

    void lostCaptureIsShownToTheOperator()
    {
        Rig rig;
        rig.window->StartSensor();
        const QString why = QStringLiteral("Connection terminated; capture resumes when the sound "
                                           "server is back, or else after Dovrane is restarted");
        Q_EMIT rig.audio.captureLost(why);
        ErrorWindow* shown = rig.window->errorWindow().window();
        QVERIFY(shown && shown->isVisible());
        QCOMPARE(shown->message(), why);
        QVERIFY(rig.state.SensorRunning); // still monitoring: no buffers count as silence
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
