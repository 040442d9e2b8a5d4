#include "AccountFile.h"
#include "AccountWindow.h"
#include "AppState.h"
#include "ErrorReporter.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dovrane;

/// The account window and User.dat, written and read back byte for byte.
class TestAccountWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    AppState m_state;
    ErrorReporter m_errors;
    std::unique_ptr<QSignalSpy> m_reported;
    std::unique_ptr<AccountWindow> m_window;

    QString userPath() const { return m_dir->filePath(QStringLiteral("User.dat")); }
    void open() { m_window = std::make_unique<AccountWindow>(m_state, userPath(), m_errors); }
    template <typename T = QLineEdit> T* control(const char* name) const
    {
        return m_window->findChild<T*>(QLatin1String(name));
    }
    void type(const QString& facility, const QString& user, const QString& password)
    {
        control("txtFacility")->setText(facility);
        control("txtUserName")->setText(user);
        control("txtPassword")->setText(password);
    }
    void writeFile(const QByteArray& bytes)
    {
        QFile f(userPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_state = AppState{};
        m_reported = std::make_unique<QSignalSpy>(&m_errors, &ErrorReporter::reported);
    }
    void cleanup() { m_window.reset(); }

    void showsControlsAndSharedValues()
    {
        m_state.Facility = QStringLiteral("KDVR");
        m_state.UserName = QStringLiteral("ops");
        m_state.Password = QStringLiteral("s3cret");
        open();
        QCOMPARE(m_window->objectName(), QStringLiteral("frmMyAccount"));
        QCOMPARE(m_window->windowTitle(), QStringLiteral("MyAccount"));
        const char* captions[] = {"User Name", "Password", "Facility"};
        const char* buddies[] = {"txtUserName", "txtPassword", "txtFacility"};
        for (int i = 0; i < 3; ++i) {
            auto* label = m_window->findChild<QLabel*>(QStringLiteral("Label_%1").arg(i));
            QVERIFY(label);
            QCOMPARE(label->text(), QLatin1String(captions[i]));
            QCOMPARE(label->buddy(), control(buddies[i]));
        }
        QCOMPARE(control("txtFacility")->text(), QStringLiteral("KDVR"));
        QCOMPARE(control("txtUserName")->text(), QStringLiteral("ops"));
        QCOMPARE(control<QPushButton>("cmdApply")->text(), QStringLiteral("Apply"));
        QCOMPARE(control<QPushButton>("cmdClose")->text(), QStringLiteral("Close"));
        QCOMPARE(control<QAction>("mnuExit")->text(), QStringLiteral("Exit"));
        // Tab order begins at the facility.
        QCOMPARE(control("txtFacility")->nextInFocusChain(), control("txtUserName"));
        QCOMPARE(control("txtUserName")->nextInFocusChain(), control("txtPassword"));
        QCOMPARE(control("txtPassword")->nextInFocusChain(), control<QPushButton>("cmdApply"));

        m_window->show();
        QCOMPARE(control("txtPassword")->text(), QStringLiteral("s3cret"));
        QCOMPARE(control("txtPassword")->displayText(), QStringLiteral("******"));
    }

    // The password is kept in plain text, so the file is for its owner alone.
    void applyWritesThreeLinesOwnerOnly_data()
    {
        QTest::addColumn<bool>("looseFileBefore");
        QTest::newRow("new file") << false;
        QTest::newRow("readable by others before") << true;
    }
    void applyWritesThreeLinesOwnerOnly()
    {
        QFETCH(bool, looseFileBefore);
        if (looseFileBefore) {
            writeFile("old\r\nold\r\nold\r\n");
            QVERIFY(QFile::setPermissions(userPath(), QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadGroup | QFile::ReadOther));
        }
        open();
        m_window->show();
        type(QStringLiteral("Caf\u00e9 FM"), QStringLiteral("ops"), QString());
        QTest::mouseClick(control<QPushButton>("cmdApply"), Qt::LeftButton);

        QFile f(userPath());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray("Caf\xe9 FM\r\nops\r\n\r\n"));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(userPath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        QCOMPARE(m_state.Facility, QStringLiteral("Caf\u00e9 FM"));
        QCOMPARE(m_state.UserName, QStringLiteral("ops"));
        QCOMPARE(m_state.Password, QString());
        QVERIFY(m_reported->isEmpty());
        QVERIFY(m_window->isVisible()); // Apply does not close
    }

    void writeFailureIsReported()
    {
        QVERIFY(QDir().mkpath(userPath())); // a folder where the file should be
        open();
        type(QStringLiteral("KDVR"), QStringLiteral("ops"), QStringLiteral("pw"));
        m_window->apply();
        QCOMPARE(m_reported->size(), 1);
        const QString message = m_reported->at(0).at(0).toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ \\S")).match(message).hasMatch(),
                 qPrintable(message));
        QCOMPARE(m_state.Facility, QStringLiteral("KDVR")); // taken over all the same
    }

    void everyWayOfClosingAnnouncesIt_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("cmdClose") << 0;
        QTest::newRow("Files > Exit") << 1;
        QTest::newRow("close box") << 2;
    }
    void everyWayOfClosingAnnouncesIt()
    {
        QFETCH(int, how);
        open();
        m_window->show();
        QSignalSpy closed(m_window.get(), &AccountWindow::closed);
        if (how == 0)
            control<QPushButton>("cmdClose")->click();
        else if (how == 1)
            control<QAction>("mnuExit")->trigger();
        else
            m_window->close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!QFile::exists(userPath())); // closing saves nothing
    }

    // The field rules themselves are DelimitedReader's; these are what User.dat adds.
    void readsDelimitedFields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("values");
        QTest::newRow("empty password")
            << QByteArray("KDVR\r\nops\r\n\r\n") << QStringList{"KDVR", "ops", ""};
        QTest::newRow("comma splits")
            << QByteArray("Acme, Inc\r\nops\r\npw\r\n") << QStringList{"Acme", "Inc", "ops"};
        QTest::newRow("short file keeps the rest")
            << QByteArray("KDVR\r\n") << QStringList{"KDVR", "old user", "old pw"};
        QTest::newRow("code page") << QByteArray("Caf\xe9\r\nops\r\npw\r\n")
                                   << QStringList{QStringLiteral("Caf\u00e9"), "ops", "pw"};
    }
    void readsDelimitedFields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, values);
        writeFile(bytes);
        m_state.UserName = QStringLiteral("old user");
        m_state.Password = QStringLiteral("old pw");
        QVERIFY(AccountFile::read(userPath(), m_state));
        QCOMPARE((QStringList{m_state.Facility, m_state.UserName, m_state.Password}), values);
    }
};

QTEST_MAIN(TestAccountWindow)
#include "tst_accountwindow.moc"
