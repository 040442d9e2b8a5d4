#include "AddressBook.h"
#include "AlarmLog.h"
#include "AlarmMailer.h"
#include "AppState.h"
#include "SendmailTransport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace dovrane;

namespace {

const QString kSink = QStringLiteral(DOVRANE_SOURCE_DIR "/tests/tools/smtp_sink.py");
constexpr int kWait = 60000;

AddressRecord entry(char option, const QString& address)
{
    AddressRecord r;
    r.InUse = '1';
    r.SendOption = option;
    r.setContactName(QStringLiteral("Ops"));
    r.setAddress(address);
    for (int day = 1; day <= 7; ++day)
        r.DayChecked[day] = '0';
    return r;
}

} // namespace

// The whole road of an alarm mail on a Linux desktop: the sender, the sendmail
// program (msmtp through a wrapper on PATH), SMTP, and a local sink that keeps
// what arrives.
class TestMailMsmtp : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QProcess m_sink;
    QByteArray m_savedPath;

    QString sinkDir() const { return m_dir.filePath(QStringLiteral("sink")); }

    QJsonObject received(int n) const
    {
        QFile f(sinkDir() + QStringLiteral("/msg-%1.json").arg(n));
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QJsonDocument::fromJson(f.readAll()).object();
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("msmtp")).isEmpty())
            QSKIP("msmtp is not installed");
        QVERIFY(m_dir.isValid());
        m_sink.setProgram(QStringLiteral("/usr/bin/python3"));
        m_sink.setArguments({kSink, QStringLiteral("--dir"), sinkDir()});
        m_sink.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_sink.start();
        QVERIFY(m_sink.waitForStarted(kWait));
        QTRY_VERIFY_WITH_TIMEOUT(m_sink.canReadLine(), kWait);
        const int port = m_sink.readLine().trimmed().toInt();
        QVERIFY(port > 0);

        const QString config = m_dir.filePath(QStringLiteral("msmtprc"));
        QFile rc(config);
        QVERIFY(rc.open(QIODevice::WriteOnly));
        rc.write(QStringLiteral("account default\nhost 127.0.0.1\nport %1\nauth off\ntls off\n"
                                "from dovrane@studio.invalid\n")
                     .arg(port)
                     .toUtf8());
        rc.close();
        rc.setPermissions(QFile::ReadOwner | QFile::WriteOwner);

        const QString bin = m_dir.filePath(QStringLiteral("bin"));
        QVERIFY(QDir().mkpath(bin));
        QFile wrapper(bin + QStringLiteral("/sendmail"));
        QVERIFY(wrapper.open(QIODevice::WriteOnly));
        wrapper.write(
            QStringLiteral("#!/bin/sh\nexec msmtp -C '%1' \"$@\"\n").arg(config).toUtf8());
        wrapper.close();
        wrapper.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        m_savedPath = qgetenv("PATH");
        qputenv("PATH", bin.toLocal8Bit() + ':' + m_savedPath);
    }

    void cleanupTestCase()
    {
        if (!m_savedPath.isEmpty())
            qputenv("PATH", m_savedPath);
        if (m_sink.state() != QProcess::NotRunning) {
            m_sink.terminate();
            if (!m_sink.waitForFinished(10000))
                m_sink.kill();
            m_sink.waitForFinished(5000);
        }
    }

    void alarmAndTestMailArriveAsSent()
    {
        AppState state;
        state.Facility = QStringLiteral("Radio Z\u00fcrich");
        state.AddressBookFile =
            std::make_unique<RecordFile>(m_dir.filePath(QStringLiteral("AddressBook.dat")), 120);
        QVERIFY(state.AddressBookFile->open());
        AddressBook book(state);
        QVERIFY(book.write(1, entry('1', QStringLiteral("  chief@studio.example"))));
        QVERIFY(book.write(2, entry('0', QStringLiteral("never@studio.example"))));
        QVERIFY(book.write(3, entry('1', QStringLiteral("night@studio.example"))));
        QVERIFY(QDir().mkpath(DataPaths(m_dir.path()).logsDir()));

        SystemClock clock;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        AlarmLog log(state, clock, DataPaths(m_dir.path()), errors);
        SendmailTransport transport(clock);
        QSignalSpy delivered(&transport, &MailTransport::delivered);
        QSignalSpy failed(&transport, &MailTransport::failed);
        AlarmMailer mailer(state, clock, transport, log);

        state.MailSubject = state.Facility + QStringLiteral(" Alarm");
        state.MailBody = QStringLiteral("06-15-2006 14:03:27 Silence Alarm");
        mailer.SendMail();
        mailer.sendTestMessage(2);
        QTRY_COMPARE_WITH_TIMEOUT(delivered.size() + failed.size(), 2, kWait);
        QCOMPARE(failed.size(), 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(sinkDir() + QStringLiteral("/msg-2.json")), kWait);

        const QJsonObject alarm = received(1);
        QCOMPARE(alarm.value("rcpt_tos").toArray(),
                 (QJsonArray{"chief@studio.example", "night@studio.example"}));
        const QString alarmText = alarm.value("data").toString();
        QVERIFY(alarmText.contains(QStringLiteral("Subject: =?UTF-8?B?")));
        QVERIFY(alarmText.contains(QStringLiteral("Content-Type: text/plain; charset=UTF-8")));
        QVERIFY(
            alarmText.contains(QStringLiteral("\r\n\r\n06-15-2006 14:03:27 Silence Alarm\r\n")));
        const QString encoded =
            alarmText.section(QStringLiteral("Subject: "), 1).section(QStringLiteral("\r\n"), 0, 0);
        QCOMPARE(QString::fromUtf8(
                     QByteArray::fromBase64(encoded.mid(10, encoded.size() - 12).toLatin1())),
                 QStringLiteral("Radio Z\u00fcrich Alarm"));

        const QJsonObject test = received(2);
        QCOMPARE(test.value("rcpt_tos").toArray(), QJsonArray{"never@studio.example"});
        const QString testText = test.value("data").toString();
        QVERIFY(testText.contains(QStringLiteral("To: never@studio.example\r\n")));
        QVERIFY(testText.contains(QStringLiteral(" This is only a test.\r\n")));
        QCOMPARE(reported.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TestMailMsmtp)
#include "tst_mail_msmtp.moc"
