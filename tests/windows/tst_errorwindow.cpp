#include "ErrorWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace dovrane;

// The shared error window: one modeless instance, last message wins, OK unloads it.
class TstErrorWindow : public QObject
{
    Q_OBJECT

private:
    static int loadedWindows()
    {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += qobject_cast<ErrorWindow*>(w) != nullptr ? 1 : 0;
        return n;
    }
    static void processDeferredDeletes()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    static QString shownText(ErrorWindow* window)
    {
        return window->findChild<QLabel*>(QStringLiteral("lblMessage"))->text();
    }
    static void pressOk(ErrorWindow* window)
    {
        QTest::mouseClick(window->findChild<QPushButton*>(QStringLiteral("OKButton")),
                          Qt::LeftButton);
    }

private Q_SLOTS:
    void cleanup() { processDeferredDeletes(); }

    void aLongerMessageIsShownWhole()
    {
        QWidget owner;
        ErrorWindowHost host(&owner);
        host.showMessage(QStringLiteral("2 No such file or directory"));
        const QString longText =
            QStringLiteral("75 Mail program /usr/sbin/sendmail failed: msmtp: cannot connect to "
                           "127.0.0.1, port 2525: Connection refused msmtp: could not send mail "
                           "(account default from /etc/msmtprc) and a good deal more text that "
                           "wraps over several lines of the window");
        host.showMessage(longText);
        auto* label = host.window()->findChild<QLabel*>(QStringLiteral("lblMessage"));
        QCOMPARE(label->text(), longText);
        QVERIFY2(label->height() >= label->heightForWidth(label->width()),
                 "the message label is cut off");
    }

    void notLoadedUntilSomethingIsReported()
    {
        QWidget owner;
        ErrorWindowHost host(&owner);
        QVERIFY(host.window() == nullptr);
        host.raiseIfVisible(); // nothing to raise, nothing created
        QVERIFY(host.window() == nullptr);
    }

    void showsTheMessageModeless()
    {
        QWidget owner;
        ErrorWindowHost host(&owner);
        host.showMessage(QStringLiteral("Connection Profile must be setup"));
        ErrorWindow* window = host.window();
        QVERIFY(window);
        QVERIFY(window->isVisible());
        QVERIFY(!window->isModal());
        QCOMPARE(window->objectName(), QStringLiteral("frmError"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Error Message"));
        QCOMPARE(shownText(window), QStringLiteral("Connection Profile must be setup"));
        QCOMPARE(window->findChild<QPushButton*>(QStringLiteral("OKButton"))->text(),
                 QStringLiteral("OK"));
        QVERIFY(owner.isEnabled()); // the rest of the program keeps working
    }

    void secondMessageReplacesTheFirst()
    {
        QWidget owner;
        ErrorWindowHost host(&owner);
        host.showMessage(QStringLiteral("2 No such file or directory"));
        ErrorWindow* first = host.window();
        host.showMessage(QStringLiteral("WaveIn Device not selected"));
        QCOMPARE(host.window(), first);
        QCOMPARE(loadedWindows(), 1);
        QCOMPARE(shownText(first), QStringLiteral("WaveIn Device not selected"));
    }

    void okUnloadsTheWindow()
    {
        QWidget owner;
        ErrorWindowHost host(&owner);
        host.showMessage(QStringLiteral("first"));
        ErrorWindow* window = host.window();
        QSignalSpy destroyed(window, &QObject::destroyed);
        pressOk(window);
        QVERIFY(host.window() == nullptr);
        processDeferredDeletes();
        QCOMPARE(destroyed.size(), 1);
        QCOMPARE(loadedWindows(), 0);
    }

    void nextMessageAfterOkCreatesTheWindowAfresh()
    {
        QWidget owner;
        ErrorWindowHost host(&owner);
        host.showMessage(QStringLiteral("first"));
        QSignalSpy destroyed(host.window(), &QObject::destroyed);
        pressOk(host.window());
        processDeferredDeletes();
        QCOMPARE(destroyed.size(), 1);

        host.showMessage(QStringLiteral("second"));
        QVERIFY(host.window());
        QVERIFY(host.window()->isVisible());
        QCOMPARE(shownText(host.window()), QStringLiteral("second"));
        QCOMPARE(loadedWindows(), 1);
    }

    void messageRightAfterOkIsNotLostWithTheClosingWindow()
    {
        // The closed window is deleted only when the event loop comes round; a report
        // made before then must still be on screen afterwards.
        QWidget owner;
        ErrorWindowHost host(&owner);
        host.showMessage(QStringLiteral("first"));
        pressOk(host.window());
        host.showMessage(QStringLiteral("second"));
        processDeferredDeletes();
        QVERIFY(host.window());
        QVERIFY(host.window()->isVisible());
        QCOMPARE(shownText(host.window()), QStringLiteral("second"));
        QCOMPARE(loadedWindows(), 1);
    }
};

QTEST_MAIN(TstErrorWindow)
#include "tst_errorwindow.moc"
