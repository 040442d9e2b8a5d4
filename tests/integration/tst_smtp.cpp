// Mail straight to an SMTP server: libcurl through STARTTLS and a login to the local
// sink, with a throw-away certificate made here.

#include "Clock.h"
#include "SmtpTransport.h"

#include <QtTest>

using namespace dovrane;

class tst_Smtp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void startTlsAndLogin()
    {
        QTemporaryDir dir;
        const QString cert = dir.filePath(QStringLiteral("cert.pem"));
        const QString key = dir.filePath(QStringLiteral("key.pem"));
        QCOMPARE(QProcess::execute(QStringLiteral("openssl"),
                                   {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                                    "-subj", "/CN=127.0.0.1", "-addext",
                                    "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", cert}),
                 0);
        QProcess sink;
        sink.start(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(DOVRANE_SOURCE_DIR "/tests/tools/smtp_sink.py"), "--dir",
                    dir.path(), "--cert", cert, "--key", key, "--password", "secret"});
        QVERIFY(sink.waitForReadyRead(30000));
        SystemClock clock;
        SmtpTransport smtp(clock);
        NotifySettings s;
        s.smtpServer = QStringLiteral("127.0.0.1");
        s.smtpPort = sink.readLine().trimmed().toInt();
        s.smtpUser = QStringLiteral("dovrane");
        s.smtpPassword = QStringLiteral("secret");
        s.smtpSender = QStringLiteral("Dovrane <dv@example.org>");
        s.smtpCaFile = cert;
        smtp.configure(s);
        QSignalSpy done(&smtp, &MailTransport::finished);
        QVERIFY(smtp.signOn());
        smtp.send({{QStringLiteral("a@example.org")}, QStringLiteral("WXYZ Silence Alarm"), "B"});
        s.smtpPassword = QStringLiteral("wrong"); // refused login: not delivered
        smtp.configure(s);
        smtp.send({{QStringLiteral("a@example.org")}, QStringLiteral("second"), "B"});
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 120000);
        QCOMPARE(done.at(0).at(0).toBool(), true);
        QCOMPARE(done.at(1).at(0).toBool(), false);
        QFile kept(dir.filePath(QStringLiteral("msg-1.json")));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        const QJsonObject m = QJsonDocument::fromJson(kept.readAll()).object();
        QCOMPARE(m.value("mail_from").toString(), QStringLiteral("dv@example.org"));
        QVERIFY(m.value("data").toString().contains(QStringLiteral("Subject: WXYZ Silence Alarm")));
        sink.terminate();
        sink.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(tst_Smtp)
#include "tst_smtp.moc"
