#include "Clock.h"
#include "SendmailTransport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
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

MailMessage mail(const QString& to, const QString& subject,
                 const QString& body = QStringLiteral("body"))
{
    return MailMessage{{to}, subject, body};
}

// A signed-on transport with spies on its outcome signals.
struct Transport
{
    explicit Transport(Clock& clock, int timeLimitMs = SendmailTransport::kDefaultTimeLimitMs,
                       bool signsOn = true)
        : t(clock)
    {
        t.setTimeLimit(timeLimitMs);
        QCOMPARE(t.signOn(), signsOn);
    }
    SendmailTransport t;
    QSignalSpy failed{&t, &MailTransport::failed};
    QSignalSpy delivered{&t, &MailTransport::delivered};
    [[nodiscard]] int failure(int i) const { return failed.at(i).at(0).toInt(); }
    [[nodiscard]] QString description(int i) const { return failed.at(i).at(1).toString(); }
};

} // namespace

class TestSendmailTransport : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QByteArray m_savedPath;
    SystemClock m_clock;

    QString bin() const { return m_dir->filePath(QStringLiteral("bin")); }
    QString out(const QString& name = {}) const
    {
        return m_dir->filePath(QStringLiteral("out/") + name);
    }
    QByteArray args(int n) const { return readFile(out(QStringLiteral("args.%1").arg(n))); }
    QByteArray message(int n) const { return readFile(out(QStringLiteral("message.%1").arg(n))); }
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

