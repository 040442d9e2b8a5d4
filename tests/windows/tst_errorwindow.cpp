#include "ErrorWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace dovrane;

// The shared error window: one modeless instance, last message wins, OK unloads it.
class TstErrorWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> m_owner;
    std::unique_ptr<ErrorWindowHost> m_host;

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
    QLabel* label() const { return m_host->window()->findChild<QLabel*>("lblMessage"); }
    void pressOk()
    {
        QTest::mouseClick(m_host->window()->findChild<QPushButton*>("OKButton"), Qt::LeftButton);
    }
    /// One window loaded, shown, holding this message.
    void expectShowing(const QString& message)
    {
        QVERIFY(m_host->window());
        QVERIFY(m_host->window()->isVisible());
        QCOMPARE(label()->text(), message);
        QCOMPARE(loadedWindows(), 1);
    }

private Q_SLOTS:
    void init()
    {
        m_owner = std::make_unique<QWidget>();
        m_host = std::make_unique<ErrorWindowHost>(m_owner.get());
    }
    void cleanup()
    {
        m_host.reset();
        m_owner.reset();
        processDeferredDeletes();
    }

    void showsTheMessageModeless()
    {
        m_host->raiseIfVisible(); // nothing to raise, nothing created
        QVERIFY(m_host->window() == nullptr);
        m_host->showMessage(QStringLiteral("Connection Profile must be setup"));
        expectShowing(QStringLiteral("Connection Profile must be setup"));
        ErrorWindow* window = m_host->window();
        QVERIFY(!window->isModal());
        QCOMPARE(window->objectName(), QStringLiteral("frmError"));
        QCOMPARE(window->windowTitle(), QStringLiteral("Error Message"));
        QCOMPARE(window->findChild<QPushButton*>("OKButton")->text(), QStringLiteral("OK"));
        QVERIFY(m_owner->isEnabled()); // the rest of the program keeps working
    }

    void secondMessageReplacesTheFirstAndIsShownWhole()
    {
        m_host->showMessage(QStringLiteral("2 No such file or directory"));
        ErrorWindow* first = m_host->window();
        const QString longText =
            QStringLiteral("75 Mail program /usr/sbin/sendmail failed: msmtp: cannot connect to "
                           "127.0.0.1, port 2525: Connection refused msmtp: could not send mail "
                           "(account default from /etc/msmtprc) and a good deal more text that "
                           "wraps over several lines of the window");
        m_host->showMessage(longText);
        QCOMPARE(m_host->window(), first);
        expectShowing(longText);
        QVERIFY2(label()->height() >= label()->heightForWidth(label()->width()),
                 "the message label is cut off");
    }

    void okUnloadsAndTheNextMessageCreatesItAfresh()
    {
        // The closed window is deleted only when the event loop comes round; a report
        // made before then must still be on screen afterwards.
        m_host->showMessage(QStringLiteral("first"));
        pressOk();
        m_host->showMessage(QStringLiteral("second"));
        processDeferredDeletes();
        expectShowing(QStringLiteral("second"));

        QSignalSpy destroyed(m_host->window(), &QObject::destroyed);
        pressOk();
        QVERIFY(m_host->window() == nullptr);
        processDeferredDeletes();
        QCOMPARE(destroyed.size(), 1);
        QCOMPARE(loadedWindows(), 0);
        m_host->showMessage(QStringLiteral("third"));
        expectShowing(QStringLiteral("third"));
    }
};

QTEST_MAIN(TstErrorWindow)
#include "tst_errorwindow.moc"
