// Notifications through the outbox on fakes: retries on the stepped clock, expiry,
// what a restart finds, the GSM dialogue bytes, repeats until acknowledged.

#include "AlarmMailer.h"
#include "Notifications.h"
#include "SilenceMonitor.h"
#include "StationRig.h"

#include <QtTest>

using namespace dovrane;
using namespace dovrane::test;

class tst_Notify : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void outboxRoad_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<int>("sent");
        QTest::addColumn<QByteArray>("modem");
        QTest::addColumn<QList<int>>("pendingLost"); // and the operator's error reports
        const QByteArray gsm = "[notify]\ngsm=true\n";
        const QByteArray text = "WXYZ Silence Alarm 12:00:01\x1a";
        QTest::newRow("a failed mail goes again after 30 s and 1 min, then never")
            << QByteArray()
            << QStringList{"refuse", "mail", "wait 29", "wait 2", "accept", "wait 60", "wait 900"}
            << 3 << QByteArray() << QList<int>{0, 0, 3};
        QTest::newRow("a mail nobody takes is lost after 24 h, tried 149 times")
            << QByteArray() << QStringList{"refuse", "mail", "wait 87000"} << 149 << QByteArray()
            << QList<int>{0, 1, 3};
        QTest::newRow("mails left at exit go out once at the next start")
            << QByteArray()
            << QStringList{"refuse", "mail", "mail", "mail", "accept", "restart", "wait 900"} << 6
            << QByteArray() << QList<int>{0, 0, 0};
        QTest::newRow("GSM texts each number; ERROR to the first is tried again after 30 s")
            << gsm
            << QStringList{"modem ERROR\r\n", "alarm", "modem OK\r\n> \r\n+CMGS: 7\r\nOK\r\n",
                           "wait 31"}
            << 0
            << "AT+CMGF=1\rAT+CMGF=1\rAT+CMGF=1\rAT+CMGS=\"5551001\"\r" + text +
                   "AT+CMGF=1\rAT+CMGS=\"5553003\"\r" + text
            << QList<int>{0, 0, 4};
        QTest::newRow("an alarm nobody acknowledges is mailed again every 5 min")
            << QByteArray("[notify]\nrepeat_minutes=5\n")
            << QStringList{"mailplan", "alarm", "wait 600", "ack", "wait 900"} << 3 << QByteArray()
            << QList<int>{0, 0, 0};
    }
    void outboxRoad()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, script);
        QFETCH(int, sent);
        QFETCH(QByteArray, modem);
        QFETCH(QList<int>, pendingLost);

        StationRig rig;
        rig.params(2, 300, 1);
        rig.connection();
        rig.callList({DataFolder::callRecord('1', "Alice", "5551001"),
                      DataFolder::callRecord('1', "Carol", "5553003")});
        rig.addressBook({DataFolder::addressRecord('1', "A", "a@example.org")});
        rig.user("WXYZ");
        DataFolder::write(rig.paths.settingsFile(), ini);
        Station* station = &rig.start();
        for (const QString& step : script) {
            const QString arg = step.section(QLatin1Char(' '), 1);
            if (step == QLatin1String("refuse") || step == QLatin1String("accept"))
                rig.mail.accept = step == QLatin1String("accept");
            else if (step == QLatin1String("mail"))
                station->mailer().SendMail(QStringLiteral("S"), QStringLiteral("B"));
            else if (step == QLatin1String("mailplan")) {
                rig.params(2, 300, 2);
                station->reload();
            } else if (step == QLatin1String("restart")) {
                rig.station.reset();
                station = &rig.start();
            } else if (step.startsWith(QLatin1String("modem")))
                rig.serial.autoReply = arg.toLatin1();
            else if (step == QLatin1String("alarm")) {
                station->startClicked();
                rig.run(3.5, FakeAudioInput::constantBuffer(100, 0));
            } else if (step == QLatin1String("ack"))
                QVERIFY(station->acknowledge());
            else
                rig.clock.advance(arg.toDouble());
        }
        QCOMPARE(rig.mail.sent.size(), sent);
        QCOMPARE(rig.serial.written, modem);
        const Outbox& outbox = station->notifications().outbox();
        QCOMPARE((QList<int>{outbox.pending(), outbox.lost(), int(rig.errors->size())}),
                 pendingLost);
        QCOMPARE(QDir(outbox.folder()).entryList(QDir::Files).size(), pendingLost[0]);
        if (script.contains(QStringLiteral("ack")))
            QVERIFY(rig.log().contains(QStringLiteral("12:10:03 Alarm Acknowledged   ")));
    }
};

QTEST_GUILESS_MAIN(tst_Notify)
#include "tst_notify.moc"