private Q_SLOTS:
    void initTestCase() { m_savedPath = qgetenv("PATH"); }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
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

    void signOnWithoutProgramFails()
    {
        if (QFileInfo::exists(QStringLiteral("/usr/sbin/sendmail")) ||
            QFileInfo::exists(QStringLiteral("/usr/lib/sendmail")))
            QSKIP("this machine has a system sendmail");
        qputenv("PATH", out().toLocal8Bit());
        Transport r(m_clock, SendmailTransport::kDefaultTimeLimitMs, false);
        QCOMPARE(r.t.sessionId(), 0);
        QCOMPARE(r.failed.size(), 1);
        QCOMPARE(r.failure(0), SendmailTransport::kNoProgram);
        QVERIFY(r.description(0).contains(QStringLiteral("sendmail")));
    }

    void messagesLeaveInOrder()
    {
        Transport r(m_clock);
        QVERIFY(r.t.sessionId() != 0);
        QCOMPARE(r.t.program(), bin() + QStringLiteral("/sendmail"));
        r.t.send(MailMessage{{QStringLiteral("a@x.com"), QStringLiteral(" b@y.org ")},
                             QStringLiteral("WXYZ Alarm"),
                             QStringLiteral("first")});
        r.t.send(mail(QStringLiteral("c@x.com"), QStringLiteral("WXYZ Alarm"),
                      QStringLiteral("second")));
        r.t.send(mail(QStringLiteral("d@x.com"), QStringLiteral("WXYZ Test Message")));
        QCOMPARE(r.delivered.size(), 0); // nothing waited for inside send()
        QTRY_COMPARE_WITH_TIMEOUT(r.delivered.size(), 3, kWait);
        QCOMPARE(r.failed.size(), 0);
        QCOMPARE(args(1), QByteArray("-i\n--\na@x.com\nb@y.org\n"));
        QCOMPARE(args(2), QByteArray("-i\n--\nc@x.com\n"));
        QCOMPARE(args(3), QByteArray("-i\n--\nd@x.com\n"));
        QVERIFY(message(1).contains("To: a@x.com,\n b@y.org\n"));
        QVERIFY(message(1).endsWith("\n\nfirst\n"));
        QVERIFY(message(2).endsWith("\n\nsecond\n"));
        QVERIFY(message(3).contains("Subject: WXYZ Test Message\n"));
        QCOMPARE(r.t.pending(), 0);
        r.t.signOff();
        QCOMPARE(r.t.sessionId(), 0);
    }

    void nonZeroExitIsReportedWithItsErrorText()
    {
        qputenv("FAKE_SENDMAIL_MODE", "fail");
        Transport r(m_clock);
        r.t.send(mail(QStringLiteral("a@x.com"), QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(r.failed.size(), 1, kWait);
        QCOMPARE(r.failure(0), 75);
        QVERIFY(r.description(0).contains(QStringLiteral("relay refused")));
        QCOMPARE(r.delivered.size(), 0);
        QVERIFY(r.t.sessionId() != 0);
    }

    void hangingProgramIsStoppedAndTheQueueGoesOn()
    {
        QFile mode(out(QStringLiteral("mode.1")));
        QVERIFY(mode.open(QIODevice::WriteOnly) && mode.write("hang") == 4);
        mode.close();
        Transport r(m_clock, 1500);
        QElapsedTimer elapsed;
        elapsed.start();
        r.t.send(mail(QStringLiteral("a@x.com"), QStringLiteral("first")));
        r.t.send(mail(QStringLiteral("b@x.com"), QStringLiteral("second")));
        QVERIFY(elapsed.elapsed() < 1000); // send() hands over and returns
        QTRY_COMPARE_WITH_TIMEOUT(r.delivered.size(), 1, kWait);
        QCOMPARE(r.failed.size(), 1);
        QCOMPARE(r.failure(0), SendmailTransport::kTimedOut);
        QVERIFY(r.description(0).contains(QStringLiteral("1.5 s")));
        QCOMPARE(args(2), QByteArray("-i\n--\nb@x.com\n"));
    }

    void floodedErrorOutputIsCutForTheReport()
    {
        // 20 MB on stderr, then a failure: the report keeps only the start of it.
        installScript("cat > /dev/null\n"
                      "echo 'fake-sendmail: relay refused' >&2\n"
                      "head -c 20000000 /dev/zero | tr '\\000' x >&2\n"
                      "exit 75");
        Transport r(m_clock);
        r.t.send(mail(QStringLiteral("a@x.com"), QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(r.failed.size(), 1, kWait);
        QCOMPARE(r.failure(0), 75);
        QVERIFY(r.description(0).contains(QStringLiteral("relay refused")));
        QVERIFY2(r.description(0).size() < 1000,
                 qPrintable(QString::number(r.description(0).size())));
    }

    void programThatHangsWhileFloodingIsStopped()
    {
        installScript("dir=$FAKE_SENDMAIL_DIR\n"
                      "if [ -e \"$dir/flooded\" ]; then cat > \"$dir/second\"; exit 0; fi\n"
                      ": > \"$dir/flooded\"\n"
                      "cat > /dev/null\n"
                      "exec yes flood >&2");
        Transport r(m_clock, 1500);
        r.t.send(mail(QStringLiteral("a@x.com"), QStringLiteral("first")));
        r.t.send(mail(QStringLiteral("b@x.com"), QStringLiteral("second")));
        QTRY_COMPARE_WITH_TIMEOUT(r.delivered.size(), 1, kWait);
        QCOMPARE(r.failed.size(), 1);
        QCOMPARE(r.failure(0), SendmailTransport::kTimedOut);
        QVERIFY(readFile(out(QStringLiteral("second"))).contains("Subject: second\n"));
        QCOMPARE(r.t.pending(), 0);
    }

    void destroyedWhileProgramRunsEndsIt()
    {
        installScript("echo $$ > \"$FAKE_SENDMAIL_DIR/pid\"\n"
                      "exec sleep 3600");
        const QString pidFile = out(QStringLiteral("pid"));
        qint64 pid = 0;
        QElapsedTimer elapsed;
        {
            QTest::failOnWarning(QRegularExpression(QStringLiteral("Destroyed while process")));
            Transport r(m_clock);
            r.t.send(mail(QStringLiteral("a@x.com"), QStringLiteral("first")));
            r.t.send(mail(QStringLiteral("b@x.com"), QStringLiteral("waiting")));
            QTRY_VERIFY_WITH_TIMEOUT(readFile(pidFile).trimmed().toLongLong() > 0, kWait);
            pid = readFile(pidFile).trimmed().toLongLong();
            QCOMPARE(r.t.pending(), 2);
            elapsed.start();
        }
        QVERIFY2(elapsed.elapsed() < 10000, qPrintable(QString::number(elapsed.elapsed())));
        // Gone and reaped: no stray mail program, no zombie.
        QCOMPARE(::kill(pid_t(pid), 0), -1);
        QCOMPARE(errno, ESRCH);
    }

    void programThatVanishedFailsToStart()
    {
        Transport r(m_clock);
        QVERIFY(QFile::remove(bin() + QStringLiteral("/sendmail")));
        r.t.send(mail(QStringLiteral("a@x.com"), QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(r.failed.size(), 1, kWait);
        QCOMPARE(r.failure(0), SendmailTransport::kStartFailed);
        // The queue is not stuck: once the program is back, mail goes out again.
        QVERIFY(QFile::link(kFakeSendmail, bin() + QStringLiteral("/sendmail")));
        r.t.send(mail(QStringLiteral("b@x.com"), QStringLiteral("s")));
        QTRY_COMPARE_WITH_TIMEOUT(r.delivered.size(), 1, kWait);
    }

    void unsafeAddressesNeverReachTheCommandLine()
    {
        Transport r(m_clock);
        r.t.send(MailMessage{{QStringLiteral("a@x.com\r\nb@evil.com"),
                              QStringLiteral("-oQ/tmp/q@x.com"), QStringLiteral("ok@x.com")},
                             QStringLiteral("WXYZ\r\nBcc: evil@y.com Alarm"),
                             QStringLiteral("body")});
        QTRY_COMPARE_WITH_TIMEOUT(r.delivered.size(), 1, kWait);
        QCOMPARE(r.failed.size(), 2);
        QCOMPARE(r.failure(0), SendmailTransport::kBadAddress);
        QVERIFY(!r.description(0).contains(QLatin1Char('\n')));
        QCOMPARE(args(1), QByteArray("-i\n--\nok@x.com\n"));
        const QByteArray head = "\n" + message(1).left(message(1).indexOf("\n\n"));
        QVERIFY(!head.contains("\nBcc:"));
        QVERIFY(head.contains("\nSubject: WXYZ  Bcc: evil@y.com Alarm\n"));
        QVERIFY(head.contains("\nTo: ok@x.com\n"));
        // No usable recipient at all: the program is not run.
        r.t.send(mail(QString(), QStringLiteral("s")));
        QCOMPARE(r.failed.size(), 3);
        QCOMPARE(r.t.pending(), 0);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(out(QStringLiteral("args.2"))));
    }
};

QTEST_GUILESS_MAIN(TestSendmailTransport)
#include "tst_sendmailtransport.moc"
