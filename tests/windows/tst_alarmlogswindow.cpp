#include "AlarmLogsWindow.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace dovrane;

// The alarm log viewer as the operator uses it: pick a day, read it by time or by
// event, go back to the list; while the monitor keeps appending to today's log.
class TstAlarmLogsWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<AlarmLogsWindow> m_window;

    DataPaths paths() const { return DataPaths(m_dir.path()); }
    QString logPath(const char* name) const { return paths().logsDir() + '/' + name; }
    void writeLog(const char* name, const QByteArray& bytes)
    {
        QFile file(logPath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }
    AlarmLogsWindow& window()
    {
        m_window = std::make_unique<AlarmLogsWindow>(paths());
        m_window->show();
        if (!QTest::qWaitForWindowExposed(m_window.get()))
            qFatal("the viewer is not shown");
        return *m_window;
    }
    template <typename T = QListWidget> T* child(const char* name)
    {
        T* found = m_window->findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QStringList texts(const char* list)
    {
        QStringList out;
        for (int i = 0; i < child(list)->count(); ++i)
            out.append(child(list)->item(i)->text());
        return out;
    }
    QStringList shown() { return texts("lstActivityLog"); }
    void ok() { QTest::mouseClick(child<QPushButton>("cmdOk"), Qt::LeftButton); }
    void byEvent() { child<QRadioButton>("Option2")->setChecked(true); }
    bool reading() { return child("lstActivityLog")->isVisible(); }
    /// The choosing view: the days and both options shown, and cmdOk in both views.
    bool choosing()
    {
        return child("lstDate")->isVisible() && child<QRadioButton>("Option1")->isVisible() &&
               child<QRadioButton>("Option2")->isVisible() &&
               child<QPushButton>("cmdOk")->isVisible() && !reading();
    }
    void doubleClickDay(int row)
    {
        const QPoint at = child("lstDate")->visualItemRect(child("lstDate")->item(row)).center();
        QTest::mouseClick(child("lstDate")->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(child("lstDate")->viewport(), Qt::LeftButton, {}, at);
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(paths().logsDir()).removeRecursively();
        QVERIFY(QDir().mkpath(paths().logsDir()));
    }
    void cleanup() { m_window.reset(); }

    void opensOnTheNewestDayByTime()
    {
        writeLog("AL060712.log", "07:00:00 Timed Start Sensor\r\n");
        writeLog("AL060713.log", "07:00:00 Timed Start Sensor\r\n");
        window();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmAlarmLogs"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Load Alarm Log"));
        QVERIFY(!m_window->isModal());
        QCOMPARE(texts("lstDate"), (QStringList{"07/13/06", "07/12/06"}));
        QCOMPARE(child("lstDate")->currentRow(), 0);
        QVERIFY(child("lstDate")->currentItem()->isSelected());
        QVERIFY(child<QRadioButton>("Option1")->isChecked());
        QVERIFY(choosing());
        QCOMPARE(child<QRadioButton>("Option1")->text(), QStringLiteral("By Time"));
        QCOMPARE(child<QRadioButton>("Option2")->text(), QStringLiteral("By Event"));
        QCOMPARE(child<QPushButton>("cmdOk")->text(), QStringLiteral("&Ok"));
        QCOMPARE(child<QPushButton>("cmdClose")->text(), QStringLiteral("&Close"));
        QVERIFY(!child("lstSort")->isVisible() && !child("File1")->isVisible());
        QVERIFY(QFontInfo(child("lstActivityLog")->font()).fixedPitch());
        QTest::mouseClick(child<QPushButton>("cmdClose"), Qt::LeftButton);
        QVERIFY(!m_window->isVisible());
    }

    void byTimeShowsTheLinesAsStored()
    {
        writeLog("AL060712.log", "08:00:00 Manual Start Sensor\r\n"
                                 "\r\n"
                                 "14:03:27 Alarm                \r\n"
                                 "14:03:27 Email--> caf\xe9@example.org\r\n"
                                 "\r\n"
                                 "14:05:02 Alarm End            \r\n");
        window();
        ok();
        QVERIFY(reading());
        QCOMPARE(shown(),
                 (QStringList{"08:00:00 Manual Start Sensor", "", "14:03:27 Alarm                ",
                              QStringLiteral(u"14:03:27 Email--> caf\u00e9@example.org"), "",
                              "14:05:02 Alarm End            "}));
        QVERIFY(!child("lstDate")->isVisible());
        QVERIFY(!child<QRadioButton>("Option1")->isVisible());
        QVERIFY(!child<QRadioButton>("Option2")->isVisible());
        QVERIFY(child<QPushButton>("cmdOk")->isVisible());
        QCOMPARE(child("lstSort")->count(), 0);
    }

    void byEventSortsByEventTextUntilByTimeIsChosen()
    {
        writeLog("AL060712.log", "08:15:02 Timed Start Sensor\r\n"
                                 "14:03:27 alarm\r\n"
                                 "12:00:00\r\n"
                                 "14:05:02 Alarm End\r\n");
        window();
        byEvent();
        QVERIFY(!child<QRadioButton>("Option1")->isChecked());
        ok();
        const QStringList expected = {" 12:00:00", "alarm 14:03:27", "Alarm End 14:05:02",
                                      "Timed Start Sensor 08:15:02"};
        QCOMPARE(shown(), expected);
        QCOMPARE(texts("lstSort"), expected);
        QVERIFY(!child("lstSort")->isVisible());
        ok(); // the order in effect is the one chosen at Ok
        child<QRadioButton>("Option1")->setChecked(true);
        ok();
        QCOMPARE(shown().first(), QStringLiteral("08:15:02 Timed Start Sensor"));
    }

    void emptyDeletedOrUndatedLogIsReportedAsMissing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("deleteAfterListing");
        QTest::addColumn<QString>("entry");
        QTest::newRow("empty") << "AL060712.log" << QByteArray() << false << "07/12/06";
        QTest::newRow("deleted") << "AL060712.log" << QByteArray("x\r\n") << true << "07/12/06";
        QTest::newRow("not a date") << "ALxyz.log" << QByteArray("x\r\n") << false << "z./lo/xy";
    }
    void emptyDeletedOrUndatedLogIsReportedAsMissing()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, deleteAfterListing);
        QFETCH(QString, entry);
        writeLog(qPrintable(name), bytes);
        window();
        if (deleteAfterListing)
            QVERIFY(QFile::remove(logPath(qPrintable(name))));
        byEvent();
        ok();
        QVERIFY(reading());
        QCOMPARE(shown(), QStringList{"Log for " + entry + " does not exist."});
        QCOMPARE(QFile::exists(logPath(qPrintable(name))), !deleteAfterListing); // none created
        ok();
        QVERIFY(choosing());
    }

    void doubleClickReadsADayAndOkReturnsToIt()
    {
        writeLog("AL060711.log", "07:00:00 Timed Start Sensor\r\n");
        writeLog("AL060712.log", "08:00:00 Timed Start Sensor\r\n");
        writeLog("AL060713.log", "09:00:00 Timed Start Sensor\r\n");
        window();
        doubleClickDay(1); // does what cmdOk does
        QVERIFY(reading());
        QCOMPARE(shown(), QStringList{"08:00:00 Timed Start Sensor"});
        ok();
        QVERIFY(choosing());
        QCOMPARE(m_window->windowTitle(), QStringLiteral("Select Log"));
        QCOMPARE(child("lstDate")->currentItem()->text(), QStringLiteral("07/12/06"));
        QVERIFY(child("lstDate")->currentItem()->isSelected());
        QCOMPARE(child("lstActivityLog")->count(), 0);
    }

    void noLogsOrNoFolderListsNoLogsAndOkDoesNothing()
    {
        for (bool folder : {true, false}) {
            if (!folder)
                QVERIFY(QDir(paths().logsDir()).removeRecursively());
            window();
            QCOMPARE(texts("lstDate"), QStringList{"No Logs"});
            ok();
            doubleClickDay(0);
            QVERIFY(choosing());
            QCOMPARE(m_window->windowTitle(), QStringLiteral("Load Alarm Log"));
        }
    }

    void eachReadingShowsTheLinesPresentWhenItRan()
    {
        // The monitor keeps today's log open for appending while the operator reads it.
        QFile writer(logPath("AL060712.log"));
        QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Append));
        QVERIFY(writer.write("07:00:00 Timed Start Sensor\r\n") > 0 && writer.flush());
        window();
        ok();
        QCOMPARE(shown(), QStringList{"07:00:00 Timed Start Sensor"});
        QVERIFY(writer.write("14:05:02 Alarm End\r\n") > 0 && writer.flush());
        QCOMPARE(shown().size(), 1);
        ok(); // back to the list
        ok(); // and read again
        QCOMPARE(shown(), (QStringList{"07:00:00 Timed Start Sensor", "14:05:02 Alarm End"}));
    }
};

QTEST_MAIN(TstAlarmLogsWindow)
#include "tst_alarmlogswindow.moc"
