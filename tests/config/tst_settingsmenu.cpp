#include "AccountWindow.h"
#include "ConnectionProfile.h"
#include "ErrorWindow.h"
#include "MainWindowRig.h"
#include "PreferencesWindow.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

using namespace dovrane;

namespace {

template <typename T> T* child(const QObject* parent, const char* name)
{
    return parent->findChild<T*>(QLatin1String(name));
}

void deferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

// "Preferences" and "My Account" in the main menu, with the main window around them.
class TestSettingsMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::MainWindowRig> m_rig;
    MainWindow* m_window = nullptr;

    DataPaths paths() const { return m_rig->paths; }
    void trigger(const char* item) const { child<QAction>(m_window, item)->trigger(); }
    template <typename T> QList<T*> open() const { return m_window->findChildren<T*>(); }
    void startMainWindow() { m_window = &m_rig->open(); }
    void writeConnection() const
    {
        QVERIFY(ConnectionProfile::write(paths().connectionFile(), 3, QStringLiteral("9600")));
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init()
    {
        m_rig = std::make_unique<test::MainWindowRig>(
            QDateTime(QDate(2006, 7, 13), QTime(9, 0)),
            QStringList{QStringLiteral("Card A"), QStringLiteral("Card B")});
        m_window = nullptr;
    }
    void cleanup()
    {
        m_rig.reset();
        deferredDeletes();
    }

    void eachWindowExistsOnce()
    {
        startMainWindow();
        trigger("mnuPreferences");
        trigger("mnuMyAccount");
        QCOMPARE(open<PreferencesWindow>().size(), 1);
        QCOMPARE(open<AccountWindow>().size(), 1);
        PreferencesWindow* prefs = open<PreferencesWindow>().first();
        AccountWindow* account = open<AccountWindow>().first();
        QVERIFY(prefs->isWindow() && !prefs->isModal());

        prefs->hide();
        account->hide();
        trigger("mnuPreferences");
        trigger("mnuMyAccount");
        QCOMPARE(open<PreferencesWindow>(), QList<PreferencesWindow*>{prefs});
        QCOMPARE(open<AccountWindow>(), QList<AccountWindow*>{account});
        QVERIFY(prefs->isVisible() && account->isVisible());
        QCOMPARE(m_rig->listersMade, 1); // the device list is made once per window

        prefs->close();
        deferredDeletes();
        QVERIFY(open<PreferencesWindow>().isEmpty());
        trigger("mnuPreferences");
        QCOMPARE(open<PreferencesWindow>().size(), 1);
    }

    void delayChangeWaitsForNextStartButActionDoesNot()
    {
        QByteArray params(112, '\0');
        params[0] = 10;  // delay 10 s
        params[12] = 1;  // device 1
        params[16] = 1;  // "Send Page"
        params[24] = 50; // threshold 50
        QFile f(paths().paramsFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(params);
        f.close();
        startMainWindow();
        QCOMPARE(m_window->alarmDelay(), qint16(10));
        QVERIFY(m_rig->state.SendPage);

        trigger("mnuPreferences");
        PreferencesWindow* prefs = open<PreferencesWindow>().first();
        child<QListWidget>(prefs, "lstTime")->setCurrentRow(29);
        child<QListWidget>(prefs, "lstWaveIn")->setCurrentRow(0);
        child<QLineEdit>(prefs, "txtThreshold")->setText(QStringLiteral("9"));
        child<QRadioButton>(prefs, "Option1_2")->click();
        prefs->close();

        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray saved = f.readAll();
        QCOMPARE(saved.at(0), char(30));
        QCOMPARE(saved.at(12), char(0));
        QCOMPARE(saved.at(24), char(9));
        QCOMPARE(m_window->alarmDelay(), qint16(10));
        QCOMPARE(m_window->threshold(), 50);
        QCOMPARE(m_rig->audio.selectedDevice(), 1);
        QVERIFY(m_rig->state.SendEmail && !m_rig->state.SendPage);
    }

    void closingAccountReloadsEveryDataFile()
    {
        writeConnection();
        QFile user(paths().userFile());
        QVERIFY(user.open(QIODevice::WriteOnly));
        user.write("KDVR\r\nops\r\npw\r\n");
        user.close();
        startMainWindow();
        QCOMPARE(m_rig->state.ComPort, qint16(3));

        trigger("mnuMyAccount");
        AccountWindow* account = open<AccountWindow>().first();
        QCOMPARE(child<QLineEdit>(account, "txtFacility")->text(), QStringLiteral("KDVR"));
        child<QLineEdit>(account, "txtFacility")->setText(QStringLiteral("Unsaved"));
        m_rig->state.ComPort = 7; // changed in its window, never saved
        m_rig->state.Facility = QStringLiteral("changed in memory");
        child<QAction>(account, "mnuExit")->trigger();

        QCOMPARE(m_rig->state.ComPort, qint16(3));
        QCOMPARE(m_rig->state.Facility, QStringLiteral("KDVR"));
        QVERIFY(m_rig->state.CallListFile && m_rig->state.CallListFile->isOpen());
        QCOMPARE(user.size(), qint64(15));

        deferredDeletes();
        trigger("mnuMyAccount");
        account = open<AccountWindow>().first();
        QCOMPARE(child<QLineEdit>(account, "txtFacility")->text(), QStringLiteral("KDVR"));
    }

    void closingAccountShowsMissingConnectionAgain()
    {
        startMainWindow();
        QVERIFY(m_window->errorWindow().window());
        m_window->errorWindow().window()->close();
        deferredDeletes();
        QVERIFY(!m_window->errorWindow().window());

        trigger("mnuMyAccount");
        open<AccountWindow>().first()->close();
        QVERIFY(m_window->errorWindow().window());
        QCOMPARE(m_window->errorWindow().window()->message(),
                 QStringLiteral("Connection Profile must be setup"));
    }

    // The program ends at once: a settings window open at that moment neither saves
    // nor reloads anything on its way out.
    void endingTheProgramWithWindowsOpen()
    {
        writeConnection();
        startMainWindow();
        m_window->show();
        trigger("mnuMyAccount");
        trigger("mnuPreferences");
        int reloads = 0;
        connect(open<AccountWindow>().first(), &AccountWindow::closed, this, [&] { ++reloads; });
        m_rig->state.ComPort = 7;
        QMetaObject::invokeMethod(m_window, &QWidget::close, Qt::QueuedConnection);
        QCoreApplication::exec();
        QCOMPARE(reloads, 0);
        QCOMPARE(m_rig->state.ComPort, qint16(7));
        QCOMPARE(QFile(paths().paramsFile()).size(), qint64(0));
        QVERIFY(open<PreferencesWindow>().isEmpty() && open<AccountWindow>().isEmpty());
    }
};

QTEST_MAIN(TestSettingsMenu)
#include "tst_settingsmenu.moc"
