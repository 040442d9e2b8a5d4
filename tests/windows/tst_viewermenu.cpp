#include "AboutWindow.h"
#include "AlarmLogsWindow.h"
#include "AppState.h"
#include "Clock.h"
#include "FakeAudioInput.h"
#include "FakeSerialPort.h"
#include "MainWindow.h"
#include "RecordingMailTransport.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

// "Alarm Logs" and "About" in the main menu: each opens its window once and brings it
// back to the front when asked again.
class TstViewerMenu : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    AppState m_state;
    ManualClock m_clock{QDateTime(QDate(2006, 7, 13), QTime(9, 0))};
    test::FakeAudioInput m_audio;
    test::FakeSerialPort m_serial;
    test::RecordingMailTransport m_mail;
    std::unique_ptr<MainWindow> m_window;

    QAction* item(const char* name) const
    {
        return m_window->findChild<QAction*>(QString::fromLatin1(name));
    }
    template <typename T> QList<T*> open() const { return m_window->findChildren<T*>(); }
    void writeLog(const QString& name)
    {
        QFile file(DataPaths(m_dir.path()).logsDir() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("07:00:00 Timed Start Sensor\r\n");
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_window = std::make_unique<MainWindow>(
            m_state, Services{m_clock, m_audio, m_serial, m_mail, DataPaths(m_dir.path()),
                              [] { return std::make_unique<test::FakeAudioInput>(); }});
    }
    void cleanup()
    {
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void itemsAreEnabled()
    {
        QVERIFY(item("mnuAlarmLogs")->isEnabled());
        QCOMPARE(item("mnuAlarmLogs")->text(), QStringLiteral("Alarm Logs"));
        QVERIFY(item("mnuAbout")->isEnabled());
        QCOMPARE(item("mnuAbout")->text(), QStringLiteral("About"));
    }

    void alarmLogsOpensOnce()
    {
        item("mnuAlarmLogs")->trigger();
        QCOMPARE(open<AlarmLogsWindow>().size(), 1);
        AlarmLogsWindow* viewer = open<AlarmLogsWindow>().first();
        QVERIFY(viewer->isVisible());
        QVERIFY(!viewer->isModal());

        viewer->hide(); // e.g. minimised or behind other windows
        item("mnuAlarmLogs")->trigger();
        QCOMPARE(open<AlarmLogsWindow>().size(), 1);
        QCOMPARE(open<AlarmLogsWindow>().first(), viewer);
        QVERIFY(viewer->isVisible());
    }

    void alarmLogsListsAfreshWhenOpenedAgain()
    {
        writeLog(QStringLiteral("AL060712.log"));
        item("mnuAlarmLogs")->trigger();
        AlarmLogsWindow* viewer = open<AlarmLogsWindow>().first();
        QCOMPARE(viewer->findChild<QListWidget*>(QStringLiteral("lstDate"))->count(), 1);
        viewer->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(open<AlarmLogsWindow>().size(), 0);

        writeLog(QStringLiteral("AL060713.log"));
        item("mnuAlarmLogs")->trigger();
        QCOMPARE(open<AlarmLogsWindow>().size(), 1);
        auto* lstDate =
            open<AlarmLogsWindow>().first()->findChild<QListWidget*>(QStringLiteral("lstDate"));
        QCOMPARE(lstDate->count(), 2);
        QCOMPARE(lstDate->item(0)->text(), QStringLiteral("07/13/06"));
    }

    void aboutOpensOnce()
    {
        item("mnuAbout")->trigger();
        item("mnuAbout")->trigger();
        QCOMPARE(open<AboutWindow>().size(), 1);
        AboutWindow* about = open<AboutWindow>().first();
        QVERIFY(about->isVisible());
        QVERIFY(!about->isModal());
        about->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(open<AboutWindow>().size(), 0);
        item("mnuAbout")->trigger();
        QCOMPARE(open<AboutWindow>().size(), 1);
    }
};

QTEST_MAIN(TstViewerMenu)
#include "tst_viewermenu.moc"
