// The mail transport running real programs in place of sendmail: each run records
// its arguments and message, then behaves as the row asks.

#include "Clock.h"
#include "SendmailTransport.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cerrno>
#include <csignal>

using namespace dovrane;

namespace {

// Stores "args.N" and "message.N" for run N, then runs the row's tail.
const QByteArray kRecorder = "#!/bin/sh\nd=$(dirname \"$0\")\nn=1\n"
                             "while [ -e \"$d/args.$n\" ]; do n=$((n + 1)); done\n"
                             "printf '%s\\n' \"$@\" > \"$d/args.$n\"\ncat > \"$d/message.$n\"\n";

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_Sendmail : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SystemClock m_clock;

    QByteArray file(const char* name) const
    {
        return readFile(m_dir.filePath(QLatin1String(name)));
    }

private Q_SLOTS:
    void initTestCase() { qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + qgetenv("PATH")); }

    void init()
    {
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(m_dir.filePath(name));
    }

    void outcomes_data()
    {
        QTest::addColumn<QByteArray>("tail"); // shell lines after the recording
        QTest::addColumn<QStringList>("to");  // recipients of the first message
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QList<int>>("failures");
        QTest::addColumn<QByteArray>("args1");      // arguments of the first run
        QTest::addColumn<QByteArray>("headerPart"); // somewhere in the first message

        const QStringList one{QStringLiteral("a@x.com")};
        QTest::newRow("delivered, addresses trimmed, one argument each")
            << QByteArray("exit 0") << QStringList{"a@x.com", " b@y.org "} << "WXYZ Alarm"
            << QList<int>{} << QByteArray("-i\n--\na@x.com\nb@y.org\n")
            << QByteArray("To: a@x.com,\n b@y.org\nSubject: WXYZ Alarm\n");
        QTest::newRow("exit status and error text are reported")
            << QByteArray("[ \"$n\" = 1 ] && echo 'relay refused' >&2 && exit 75; exit 0") << one
            << "s" << QList<int>{75} << QByteArray("-i\n--\na@x.com\n")
            << QByteArray("Subject: s\n");
        QTest::newRow("a hanging program is killed at the limit; the queue goes on")
            << QByteArray("[ \"$n\" = 1 ] && exec sleep 3600; exit 0") << one << "s"
            << QList<int>{SendmailTransport::kTimedOut} << QByteArray("-i\n--\na@x.com\n")
            << QByteArray("To: a@x.com\n");
        QTest::newRow("a flood on standard error is cut for the report")
            << QByteArray("[ \"$n\" = 1 ] || exit 0; echo 'relay refused' >&2\n"
                          "head -c 20000000 /dev/zero | tr '\\000' x >&2; exit 75")
            << one << "s" << QList<int>{75} << QByteArray("-i\n--\na@x.com\n") << QByteArray();
        QTest::newRow("line breaks and options never reach the command line or a header")
            << QByteArray("exit 0")
            << QStringList{"a@x.com\r\nb@evil.com", "-oQ/tmp/q@x.com", "ok@x.com"}
            << "WXYZ\r\nBcc: evil@y.com Alarm"
            << QList<int>{SendmailTransport::kBadAddress, SendmailTransport::kBadAddress}
            << QByteArray("-i\n--\nok@x.com\n")
            << QByteArray("\nSubject: WXYZ  Bcc: evil@y.com Alarm\n");
    }

    void outcomes()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QStringList, to);
        QFETCH(QString, subject);
        QFETCH(QList<int>, failures);
        QFETCH(QByteArray, args1);
        QFETCH(QByteArray, headerPart);

        QFile script(m_dir.filePath(QStringLiteral("sendmail")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(kRecorder + tail + '\n');
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));

        SendmailTransport t(m_clock);
        if (tail.contains("sleep"))
            t.setTimeLimit(1500);
        QVERIFY(t.signOn());
        QSignalSpy failed(&t, &MailTransport::failed);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        t.send(MailMessage{to, subject, QStringLiteral("first")});
        t.send(
            MailMessage{{QStringLiteral("c@x.com")}, QStringLiteral("next"), QStringLiteral("b")});
        QCOMPARE(delivered.size(), 0); // nothing is waited for inside send()
        QTRY_COMPARE_WITH_TIMEOUT(t.pending(), 0, 30000);
        QList<int> got;
        for (const QList<QVariant>& f : failed) {
            got << f.at(0).toInt();
            QVERIFY(f.at(1).toString().size() < 1000);
            QVERIFY(!f.at(1).toString().contains(QLatin1Char('\n')));
        }
        QCOMPARE(got, failures);
        if (failures.contains(75) && !tail.contains("sleep"))
            QVERIFY(failed.at(0).at(1).toString().contains(QStringLiteral("relay refused")));
        QCOMPARE(file("args.1"), args1);
        QVERIFY(file("message.1").contains(headerPart));
        QVERIFY(file("message.1").endsWith("\n\nfirst\n"));
        QCOMPARE(file("args.2"), QByteArray("-i\n--\nc@x.com\n")); // in order, after the first
    }

    void destroyedWhileRunningLeavesNoProcess()
    {
        QFile script(m_dir.filePath(QStringLiteral("sendmail")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\necho $$ > \"$(dirname \"$0\")/pid\"\nexec sleep 3600\n");
        script.close();
        QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));
        qint64 pid = 0;
        {
            SendmailTransport t(m_clock);
            QVERIFY(t.signOn());
            t.send(MailMessage{{QStringLiteral("a@x.com")}, QStringLiteral("s"), QString()});
            QTRY_VERIFY_WITH_TIMEOUT((pid = file("pid").trimmed().toLongLong()) > 0, 30000);
        }
        QCOMPARE(::kill(pid_t(pid), 0), -1); // gone and reaped
        QCOMPARE(errno, ESRCH);
    }
};

QTEST_GUILESS_MAIN(tst_Sendmail)
#include "tst_sendmail.moc"
