#include "AboutWindow.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

// The About window and its system information button, with the tool lookup and the
// program start handed in so the outcome does not depend on this machine.
class TstAboutWindow : public QObject
{
    Q_OBJECT

private:
    static void clickSysInfo(QWidget& window)
    {
        QTest::mouseClick(window.findChild<QPushButton*>("cmdSysInfo"), Qt::LeftButton);
    }

private Q_SLOTS:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void showsTitleVersionAndDescription()
    {
        AboutWindow window;
        window.show();
        QCOMPARE(window.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(window.windowTitle(), QStringLiteral("About Dovrane"));
        const auto text = [&](const char* name) {
            return window.findChild<QObject*>(name)->property("text").toString();
        };
        QCOMPARE(text("lblTitle"), QStringLiteral("Dovrane"));
        QCOMPARE(text("lblVersion"), QStringLiteral("Version 2.0.6"));
        QCOMPARE(text("cmdOk"), QStringLiteral("OK"));
        QCOMPARE(text("cmdSysInfo"), QStringLiteral("&System Info..."));
        const QStringList description = text("lblDescription").split(QLatin1Char('\n'));
        QCOMPARE(description.size(), 2);
        QVERIFY(!description[0].trimmed().isEmpty() && !description[1].trimmed().isEmpty());
        QCOMPARE(window.findChild<QLabel*>("picIcon")->pixmap().size(), QSize(32, 32));
        QVERIFY(!window.isModal());
        QTest::mouseClick(window.findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void sysInfo_data()
    {
        QTest::addColumn<QStringList>("installed"); // "name=path" of the tools found
        QTest::addColumn<bool>("startWorks");
        QTest::addColumn<QString>("started");
        QTest::newRow("none installed") << QStringList{} << true << QString();
        QTest::newRow("cannot be started")
            << QStringList{"second-tool=/opt/x/second-tool"} << false << "/opt/x/second-tool";
        QTest::newRow("first found wins")
            << QStringList{"first-tool=/usr/bin/first-tool", "second-tool=/usr/bin/second-tool"}
            << true << "/usr/bin/first-tool";
    }
    void sysInfo()
    {
        QFETCH(QStringList, installed);
        QFETCH(bool, startWorks);
        QFETCH(QString, started);
        QStringList asked;
        QStringList starts;
        AboutWindow window(nullptr,
                           SystemInfoTool(
                               {QStringLiteral("first-tool"), QStringLiteral("second-tool")},
                               [&](const QString& name) {
                                   asked << name;
                                   for (const QString& entry : installed)
                                       if (entry.startsWith(name + '='))
                                           return entry.section('=', 1);
                                   return QString();
                               },
                               [&](const QString& program) {
                                   starts << program;
                                   return startWorks;
                               }));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        clickSysInfo(window);
        QCOMPARE(starts, started.isEmpty() ? QStringList{} : QStringList{started});
        if (started.isEmpty())
            QCOMPARE(asked, (QStringList{"first-tool", "second-tool"}));
        auto* box = window.findChild<QMessageBox*>();
        if (startWorks && !started.isEmpty()) {
            QVERIFY(box == nullptr);
            return;
        }
        QVERIFY(box && box->isVisible());
        QCOMPARE(box->text(), QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Dovrane"));
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QVERIFY(!box->isVisible());
        QVERIFY(window.isVisible()); // the About window stays open
    }

    void startsAToolFoundOnPath()
    {
        // A stand-in "hardinfo" on a private PATH, found and started for real.
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        QCOMPARE(SystemInfoTool().find(), QString()); // nothing there yet
        const QString marker = bin.filePath(QStringLiteral("started"));
        QFile script(bin.filePath(QStringLiteral("hardinfo")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        // Only shell built-ins: the program runs with that PATH too.
        script.write("#!/bin/sh\n: > \"" + QFile::encodeName(marker) + "\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        AboutWindow window;
        clickSysInfo(window);
        qputenv("PATH", oldPath);
        QVERIFY(window.findChild<QMessageBox*>() == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
    }
};

QTEST_MAIN(TstAboutWindow)
#include "tst_aboutwindow.moc"
