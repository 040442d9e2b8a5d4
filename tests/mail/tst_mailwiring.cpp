#include "ErrorWindow.h"
#include "MainWindowRig.h"

#include <QAction>
#include <QListWidget>
#include <QtTest>

using namespace dovrane;
using namespace dovrane::test;

// The mail parts as the main window joins them: the menu item, SendMail and the
// error window for mail failures.
class TestMailWiring : public QObject
{
    Q_OBJECT

private:
    struct Rig : MainWindowRig
    {
        Rig() : MainWindowRig(QDateTime(QDate(2006, 6, 19), QTime(12, 0))) { open(); }
    };

    static void addEntry(AppState& state, qint64 n, const QString& name, char option)
    {
        QVERIFY(AddressBook(state).write(
            n, MailRig::entry(option, name, name.toLower() + QStringLiteral("@x.com"))));
    }

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void menuOpensOneAddressBookWindow()
    {
        Rig rig;
        addEntry(rig.state, 1, QStringLiteral("Chief"), '1');
        auto* item = rig.window->findChild<QAction*>(QStringLiteral("mnuMyAddressBook"));
        QVERIFY(item);
        QVERIFY(item->isEnabled());
        item->trigger();
        item->trigger();
        const auto windows = rig.window->findChildren<QWidget*>(QStringLiteral("frmAddressBook"));
        QCOMPARE(windows.size(), 1);
        QVERIFY(windows.first()->isVisible());
        QCOMPARE(windows.first()->findChild<QListWidget*>(QStringLiteral("list1"))->count(), 1);
    }

    void sendMailUsesTheLoadersHandle()
    {
        Rig rig;
        addEntry(rig.state, 1, QStringLiteral("Chief"), '1');
        addEntry(rig.state, 2, QStringLiteral("Quiet"), '0');
        rig.state.MailSubject = QStringLiteral(" Alarm");
        rig.state.MailBody = QStringLiteral("06-19-2006 12:00:00 Silence Alarm");
        rig.window->SendMail();
        QCOMPARE(rig.mail.sent.size(), 1);
        QCOMPARE(rig.mail.sent.first().recipients, QStringList{QStringLiteral("chief@x.com")});
        // The loader runs again (account window closed): the new handle is used.
        rig.window->LoadDataFiles();
        addEntry(rig.state, 3, QStringLiteral("Night"), '1');
        rig.window->SendMail();
        QCOMPARE(rig.mail.sent.last().recipients,
                 (QStringList{QStringLiteral("chief@x.com"), QStringLiteral("night@x.com")}));
    }

    void mailFailureShowsNumberAndDescription()
    {
        Rig rig;
        Q_EMIT rig.mail.failed(75, QStringLiteral("Mail program /usr/sbin/sendmail failed: busy"));
        ErrorWindow* shown = rig.window->errorWindow().window();
        QVERIFY(shown);
        QCOMPARE(shown->message(),
                 QStringLiteral("75 Mail program /usr/sbin/sendmail failed: busy"));
    }
};

QTEST_MAIN(TestMailWiring)
#include "tst_mailwiring.moc"
