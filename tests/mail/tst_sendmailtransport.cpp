#include "Clock.h"
#include "SendmailTransport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cerrno>
#include <csignal>

using namespace dovrane;

namespace {

const QString kFakeSendmail = QStringLiteral(DOVRANE_SOURCE_DIR "/tests/tools/fake-sendmail.sh");
constexpr int kWait = 30000; // generous: the machine may be busy

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestSendmailTransport : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedPath;
    SystemClock m_clock;

    QString bin() const { return m_dir->filePath(QStringLiteral("bin")); }
    QString out() const { return m_dir->filePath(QStringLiteral("out")); }
    QByteArray args(int n) const { return readFile(out() + QStringLiteral("/args.%1").arg(n)); }
    QByteArray message(int n) const
    {
        return readFile(out() + QStringLiteral("/message.%1").arg(n));
    }
    void setMode(int run, const QByteArray& mode)
    {
        QFile f(out() + QStringLiteral("/mode.%1").arg(run));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(mode);
    }
    // Replaces the fake program with a shell script of our own.
    void installScript(const QByteArray& body)
    {
        const QString path = bin() + QStringLiteral("/sendmail");
        QFile::remove(path);
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\n" + body + '\n');
        f.close();
        QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));
    }
    static MailMessage mail(const QStringList& to, const QString& subject,
                            const QString& body = QStringLiteral("body"))
    {
        return MailMessage{to, subject, body};
    }

