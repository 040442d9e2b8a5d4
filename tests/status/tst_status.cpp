// The remote status through the station on fakes: what [status] switches on, what a
// client may ask and what it is told, over a real loopback socket.

#include "SilenceMonitor.h"
#include "StationRig.h"
#include "StatusService.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpServer>
#include <QtTest>

using namespace dovrane;
using namespace dovrane::test;

class tst_Status : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void request_data()
    {
        QTest::addColumn<QString>("ini");
        QTest::addColumn<double>("quiet");       // seconds of silence after a start; 0: no start
        QTest::addColumn<QByteArray>("request"); // "METHOD /path [token]", ";" between requests
        QTest::addColumn<int>("status");         // 0: nothing listens
        QTest::addColumn<QStringList>("body");   // in the answer; "!x": not in it
        QTest::addColumn<QString>("error");      // reported to the operator

        const QString on = QStringLiteral("[status]\nenabled=true\nlisten=127.0.0.1:PORT\n");
        const QString token = on + QStringLiteral("token=s3cret0123456789x\n");
        QTest::newRow("no [status]: nothing listens, nothing said")
            << QString() << 6.0 << QByteArray() << 0 << QStringList() << QString();
        QTest::newRow("silence alarm in the metrics")
            << on << 6.0 << QByteArray("GET /metrics") << 200
            << QStringList{"# TYPE dovrane_alarms_total counter",
                           "\ndovrane_alarm_active 1",
                           "\ndovrane_alarms_total 1",
                           "\ndovrane_monitoring 1",
                           "dovrane_build_info{version=\"2.",
                           "dovrane_level_dbfs{channel=\"left\"} -50.30",
                           "\ndovrane_silence_seconds 6"}
            << QString();
        QTest::newRow("status names the state and the facility, never an address")
            << on << 6.0 << QByteArray("GET /status") << 200
            << QStringList{"\"state\":\"ALARM\"",
                           "\"facility\":\"WXYZ\"",
                           "Email--> [address]",
                           "\"notifications\":[{\"count\":1,\"path\":\"mail\",\"result\":\"sent\"}",
                           "!example.org",
                           "!user",
                           "!pass"}
            << QString();
        QTest::newRow("idle and the page")
            << on << 0.0 << QByteArray("GET /") << 200 << QStringList{"status.js"} << QString();
        QTest::newRow("read-only")
            << on << 0.0 << QByteArray("POST /status") << 405 << QStringList() << QString();
        QTest::newRow("unknown path")
            << on << 0.0 << QByteArray("GET /x") << 404 << QStringList() << QString();
        QTest::newRow("token set: asked for on loopback too")
            << token << 0.0 << QByteArray("GET /metrics") << 401 << QStringList() << QString();
        QTest::newRow("token set: the page itself without it")
            << token << 0.0 << QByteArray("GET /") << 200 << QStringList{"status.js"} << QString();
        QTest::newRow("token set: wrong one") << token << 0.0 << QByteArray("GET /metrics s3cre")
                                              << 401 << QStringList() << QString();
        QTest::newRow("token set: given")
            << token << 0.0 << QByteArray("GET /metrics s3cret0123456789x") << 200
            << QStringList{"dovrane_monitoring 0", "\ndovrane_silence_seconds 0"} << QString();
        QTest::newRow("acting from afar needs a token set, on loopback too")
            << on << 6.0 << QByteArray("POST /ack") << 403 << QStringList{"set a token"}
            << QString();
        QTest::newRow("acting: wrong token")
            << token << 6.0 << QByteArray("POST /ack s3cre") << 401 << QStringList() << QString();
        QTest::newRow("acknowledged and suspended, in the metrics")
            << token << 6.0
            << QByteArray("POST /ack s3cret0123456789x;POST /suspend?minutes=30 "
                          "s3cret0123456789x;GET /metrics s3cret0123456789x")
            << 200
            << QStringList{"\ndovrane_alarm_acknowledged 1",
                           "\ndovrane_alarms_suspended 1",
                           "\ndovrane_alarms_suspended_until_timestamp_seconds 1150",
                           "\ndovrane_fault_active{kind=\"input_lost\"} 0",
                           "\ndovrane_outbox_pending ",
                           "\ndovrane_outbox_lost_total 0"}
            << QString();
        QTest::newRow("resumed, in the status")
            << token << 0.0
            << QByteArray("POST /suspend?minutes=5 s3cret0123456789x;POST /resume "
                          "s3cret0123456789x;GET /status s3cret0123456789x")
            << 200
            << QStringList{"\"suspendedUntil\":null", "\"activeFaults\":[]",
                           "\"outbox\":{\"lost\":0", "\"latestClips\":[]"}
            << QString();
        // 12 s of a constant level: no hum at all under it, and the figure says so.
        QTest::newRow("hum figure while the hum detector listens")
            << on + "[alarms]\nhum=true\n"
            << 12.0 << QByteArray("GET /metrics") << 200 << QStringList{"\ndovrane_hum_dbfs -150"}
            << QString();
        QTest::newRow("nothing to acknowledge")
            << token << 0.0 << QByteArray("POST /ack s3cret0123456789x") << 409
            << QStringList{"no alarm waiting"} << QString();
        QTest::newRow("suspend: minutes out of range")
            << token << 0.0 << QByteArray("POST /suspend?minutes=0 s3cret0123456789x") << 400
            << QStringList{"minutes=N"} << QString();
        QTest::newRow("suspend: a month at most")
            << token << 0.0 << QByteArray("POST /suspend?minutes=44641 s3cret0123456789x") << 400
            << QStringList{"N from 1 to 44640"} << QString();
        QTest::newRow("a certificate without its key: refused and said")
            << on + QStringLiteral("tls_cert=/nonexistent.pem\n") << 0.0 << QByteArray() << 0
            << QStringList()
            << QStringLiteral(
                   "[status] tls_key: needed with tls_cert (got \"\"; accepted: a readable "
                   "PEM file (RSA, EC or DSA key)) - not started");
        QTest::newRow("beyond loopback without a token: refused and said")
            << QStringLiteral("[status]\nenabled=true\nlisten=0.0.0.0:9877\n") << 0.0
            << QByteArray() << 0 << QStringList()
            << QStringLiteral("[status] listen: reaches other machines and needs a token (got "
                              "\"0.0.0.0:9877\"; accepted: host:port, [v6-address]:port or "
                              "localhost:port; port 1 to 65535) - not started");
    }
    void request()
    {
        QFETCH(QString, ini);
        QFETCH(double, quiet);
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(QStringList, body);
        QFETCH(QString, error);

        StationRig rig;
        rig.params(5, 500, 2);
        rig.user("WXYZ");
        rig.addressBook(
            {DataFolder::addressRecord('1', QStringLiteral("A"), QStringLiteral("a@example.org"))});
        QTcpServer probe; // a free port for the station
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const QString port = QString::number(probe.serverPort());
        probe.close();
        if (!ini.isEmpty())
            DataFolder::write(rig.paths.settingsFile(),
                              QString(ini).replace("PORT", port).toUtf8());
        Station& station = rig.start();
        if (quiet > 0) {
            station.startClicked();
            rig.run(quiet, FakeAudioInput::constantBuffer(100, -200));
        }
        QCOMPARE(rig.reported().filter(QStringLiteral("not started")),
                 error.isEmpty() ? QStringList() : QStringList{error});
        QCOMPARE(station.status().port() != 0, status != 0);
        if (status == 0)
            return;

        QNetworkAccessManager net;
        QByteArray text;
        const QList<QByteArray> requests = request.split(';');
        for (const QByteArray& one : requests) {
            const QList<QByteArray> words = one.split(' ');
            QNetworkRequest req(QUrl(QStringLiteral("http://127.0.0.1:%1%2")
                                         .arg(station.status().port())
                                         .arg(QString::fromLatin1(words[1]))));
            if (words.size() > 2)
                req.setRawHeader("Authorization", "Bearer " + words[2]);
            std::unique_ptr<QNetworkReply> reply(net.sendCustomRequest(req, words[0]));
            QSignalSpy finished(reply.get(), &QNetworkReply::finished);
            QVERIFY(finished.wait(5000));
            QCOMPARE(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                     &one == &requests.last() ? status : 200);
            text = reply->readAll();
        }
        for (const QString& part : body)
            QVERIFY2(text.contains(part.mid(part.startsWith('!')).toUtf8()) != part.startsWith('!'),
                     qPrintable(part + QStringLiteral(" in ") + QString::fromUtf8(text)));
    }
};

QTEST_GUILESS_MAIN(tst_Status)
#include "tst_status.moc"
