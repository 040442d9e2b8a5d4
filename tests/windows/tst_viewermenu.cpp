#include "AlarmLogsWindow.h"
#include "MainWindowRig.h"

#include <QAction>
#include <QFile>
#include <QListWidget>
#include <QTest>

using namespace dovrane;

// The main menu's window items: each opens its window once, modeless, and brings it
// back when asked again.
class TstViewerMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::MainWindowRig> m_rig;
    MainWindow* m_window = nullptr;

    void trigger(const QString& item) { m_window->findChild<QAction*>(item)->trigger(); }
    QList<QWidget*> open(const QString& name) const
    {
        return m_window->findChildren<QWidget*>(name);
    }
    static void dropClosed()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

private Q_SLOTS:
    void init()
    {
        m_rig = std::make_unique<test::MainWindowRig>(QDateTime(QDate(2006, 7, 13), QTime(9, 0)));
        m_window = &m_rig->open();
    }
    void cleanup()
    {
        m_rig.reset();
        dropClosed();
    }

    void opensOnce_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("window");
        for (const char* window : {"CallList", "MyConnection", "AlarmLogs", "About"})
            QTest::newRow(window) << QStringLiteral("mnu%1").arg(window)
                                  << QStringLiteral("frm%1").arg(window);
    }
    void opensOnce()
    {
        QFETCH(QString, item);
        QFETCH(QString, window);
        trigger(item);
        QCOMPARE(open(window).size(), 1);
        QWidget* shown = open(window).first();
        QVERIFY(shown->isVisible() && shown->isWindow() && !shown->isModal());
        shown->hide(); // e.g. minimised or behind other windows
        trigger(item);
        QCOMPARE(open(window), QList<QWidget*>{shown});
        QVERIFY(shown->isVisible());
    }

    void closedViewerListsAfreshWhenOpenedAgain()
    {
        for (const char* name : {"AL060712.log", "AL060713.log"}) {
            QFile file(m_rig->paths.logsDir() + '/' + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("07:00:00 Timed Start Sensor\r\n");
            file.close();
            trigger(QStringLiteral("mnuAlarmLogs"));
            QCOMPARE(open(QStringLiteral("frmAlarmLogs")).size(), 1);
            auto* lstDate = open(QStringLiteral("frmAlarmLogs"))
                                .first()
                                ->findChild<QListWidget*>(QStringLiteral("lstDate"));
            QCOMPARE(lstDate->item(0)->text(), AlarmLogReader::entryFor(QString::fromLatin1(name)));
            open(QStringLiteral("frmAlarmLogs")).first()->close();
            dropClosed();
            QCOMPARE(open(QStringLiteral("frmAlarmLogs")).size(), 0);
        }
    }
};

QTEST_MAIN(TstViewerMenu)
#include "tst_viewermenu.moc"
