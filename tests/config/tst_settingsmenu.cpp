#include "AccountWindow.h"
#include "AppState.h"
#include "Clock.h"
#include "ConnectionProfile.h"
#include "ErrorWindow.h"
#include "FakeAudioInput.h"
#include "FakeSerialPort.h"
#include "MainWindow.h"
#include "PreferencesWindow.h"
#include "RecordingMailTransport.h"

#include <QAction>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

// "Preferences" and "My Account" in the main menu, with the main window around them.
class TestSettingsMenu : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    AppState m_state;
    ManualClock m_clock{QDateTime(QDate(2006, 7, 13), QTime(9, 0))};
    test::FakeAudioInput m_audio{{QStringLiteral("Card A"), QStringLiteral("Card B")}};
    test::FakeSerialPort m_serial;
    test::RecordingMailTransport m_mail;
    std::unique_ptr<MainWindow> m_window;
    int m_listersMade = 0;

    DataPaths paths() const { return DataPaths(m_dir->path()); }
    QAction* item(const char* name) const
    {
        return m_window->findChild<QAction*>(QString::fromLatin1(name));
    }
    template <typename T> QList<T*> open() const { return m_window->findChildren<T*>(); }
    void startMainWindow()
    {
        m_window = std::make_unique<MainWindow>(
            m_state, Services{m_clock, m_audio, m_serial, m_mail, paths(), [this] {
                                  ++m_listersMade;
                                  return std::make_unique<test::FakeAudioInput>(QStringList{
                                      QStringLiteral("Card A"), QStringLiteral("Card B")});
                              }});
    }
    void writeFile(const QString& path, const QByteArray& bytes)
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = AppState{};
        m_listersMade = 0;
    }
    void cleanup()
    {
        m_window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void itemsAreEnabled()
    {
        startMainWindow();
        QVERIFY(item("mnuPreferences")->isEnabled());
        QCOMPARE(item("mnuPreferences")->text(), QStringLiteral("Preferences"));
        QVERIFY(item("mnuMyAccount")->isEnabled());
        QCOMPARE(item("mnuMyAccount")->text(), QStringLiteral("My Account"));
    }

    void eachWindowExistsOnce()
    {
        startMainWindow();
        item("mnuPreferences")->trigger();
        item("mnuMyAccount")->trigger();
        QCOMPARE(open<PreferencesWindow>().size(), 1);
        QCOMPARE(open<AccountWindow>().size(), 1);
        PreferencesWindow* prefs = open<PreferencesWindow>().first();
        AccountWindow* account = open<AccountWindow>().first();
        QVERIFY(prefs->isVisible() && account->isVisible());
        QVERIFY(prefs->isWindow() && !prefs->isModal());

        prefs->hide();
        account->hide();
        item("mnuPreferences")->trigger();
        item("mnuMyAccount")->trigger();
        QCOMPARE(open<PreferencesWindow>(), QList<PreferencesWindow*>{prefs});
        QCOMPARE(open<AccountWindow>(), QList<AccountWindow*>{account});
        QVERIFY(prefs->isVisible() && account->isVisible());
        QCOMPARE(m_listersMade, 1); // the device list is made once per window

        prefs->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(open<PreferencesWindow>().isEmpty());
        item("mnuPreferences")->trigger();
        QCOMPARE(open<PreferencesWindow>().size(), 1);
    }

    void delayChangeWaitsForNextStartButActionDoesNot()
    {
        QByteArray params(112, '\0');
        params[0] = 10;  // delay 10 s
        params[12] = 1;  // device 1
        params[16] = 1;  // "Send Page"
        params[24] = 50; // threshold 50
        writeFile(paths().paramsFile(), params);
        startMainWindow();
        QCOMPARE(m_window->alarmDelay(), qint16(10));
        QVERIFY(m_state.SendPage);

        item("mnuPreferences")->trigger();
        PreferencesWindow* prefs = open<PreferencesWindow>().first();
        prefs->findChild<QListWidget*>(QStringLiteral("lstTime"))->setCurrentRow(29);
        prefs->findChild<QListWidget*>(QStringLiteral("lstWaveIn"))->setCurrentRow(0);
        prefs->findChild<QLineEdit*>(QStringLiteral("txtThreshold"))->setText(QStringLiteral("9"));
        prefs->findChild<QRadioButton*>(QStringLiteral("Option1_2"))->click();
        prefs->close();

        QFile f(paths().paramsFile());
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray saved = f.readAll();
        QCOMPARE(saved.at(0), char(30));
        QCOMPARE(saved.at(12), char(0));
        QCOMPARE(saved.at(24), char(9));
        QCOMPARE(m_window->alarmDelay(), qint16(10));
        QCOMPARE(m_window->threshold(), 50);
        QCOMPARE(m_audio.selectedDevice(), 1);
        QVERIFY(m_state.SendEmail);
        QVERIFY(!m_state.SendPage);
    }

    void closingAccountReloadsEveryDataFile()
    {
        QVERIFY(ConnectionProfile::write(paths().connectionFile(), 3, QStringLiteral("9600")));
        writeFile(paths().userFile(), "KDVR\r\nops\r\npw\r\n");
        startMainWindow();
        QCOMPARE(m_state.ComPort, qint16(3));
        QVERIFY(m_state.CallListFile);

        item("mnuMyAccount")->trigger();
        AccountWindow* account = open<AccountWindow>().first();
        QCOMPARE(account->findChild<QLineEdit*>(QStringLiteral("txtFacility"))->text(),
                 QStringLiteral("KDVR"));
        account->findChild<QLineEdit*>(QStringLiteral("txtFacility"))
            ->setText(QStringLiteral("Unsaved"));
        m_state.ComPort = 7; // changed in its window, never saved
        m_state.Facility = QStringLiteral("changed in memory");
        account->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();

        QCOMPARE(m_state.ComPort, qint16(3));
        QCOMPARE(m_state.Facility, QStringLiteral("KDVR"));
        QVERIFY(m_state.CallListFile && m_state.CallListFile->isOpen());
        QCOMPARE(QFile(paths().userFile()).size(), qint64(15));

        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        item("mnuMyAccount")->trigger();
        account = open<AccountWindow>().first();
        QCOMPARE(account->findChild<QLineEdit*>(QStringLiteral("txtFacility"))->text(),
                 QStringLiteral("KDVR"));
    }

    void closingAccountShowsMissingConnectionAgain()
    {
        startMainWindow();
        ErrorWindow* error = m_window->errorWindow().window();
        QVERIFY(error);
        error->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(!m_window->errorWindow().window());

        item("mnuMyAccount")->trigger();
        open<AccountWindow>().first()->close();
        QVERIFY(m_window->errorWindow().window());
        QCOMPARE(m_window->errorWindow().window()->message(),
                 QStringLiteral("Connection Profile must be setup"));
    }

    // The program ends at once: a settings window open at that moment neither saves
    // nor reloads anything on its way out.
    void endingTheProgramWithWindowsOpen()
    {
        QVERIFY(ConnectionProfile::write(paths().connectionFile(), 3, QStringLiteral("9600")));
        startMainWindow();
        m_window->show();
        item("mnuMyAccount")->trigger();
        item("mnuPreferences")->trigger();
        int reloads = 0;
        connect(open<AccountWindow>().first(), &AccountWindow::closed, this, [&] { ++reloads; });
        m_state.ComPort = 7;
        QMetaObject::invokeMethod(m_window.get(), &QWidget::close, Qt::QueuedConnection);
        QCoreApplication::exec();
        QCOMPARE(reloads, 0);
        QCOMPARE(m_state.ComPort, qint16(7));
        QCOMPARE(QFile(paths().paramsFile()).size(), qint64(0));
        QVERIFY(open<PreferencesWindow>().isEmpty());
        QVERIFY(open<AccountWindow>().isEmpty());
    }
};

QTEST_MAIN(TestSettingsMenu)
#include "tst_settingsmenu.moc"
