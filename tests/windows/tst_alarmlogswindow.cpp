#include "AlarmLogsWindow.h"

#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

// The alarm log viewer as the operator uses it: pick a day, read it by time or by
// event, go back to the list; while the monitor keeps appending to today's log.
class TstAlarmLogsWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    DataPaths paths() const { return DataPaths(m_dir.path()); }
    QString logPath(const QString& name) const
    {
        return paths().logsDir() + QLatin1Char('/') + name;
    }
    void writeLog(const QString& name, const QByteArray& bytes)
    {
        QFile file(logPath(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

    template <typename T> static T* child(QWidget& window, const char* name)
    {
        T* found = window.findChild<T*>(QString::fromLatin1(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    static QStringList texts(QListWidget* list)
    {
        QStringList out;
        for (int i = 0; i < list->count(); ++i)
            out.append(list->item(i)->text());
        return out;
    }
    static QStringList shown(QWidget& window)
    {
        return texts(child<QListWidget>(window, "lstActivityLog"));
    }
    static void ok(QWidget& window)
    {
        QTest::mouseClick(child<QPushButton>(window, "cmdOk"), Qt::LeftButton);
    }
    static bool reading(QWidget& window)
    {
        return !child<QListWidget>(window, "lstActivityLog")->isHidden();
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(paths().logsDir()).removeRecursively();
        QVERIFY(QDir().mkpath(paths().logsDir()));
    }

    void opensOnTheNewestDayByTime()
    {
        writeLog(QStringLiteral("AL060712.log"), "07:00:00 Timed Start Sensor\r\n");
        writeLog(QStringLiteral("AL060713.log"), "07:00:00 Timed Start Sensor\r\n");
        AlarmLogsWindow window(paths());
        QCOMPARE(window.objectName(), QStringLiteral("frmAlarmLogs"));
        QCOMPARE(window.windowTitle(), QStringLiteral("Load Alarm Log"));
        auto* lstDate = child<QListWidget>(window, "lstDate");
        QCOMPARE(texts(lstDate), (QStringList{"07/13/06", "07/12/06"}));
        QCOMPARE(lstDate->currentRow(), 0);
        QVERIFY(lstDate->currentItem()->isSelected());
        QVERIFY(child<QRadioButton>(window, "Option1")->isChecked());
        QVERIFY(!child<QRadioButton>(window, "Option2")->isChecked());
        QVERIFY(!reading(window));
        QVERIFY(!lstDate->isHidden());
        QVERIFY(!child<QPushButton>(window, "cmdOk")->isHidden());
    }

    void controlsAndCaptions()
    {
        AlarmLogsWindow window(paths());
        QCOMPARE(child<QRadioButton>(window, "Option1")->text(), QStringLiteral("By Time"));
        QCOMPARE(child<QRadioButton>(window, "Option2")->text(), QStringLiteral("By Event"));
        QCOMPARE(child<QPushButton>(window, "cmdOk")->text(), QStringLiteral("&Ok"));
        QCOMPARE(child<QPushButton>(window, "cmdClose")->text(), QStringLiteral("&Close"));
        QVERIFY(child<QListWidget>(window, "lstSort")->isHidden());
        QVERIFY(child<QListWidget>(window, "File1")->isHidden());
        QVERIFY(QFontInfo(child<QListWidget>(window, "lstActivityLog")->font()).fixedPitch());
        QVERIFY(!window.isModal());
    }

    void fileListHoldsTheLogNamesAscending()
    {
        writeLog(QStringLiteral("AL060713.log"), "x\r\n");
        writeLog(QStringLiteral("AL060712.log"), "x\r\n");
        writeLog(QStringLiteral(".ALhidden"), "x\r\n");
        writeLog(QStringLiteral(".AL060714.log"), "x\r\n");
        AlarmLogsWindow window(paths());
        QCOMPARE(texts(child<QListWidget>(window, "File1")),
                 (QStringList{"AL060712.log", "AL060713.log"}));
        QCOMPARE(texts(child<QListWidget>(window, "lstDate")),
                 (QStringList{"07/13/06", "07/12/06"}));
    }

    void byTimeShowsTheLinesAsStored()
    {
        writeLog(QStringLiteral("AL060712.log"), "08:00:00 Manual Start Sensor\r\n"
                                                 "\r\n"
                                                 "14:03:27 Alarm                \r\n"
                                                 "14:03:27 Email--> caf\xe9@example.org\r\n"
                                                 "\r\n"
                                                 "14:05:02 Alarm End            \r\n");
        AlarmLogsWindow window(paths());
        ok(window);
        QVERIFY(reading(window));
        QCOMPARE(shown(window), (QStringList{
                                    QStringLiteral("08:00:00 Manual Start Sensor"),
                                    QString(),
                                    QStringLiteral("14:03:27 Alarm                "),
                                    QStringLiteral(u"14:03:27 Email--> caf\u00e9@example.org"),
                                    QString(),
                                    QStringLiteral("14:05:02 Alarm End            "),
                                }));
        QVERIFY(child<QListWidget>(window, "lstDate")->isHidden());
        QVERIFY(child<QRadioButton>(window, "Option1")->isHidden());
        QVERIFY(child<QRadioButton>(window, "Option2")->isHidden());
        QVERIFY(!child<QPushButton>(window, "cmdOk")->isHidden());
        QVERIFY(child<QListWidget>(window, "lstSort")->count() == 0);
    }

    void byEventSortsByEventText()
    {
        writeLog(QStringLiteral("AL060712.log"), "08:15:02 Timed Start Sensor\r\n"
                                                 "14:03:27 alarm\r\n"
                                                 "12:00:00\r\n"
                                                 "14:05:02 Alarm End\r\n");
        AlarmLogsWindow window(paths());
        child<QRadioButton>(window, "Option2")->setChecked(true);
        QVERIFY(!child<QRadioButton>(window, "Option1")->isChecked());
        ok(window);
        const QStringList expected = {QStringLiteral(" 12:00:00"), QStringLiteral("alarm 14:03:27"),
                                      QStringLiteral("Alarm End 14:05:02"),
                                      QStringLiteral("Timed Start Sensor 08:15:02")};
        QCOMPARE(shown(window), expected);
        QCOMPARE(texts(child<QListWidget>(window, "lstSort")), expected);
        QVERIFY(child<QListWidget>(window, "lstSort")->isHidden());
    }

    void orderInEffectIsTheOneChosenAtOk()
    {
        writeLog(QStringLiteral("AL060712.log"), "09:00:00 B\r\n10:00:00 A\r\n");
        AlarmLogsWindow window(paths());
        child<QRadioButton>(window, "Option2")->setChecked(true);
        ok(window);
        QCOMPARE(shown(window), (QStringList{"A 10:00:00", "B 09:00:00"}));
        ok(window);
        child<QRadioButton>(window, "Option1")->setChecked(true);
        ok(window);
        QCOMPARE(shown(window), (QStringList{"09:00:00 B", "10:00:00 A"}));
    }

    void emptyLogIsReportedAsMissing()
    {
        writeLog(QStringLiteral("AL060712.log"), "");
        AlarmLogsWindow window(paths());
        ok(window);
        QVERIFY(reading(window));
        QCOMPARE(shown(window), QStringList{"Log for 07/12/06 does not exist."});
    }

    void logDeletedAfterListingIsReportedAndNotCreated()
    {
        writeLog(QStringLiteral("AL060712.log"), "07:00:00 Timed Start Sensor\r\n");
        AlarmLogsWindow window(paths());
        QVERIFY(QFile::remove(logPath(QStringLiteral("AL060712.log"))));
        child<QRadioButton>(window, "Option2")->setChecked(true);
        ok(window);
        QCOMPARE(shown(window), QStringList{"Log for 07/12/06 does not exist."});
        QVERIFY(!QFile::exists(logPath(QStringLiteral("AL060712.log"))));
    }

    void nameThatIsNotADate()
    {
        writeLog(QStringLiteral("ALxyz.log"), "07:00:00 Timed Start Sensor\r\n");
        AlarmLogsWindow window(paths());
        QCOMPARE(texts(child<QListWidget>(window, "lstDate")), QStringList{"z./lo/xy"});
        ok(window);
        QCOMPARE(shown(window), QStringList{"Log for z./lo/xy does not exist."});
        ok(window);
        QVERIFY(!reading(window));
    }

    void okWhileReadingReturnsToTheSameDay()
    {
        writeLog(QStringLiteral("AL060711.log"), "07:00:00 Timed Start Sensor\r\n");
        writeLog(QStringLiteral("AL060712.log"), "07:00:00 Timed Start Sensor\r\n");
        writeLog(QStringLiteral("AL060713.log"), "07:00:00 Timed Start Sensor\r\n");
        AlarmLogsWindow window(paths());
        auto* lstDate = child<QListWidget>(window, "lstDate");
        lstDate->setCurrentRow(1);
        ok(window);
        QVERIFY(reading(window));
        ok(window);
        QVERIFY(!reading(window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Select Log"));
        QCOMPARE(lstDate->currentItem()->text(), QStringLiteral("07/12/06"));
        QVERIFY(lstDate->currentItem()->isSelected());
        QVERIFY(!lstDate->isHidden());
        QVERIFY(!child<QRadioButton>(window, "Option1")->isHidden());
        QVERIFY(!child<QRadioButton>(window, "Option2")->isHidden());
        QCOMPARE(child<QListWidget>(window, "lstActivityLog")->count(), 0);
    }

    void noLogsAtAll()
    {
        AlarmLogsWindow window(paths());
        QCOMPARE(texts(child<QListWidget>(window, "lstDate")), QStringList{"No Logs"});
        ok(window);
        QVERIFY(!reading(window));
        QCOMPARE(window.windowTitle(), QStringLiteral("Load Alarm Log"));
    }

    void noLogFolderAtAll()
    {
        QVERIFY(QDir(paths().logsDir()).removeRecursively());
        AlarmLogsWindow window(paths());
        QCOMPARE(texts(child<QListWidget>(window, "lstDate")), QStringList{"No Logs"});
        ok(window);
        QVERIFY(!reading(window));
    }

    void doubleClickOnADayIsOk()
    {
        writeLog(QStringLiteral("AL060712.log"), "07:00:00 Timed Start Sensor\r\n");
        writeLog(QStringLiteral("AL060713.log"), "08:00:00 Timed Start Sensor\r\n");
        AlarmLogsWindow window(paths());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* lstDate = child<QListWidget>(window, "lstDate");
        const QPoint second = lstDate->visualItemRect(lstDate->item(1)).center();
        QTest::mouseClick(lstDate->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(lstDate->viewport(), Qt::LeftButton, {}, second);
        QVERIFY(reading(window));
        QCOMPARE(shown(window), QStringList{"07:00:00 Timed Start Sensor"});
    }

    void doubleClickOnNoLogsDoesNothing()
    {
        AlarmLogsWindow window(paths());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        auto* lstDate = child<QListWidget>(window, "lstDate");
        const QPoint first = lstDate->visualItemRect(lstDate->item(0)).center();
        QTest::mouseDClick(lstDate->viewport(), Qt::LeftButton, {}, first);
        QVERIFY(!reading(window));
    }

    void closeButtonClosesTheWindow()
    {
        AlarmLogsWindow window(paths());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(child<QPushButton>(window, "cmdClose"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void eachReadingShowsTheLinesPresentWhenItRan()
    {
        // The monitor keeps today's log open for appending while the operator reads it.
        const QString today = logPath(QStringLiteral("AL060712.log"));
        QFile writer(today);
        QVERIFY(writer.open(QIODevice::WriteOnly | QIODevice::Append));
        const QByteArray first = "07:00:00 Timed Start Sensor\r\n14:03:27 Alarm\r\n";
        QCOMPARE(writer.write(first), first.size());
        QVERIFY(writer.flush());

        AlarmLogsWindow window(paths());
        ok(window);
        QCOMPARE(shown(window), (QStringList{"07:00:00 Timed Start Sensor", "14:03:27 Alarm"}));

        // While the first reading is on screen, the writer appends and is not held up.
        const QByteArray second = "14:05:02 Alarm End\r\n";
        QCOMPARE(writer.write(second), second.size());
        QVERIFY(writer.flush());
        QCOMPARE(shown(window).size(), 2);

        // Another process appends too, as a second writer would.
        QProcess other;
        other.start(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"),
                     QStringLiteral("printf '18:00:00 Timed Stop Sensor\\r\\n' >> \"$1\""),
                     QStringLiteral("sh"), today});
        QVERIFY(other.waitForFinished(30000));
        QCOMPARE(other.exitStatus(), QProcess::NormalExit);
        QCOMPARE(other.exitCode(), 0);

        ok(window); // back to the list
        ok(window); // and read again
        QCOMPARE(shown(window), (QStringList{"07:00:00 Timed Start Sensor", "14:03:27 Alarm",
                                             "14:05:02 Alarm End", "18:00:00 Timed Stop Sensor"}));

        // The viewer holds nothing open: the writer goes on.
        const QByteArray third = "19:00:00 Manual Start Sensor\r\n";
        QCOMPARE(writer.write(third), third.size());
        QVERIFY(writer.flush());
        writer.close();
        QFile check(today);
        QVERIFY(check.open(QIODevice::ReadOnly));
        QCOMPARE(check.readAll(),
                 first + second + QByteArray("18:00:00 Timed Stop Sensor\r\n") + third);
    }
};

QTEST_MAIN(TstAlarmLogsWindow)
#include "tst_alarmlogswindow.moc"