private Q_SLOTS:
    void initTestCase() { m_savedPath = qgetenv("PATH"); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QVERIFY(QDir().mkpath(bin()));
        QVERIFY(QDir().mkpath(out()));
        QVERIFY(QFile::link(kFakeSendmail, bin() + QStringLiteral("/sendmail")));
        qputenv("PATH", bin().toLocal8Bit() + ':' + m_savedPath);
        qputenv("FAKE_SENDMAIL_DIR", out().toLocal8Bit());
        qunsetenv("FAKE_SENDMAIL_MODE");
    }

    void cleanup()
    {
        qputenv("PATH", m_savedPath);
        m_dir.reset();
    }

    void signOnFindsProgramOnPath()
    {
        SendmailTransport t(m_clock);
        QCOMPARE(t.sessionId(), 0);
        QVERIFY(t.signOn());
        QVERIFY(t.sessionId() != 0);
        QCOMPARE(t.program(), bin() + QStringLiteral("/sendmail"));
        t.signOff();
        QCOMPARE(t.sessionId(), 0);
    }

    void signOnWithoutProgramFails()
    {
        if (QFileInfo::exists(QStringLiteral("/usr/sbin/sendmail")) ||
            QFileInfo::exists(QStringLiteral("/usr/lib/sendmail")))
            QSKIP("this machine has a system sendmail");
        qputenv("PATH", m_dir->filePath(QStringLiteral("out")).toLocal8Bit());
        SendmailTransport t(m_clock);
        QSignalSpy failed(&t, &MailTransport::failed);
        QVERIFY(!t.signOn());
        QCOMPARE(t.sessionId(), 0);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), SendmailTransport::kNoProgram);
        QVERIFY(failed.at(0).at(1).toString().contains(QStringLiteral("sendmail")));
    }

    void messagesLeaveInOrder()
    {
        SendmailTransport t(m_clock);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        QSignalSpy failed(&t, &MailTransport::failed);
        QVERIFY(t.signOn());
        t.send(mail({QStringLiteral("a@x.com"), QStringLiteral(" b@y.org ")},
                    QStringLiteral("WXYZ Alarm"), QStringLiteral("first")));
        t.send(mail({QStringLiteral("c@x.com")}, QStringLiteral("WXYZ Alarm"),
                    QStringLiteral("second")));
        t.send(mail({QStringLiteral("d@x.com")}, QStringLiteral("WXYZ Test Message"),
                    QStringLiteral("third")));
        QCOMPARE(delivered.size(), 0); // nothing waited for inside send()
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 3, kWait);
        QCOMPARE(failed.size(), 0);
        QCOMPARE(args(1), QByteArray("-i\n--\na@x.com\nb@y.org\n"));
        QCOMPARE(args(2), QByteArray("-i\n--\nc@x.com\n"));
        QCOMPARE(args(3), QByteArray("-i\n--\nd@x.com\n"));
        QVERIFY(message(1).contains("\n\nfirst\n"));
        QVERIFY(message(1).contains("To: a@x.com,\n b@y.org\n"));
        QVERIFY(message(2).contains("\n\nsecond\n"));
        QVERIFY(message(3).contains("Subject: WXYZ Test Message\n"));
        QCOMPARE(t.pending(), 0);
    }

    void nonZeroExitIsReportedWithItsErrorText()
    {
        qputenv("FAKE_SENDMAIL_MODE", "fail");
        SendmailTransport t(m_clock);
        QSignalSpy failed(&t, &MailTransport::failed);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        QVERIFY(t.signOn());
        t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kWait);
        QCOMPARE(failed.at(0).at(0).toInt(), 75);
        QVERIFY(failed.at(0).at(1).toString().contains(QStringLiteral("relay refused")));
        QCOMPARE(delivered.size(), 0);
        QVERIFY(t.sessionId() != 0);
    }

    void hangingProgramIsStoppedAndTheQueueGoesOn()
    {
        setMode(1, "hang");
        SendmailTransport t(m_clock);
        t.setTimeLimit(1500);
        QSignalSpy failed(&t, &MailTransport::failed);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        QVERIFY(t.signOn());
        QElapsedTimer elapsed;
        elapsed.start();
        t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("first")));
        t.send(mail({QStringLiteral("b@x.com")}, QStringLiteral("second")));
        QVERIFY(elapsed.elapsed() < 1000); // send() hands over and returns
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, kWait);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), SendmailTransport::kTimedOut);
        QVERIFY(failed.at(0).at(1).toString().contains(QStringLiteral("1.5 s")));
        QCOMPARE(args(2), QByteArray("-i\n--\nb@x.com\n"));
    }

    void floodedErrorOutputIsCutForTheReport()
    {
        // 20 MB on stderr, then a failure: the report keeps only the start of it.
        installScript("cat > /dev/null\n"
                      "echo 'fake-sendmail: relay refused' >&2\n"
                      "head -c 20000000 /dev/zero | tr '\\000' x >&2\n"
                      "exit 75");
        SendmailTransport t(m_clock);
        QSignalSpy failed(&t, &MailTransport::failed);
        QVERIFY(t.signOn());
        t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kWait);
        QCOMPARE(failed.at(0).at(0).toInt(), 75);
        const QString description = failed.at(0).at(1).toString();
        QVERIFY(description.contains(QStringLiteral("relay refused")));
        QVERIFY2(description.size() < 1000, qPrintable(QString::number(description.size())));
    }

    void programThatHangsWhileFloodingIsStopped()
    {
        installScript("dir=$FAKE_SENDMAIL_DIR\n"
                      "if [ -e \"$dir/flooded\" ]; then cat > \"$dir/second\"; exit 0; fi\n"
                      ": > \"$dir/flooded\"\n"
                      "cat > /dev/null\n"
                      "exec yes flood >&2");
        SendmailTransport t(m_clock);
        t.setTimeLimit(1500);
        QSignalSpy failed(&t, &MailTransport::failed);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        QVERIFY(t.signOn());
        t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("first")));
        t.send(mail({QStringLiteral("b@x.com")}, QStringLiteral("second")));
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, kWait);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toInt(), SendmailTransport::kTimedOut);
        QVERIFY(readFile(out() + QStringLiteral("/second")).contains("Subject: second\n"));
        QCOMPARE(t.pending(), 0);
    }

    void destroyedWhileProgramRunsEndsIt()
    {
        installScript("echo $$ > \"$FAKE_SENDMAIL_DIR/pid\"\n"
                      "exec sleep 3600");
        const QString pidFile = out() + QStringLiteral("/pid");
        qint64 pid = 0;
        QElapsedTimer elapsed;
        {
            QTest::failOnWarning(QRegularExpression(QStringLiteral("Destroyed while process")));
            SendmailTransport t(m_clock);
            QVERIFY(t.signOn());
            t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("first")));
            t.send(mail({QStringLiteral("b@x.com")}, QStringLiteral("waiting")));
            QTRY_VERIFY_WITH_TIMEOUT(readFile(pidFile).trimmed().toLongLong() > 0, kWait);
            pid = readFile(pidFile).trimmed().toLongLong();
            QCOMPARE(t.pending(), 2);
            elapsed.start();
        }
        QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
        // Gone and reaped: no stray mail program, no zombie.
        QCOMPARE(::kill(pid_t(pid), 0), -1);
        QCOMPARE(errno, ESRCH);
    }

    void uiThreadKeepsRunningWhileProgramWorks()
    {
        qputenv("FAKE_SENDMAIL_MODE", "slow");
        qputenv("FAKE_SENDMAIL_DELAY", "2");
        SendmailTransport t(m_clock);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        int ticks = 0;
        int ticksAtDelivery = -1;
        QTimer ticker;
        ticker.setInterval(20);
        connect(&ticker, &QTimer::timeout, this, [&] { ++ticks; });
        connect(&t, &MailTransport::delivered, this, [&] { ticksAtDelivery = ticks; });
        ticker.start();
        QVERIFY(t.signOn());
        QElapsedTimer elapsed;
        elapsed.start();
        t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("slow")));
        QVERIFY(elapsed.elapsed() < 1000);
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, kWait);
        // Two seconds of 20 ms ticks: even a very busy machine delivers a handful.
        QVERIFY2(ticksAtDelivery >= 10, qPrintable(QString::number(ticksAtDelivery)));
        qunsetenv("FAKE_SENDMAIL_DELAY");
    }

    void programThatVanishedFailsToStart()
    {
        SendmailTransport t(m_clock);
        QSignalSpy failed(&t, &MailTransport::failed);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        QVERIFY(t.signOn());
        QVERIFY(QFile::remove(bin() + QStringLiteral("/sendmail")));
        t.send(mail({QStringLiteral("a@x.com")}, QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, kWait);
        QCOMPARE(failed.at(0).at(0).toInt(), SendmailTransport::kStartFailed);
        // The queue is not stuck: once the program is back, mail goes out again.
        QVERIFY(QFile::link(kFakeSendmail, bin() + QStringLiteral("/sendmail")));
        t.send(mail({QStringLiteral("b@x.com")}, QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, kWait);
    }

    void unsafeAddressesNeverReachTheCommandLine()
    {
        SendmailTransport t(m_clock);
        QSignalSpy failed(&t, &MailTransport::failed);
        QSignalSpy delivered(&t, &MailTransport::delivered);
        QVERIFY(t.signOn());
        t.send(mail({QStringLiteral("a@x.com\r\nb@evil.com"), QStringLiteral("-oQ/tmp/q@x.com"),
                     QStringLiteral("ok@x.com")},
                    QStringLiteral("WXYZ\r\nBcc: evil@y.com Alarm")));
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size(), 1, kWait);
        QCOMPARE(failed.size(), 2);
        QCOMPARE(failed.at(0).at(0).toInt(), SendmailTransport::kBadAddress);
        QVERIFY(!failed.at(0).at(1).toString().contains(QLatin1Char('\n')));
        QCOMPARE(args(1), QByteArray("-i\n--\nok@x.com\n"));
        const QByteArray m = message(1);
        const QByteArray head = m.left(m.indexOf("\n\n"));
        QVERIFY(!head.contains("\nBcc:"));
        QVERIFY(head.contains("\nSubject: WXYZ  Bcc: evil@y.com Alarm\n"));
        QVERIFY(("\n" + head).contains("\nTo: ok@x.com\n"));
    }

    void noUsableRecipientRunsNothing()
    {
        SendmailTransport t(m_clock);
        QSignalSpy failed(&t, &MailTransport::failed);
        QVERIFY(t.signOn());
        t.send(mail({QStringLiteral("")}, QStringLiteral("s")));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(t.pending(), 0);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(out() + QStringLiteral("/args.1")));
    }
};

QTEST_GUILESS_MAIN(TestSendmailTransport)
#include "tst_sendmailtransport.moc"
