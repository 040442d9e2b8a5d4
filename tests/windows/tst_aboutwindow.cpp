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
    struct Calls
    {
        QStringList asked;
        QStringList started;
    };

    /// A tool whose candidates are found at the paths given (empty = not installed).
    static SystemInfoTool fakeTool(Calls& calls, QHash<QString, QString> installed, bool startWorks)
    {
        return SystemInfoTool(
            {QStringLiteral("first-tool"), QStringLiteral("second-tool")},
            [&calls, installed](const QString& name) {
                calls.asked.append(name);
                return installed.value(name);
            },
            [&calls, startWorks](const QString& program) {
                calls.started.append(program);
                return startWorks;
            });
    }

    static QString label(QWidget& window, const char* name)
    {
        return window.findChild<QLabel*>(QString::fromLatin1(name))->text();
    }
    static void clickSysInfo(QWidget& window)
    {
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdSysInfo")),
                          Qt::LeftButton);
    }
    static void expectUnavailableBox(QWidget& window)
    {
        auto* box = window.findChild<QMessageBox*>();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QCOMPARE(box->text(), QStringLiteral("System Information Is Unavailable At This Time"));
        QCOMPARE(box->windowTitle(), QStringLiteral("Dovrane"));
        QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        QVERIFY(!box->isVisible());
        QVERIFY(window.isVisible()); // the About window stays open
    }

private Q_SLOTS:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void showsTitleVersionAndDescription()
    {
        AboutWindow window;
        QCOMPARE(window.objectName(), QStringLiteral("frmAbout"));
        QCOMPARE(window.windowTitle(), QStringLiteral("About Dovrane"));
        QCOMPARE(label(window, "lblTitle"), QStringLiteral("Dovrane"));
        QCOMPARE(label(window, "lblVersion"), QStringLiteral("Version 2.0.6"));
        const QStringList description = label(window, "lblDescription").split(QLatin1Char('\n'));
        QCOMPARE(description.size(), 2);
        QVERIFY(!description[0].trimmed().isEmpty());
        QVERIFY(!description[1].trimmed().isEmpty());
        QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("cmdOk"))->text(),
                 QStringLiteral("OK"));
        QCOMPARE(window.findChild<QPushButton*>(QStringLiteral("cmdSysInfo"))->text(),
                 QStringLiteral("&System Info..."));
        QVERIFY(!window.isModal());
    }

    void showsTheProgramIcon()
    {
        AboutWindow window;
        const QPixmap icon = window.findChild<QLabel*>(QStringLiteral("picIcon"))->pixmap();
        QVERIFY(!icon.isNull());
        QCOMPARE(icon.size(), QSize(32, 32));
        // Not a blank square: the red alarm light is in it.
        const QImage image = icon.toImage();
        bool red = false;
        for (int y = 0; y < image.height() && !red; ++y)
            for (int x = 0; x < image.width() && !red; ++x) {
                const QColor c = image.pixelColor(x, y);
                red = c.red() > 180 && c.green() < 90 && c.blue() < 90;
            }
        QVERIFY(red);
    }

    void okClosesTheWindow()
    {
        AboutWindow window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cmdOk")), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }

    void noToolInstalledSaysSo()
    {
        Calls calls;
        AboutWindow window(nullptr, fakeTool(calls, {}, true));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        clickSysInfo(window);
        QCOMPARE(calls.asked, (QStringList{"first-tool", "second-tool"}));
        QVERIFY(calls.started.isEmpty());
        expectUnavailableBox(window);
    }

    void toolThatCannotBeStartedSaysSo()
    {
        Calls calls;
        AboutWindow window(nullptr,
                           fakeTool(calls, {{"second-tool", "/opt/x/second-tool"}}, false));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        clickSysInfo(window);
        QCOMPARE(calls.started, QStringList{"/opt/x/second-tool"});
        expectUnavailableBox(window);
    }

    void firstInstalledToolIsStarted()
    {
        Calls calls;
        AboutWindow window(nullptr, fakeTool(calls,
                                             {{"first-tool", "/usr/bin/first-tool"},
                                              {"second-tool", "/usr/bin/second-tool"}},
                                             true));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        clickSysInfo(window);
        QCOMPARE(calls.started, QStringList{"/usr/bin/first-tool"});
        QVERIFY(window.findChild<QMessageBox*>() == nullptr);
    }

    void startsAToolFoundOnPath()
    {
        // A stand-in "hardinfo" on a private PATH, found and started for real.
        QTemporaryDir bin;
        QVERIFY(bin.isValid());
        const QString marker = bin.filePath(QStringLiteral("started"));
        QFile script(bin.filePath(QStringLiteral("hardinfo")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        // Only shell built-ins: the program runs with that PATH too.
        script.write("#!/bin/sh\n: > \"" + QFile::encodeName(marker) + "\"\n");
        script.close();
        QVERIFY(script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(bin.path()));
        AboutWindow window;
        clickSysInfo(window);
        qputenv("PATH", oldPath);
        QVERIFY(window.findChild<QMessageBox*>() == nullptr);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 30000);
    }

    void emptyPathFindsNothing()
    {
        QTemporaryDir empty;
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(empty.path()));
        const QString found = SystemInfoTool().find();
        qputenv("PATH", oldPath);
        QCOMPARE(found, QString());
    }
};

QTEST_MAIN(TstAboutWindow)
#include "tst_aboutwindow.moc"
