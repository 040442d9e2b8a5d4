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
#include <unistd.h>

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
    void open(const QString& path = {})
    {
        m_window =
            std::make_unique<AccountWindow>(m_state, path.isEmpty() ? userPath() : path, m_errors);
    }
    QLineEdit* edit(const char* name) const
    {
        return m_window->findChild<QLineEdit*>(QLatin1String(name));
    }
    QPushButton* button(const char* name) const
    {
        return m_window->findChild<QPushButton*>(QLatin1String(name));
    }
    void type(const QString& facility, const QString& user, const QString& password)
    {
        edit("txtFacility")->setText(facility);
        edit("txtUserName")->setText(user);
        edit("txtPassword")->setText(password);
    }
    QByteArray fileBytes(const QString& path) const
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }
    void writeFile(const QByteArray& bytes)
    {
        QFile f(userPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
    }
    void verifyReportedFailure()
    {
        QCOMPARE(m_reported->size(), 1);
        const QString message = m_reported->at(0).at(0).toString();
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ \\S")).match(message).hasMatch(),
                 qPrintable(message));
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
            QCOMPARE(label->buddy(), edit(buddies[i]));
        }
        QCOMPARE(edit("txtFacility")->text(), QStringLiteral("KDVR"));
        QCOMPARE(edit("txtUserName")->text(), QStringLiteral("ops"));
        QCOMPARE(button("cmdApply")->text(), QStringLiteral("Apply"));
        QCOMPARE(button("cmdClose")->text(), QStringLiteral("Close"));
        QCOMPARE(m_window->findChild<QAction*>(QStringLiteral("mnuExit"))->text(),
                 QStringLiteral("Exit"));

        m_window->show();
        QLineEdit* password = edit("txtPassword");
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QCOMPARE(password->text(), QStringLiteral("s3cret"));
        QCOMPARE(password->displayText(), QStringLiteral("******"));
    }

    void tabOrderStartsAtFacility()
    {
        open();
        QCOMPARE(edit("txtFacility")->nextInFocusChain(), edit("txtUserName"));
        QCOMPARE(edit("txtUserName")->nextInFocusChain(), edit("txtPassword"));
        QCOMPARE(edit("txtPassword")->nextInFocusChain(), button("cmdApply"));
    }

    void applyWritesThreeLinesOwnerOnly()
    {
        open();
        m_window->show();
        type(QStringLiteral("WXYZ Radio"), QStringLiteral("ops"), QString());
        QTest::mouseClick(button("cmdApply"), Qt::LeftButton);

        QCOMPARE(fileBytes(userPath()), QByteArray("WXYZ Radio\r\nops\r\n\r\n"));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(userPath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
        QCOMPARE(m_state.Facility, QStringLiteral("WXYZ Radio"));
        QCOMPARE(m_state.UserName, QStringLiteral("ops"));
        QCOMPARE(m_state.Password, QString());
        QVERIFY(m_reported->isEmpty());
        QVERIFY(m_window->isVisible()); // Apply does not close
    }

    void applyTightensLooseFilePermissions()
    {
        writeFile("old\r\nold\r\nold\r\n");
        QVERIFY(QFile::setPermissions(userPath(), QFile::ReadOwner | QFile::WriteOwner |
                                                      QFile::ReadGroup | QFile::ReadOther));
        open();
        type(QStringLiteral("Caf\u00e9 FM"), QStringLiteral("a"), QStringLiteral("b"));
        m_window->apply();
        QCOMPARE(fileBytes(userPath()), QByteArray("Caf\xe9 FM\r\na\r\nb\r\n"));
        struct stat st = {};
        QCOMPARE(::stat(QFile::encodeName(userPath()).constData(), &st), 0);
        QCOMPARE(st.st_mode & 0777, 0600u);
    }

    void writeFailureIsReported_data()
    {
        QTest::addColumn<int>("how");
        QTest::newRow("User.dat is a folder") << 0;
        QTest::newRow("data folder missing") << 1;
        QTest::newRow("read-only data folder") << 2;
    }
    void writeFailureIsReported()
    {
        QFETCH(int, how);
        QString path = userPath();
        if (how == 0) {
            QVERIFY(QDir().mkpath(path));
        } else if (how == 1) {
            path = m_dir->filePath(QStringLiteral("gone/User.dat"));
        } else {
            if (::geteuid() == 0)
                QSKIP("root writes into read-only folders");
            QVERIFY(QFile::setPermissions(m_dir->path(), QFile::ReadOwner | QFile::ExeOwner));
        }
        open(path);
        type(QStringLiteral("KDVR"), QStringLiteral("ops"), QStringLiteral("pw"));
        m_window->apply();
        if (how == 2)
            QFile::setPermissions(m_dir->path(),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        verifyReportedFailure();
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
            button("cmdClose")->click();
        else if (how == 1)
            m_window->findChild<QAction*>(QStringLiteral("mnuExit"))->trigger();
        else
            m_window->close();
        QCOMPARE(closed.size(), 1);
        QVERIFY(!m_window->isVisible());
        QVERIFY(!QFile::exists(userPath())); // closing saves nothing
    }

    void readsDelimitedFields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("facility");
        QTest::addColumn<QString>("userName");
        QTest::addColumn<QString>("password");
        QTest::newRow("plain") << QByteArray("KDVR\r\nops\r\npw\r\n") << "KDVR"
                               << "ops"
                               << "pw";
        QTest::newRow("empty password") << QByteArray("KDVR\r\nops\r\n\r\n") << "KDVR"
                                        << "ops"
                                        << "";
        QTest::newRow("comma splits") << QByteArray("Acme, Inc\r\nops\r\npw\r\n") << "Acme"
                                      << "Inc"
                                      << "ops";
        QTest::newRow("quoted") << QByteArray("\"Acme, Inc\"\r\n  ops  \r\n\"pw\"\r\n")
                                << "Acme, Inc"
                                << "ops"
                                << "pw";
        QTest::newRow("LF only") << QByteArray("KDVR\nops\npw") << "KDVR"
                                 << "ops"
                                 << "pw";
        QTest::newRow("short file keeps the rest") << QByteArray("KDVR\r\n") << "KDVR"
                                                   << "old user"
                                                   << "old pw";
        QTest::newRow("code page")
            << QByteArray("Caf\xe9\r\nops\r\npw\r\n") << QStringLiteral("Caf\u00e9") << "ops"
            << "pw";
    }
    void readsDelimitedFields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, facility);
        QFETCH(QString, userName);
        QFETCH(QString, password);
        writeFile(bytes);
        m_state.UserName = QStringLiteral("old user");
        m_state.Password = QStringLiteral("old pw");
        QVERIFY(AccountFile::read(userPath(), m_state));
        QCOMPARE(m_state.Facility, facility);
        QCOMPARE(m_state.UserName, userName);
        QCOMPARE(m_state.Password, password);
    }

    void writtenValuesReadBack()
    {
        QVERIFY(AccountFile::write(userPath(), QStringLiteral("WXYZ Radio"),
                                   QStringLiteral("night ops"), QStringLiteral("p@ss")));
        AppState back;
        QVERIFY(AccountFile::read(userPath(), back));
        QCOMPARE(back.Facility, QStringLiteral("WXYZ Radio"));
        QCOMPARE(back.UserName, QStringLiteral("night ops"));
        QCOMPARE(back.Password, QStringLiteral("p@ss"));
    }
};

QTEST_MAIN(TestAccountWindow)
#include "tst_accountwindow.moc"
