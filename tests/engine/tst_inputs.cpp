// Named inputs beside the main one, on fakes: each row is a Dovrane.ini, what the
// sources do over stepped time, and what comes out (the input's log lines, the
// mails and the journal), while the main input hears sound throughout.

#include "NamedInputs.h"
#include "NamedInputWatch.h"
#include "Settings.h"
#include "StationRig.h"
#include "StatusReport.h"
#include "StatusService.h"

#include <QtTest>

using namespace dovrane;
using namespace dovrane::test;

namespace {
const QDateTime kMonday(QDate(2006, 6, 19), QTime(12, 0));
const QByteArray kLoud = FakeAudioInput::toneBuffer(8000);
} // namespace

class tst_Inputs : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void road_data()
    {
        QTest::addColumn<int>("action"); // 1 page, 2 mail
        QTest::addColumn<QString>("ini");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("log");   // lines of the named inputs
        QTest::addColumn<QStringList>("mails"); // "subject|body"
        QTest::addColumn<QStringList>("journal");

        const QString fm = QStringLiteral("[input.FM]|source=fm|delay=3|");
        const QString web =
            QStringLiteral("[input.Web]|source=https://u:pw@x.example/live|delay=3|");
        QTest::newRow("silence on one input raises its own alarm, mailed naming it")
            << 2 << fm << QStringList{"start", "quiet 5", "sound 1"}
            << QStringList{"12:00:03 [FM] Silence Alarm", "12:00:05 [FM] Silence Alarm End"}
            << QStringList{"WXYZ FM Silence Alarm|06-19-2006 12:00:03 FM Silence Alarm",
                           "WXYZ FM Silence Alarm End|06-19-2006 12:00:05 FM Silence Alarm End"}
            << QStringList{"<4>WXYZ FM Silence Alarm 12:00:03",
                           "<5>WXYZ FM Silence Alarm End 12:00:05"};
        QTest::newRow("a stream that is down is not silence; silence counts from its return")
            << 2 << web << QStringList{"start",    "sound 1", "down connection refused",
                                       "quiet 10", "up",      "quiet 4"}
            << QStringList{"12:00:01 [Web] Stream Down: connection refused",
                           "12:00:11 [Web] Stream Back", "12:00:14 [Web] Silence Alarm"}
            << QStringList{"WXYZ Web Stream Down|06-19-2006 12:00:01 Web Stream Down: "
                           "connection refused",
                           "WXYZ Web Stream Back|06-19-2006 12:00:11 Web Stream Back",
                           "WXYZ Web Silence Alarm|06-19-2006 12:00:14 Web Silence Alarm"}
            << QStringList{"<4>WXYZ Web Stream Down 12:00:01: connection refused",
                           "<5>WXYZ Web Stream Back 12:00:11",
                           "<4>WXYZ Web Silence Alarm 12:00:14"};
        QTest::newRow("a stream connecting or stalled is not silent")
            << 0 << web << QStringList{"start", "stall 6", "sound 1", "stall 4", "quiet 4"}
            << QStringList{"12:00:14 [Web] Silence Alarm"} << QStringList{}
            << QStringList{"<4>WXYZ Web Silence Alarm 12:00:14"};
        QTest::newRow("log only: logged and journalled, nobody mailed")
            << 2 << fm + "notify=no|" << QStringList{"start", "quiet 4"}
            << QStringList{"12:00:03 [FM] Silence Alarm"} << QStringList{}
            << QStringList{"<4>WXYZ FM Silence Alarm 12:00:03"};
        QTest::newRow("it follows the main input: nothing while that is stopped")
            << 2 << fm << QStringList{"quiet 10"} << QStringList{} << QStringList{}
            << QStringList{};
        QTest::newRow("around the clock it is watched while the main input is stopped")
            << 2 << fm + "around_the_clock=yes|" << QStringList{"quiet 4"}
            << QStringList{"12:00:03 [FM] Silence Alarm"}
            << QStringList{"WXYZ FM Silence Alarm|06-19-2006 12:00:03 FM Silence Alarm"}
            << QStringList{"<4>WXYZ FM Silence Alarm 12:00:03"};
        QTest::newRow("disabled, it is never watched")
            << 2 << fm + "enabled=no|around_the_clock=yes|" << QStringList{"quiet 10"}
            << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("a dBFS threshold: -26 dBFS is silence under -20dBFS, -14 is not")
            << 2 << fm + "threshold=-20dBFS|"
            << QStringList{"start", "level 1638 4", "level 6535 2", "level 1638 2"}
            << QStringList{"12:00:03 [FM] Silence Alarm", "12:00:04 [FM] Silence Alarm End"}
            << QStringList{"WXYZ FM Silence Alarm|06-19-2006 12:00:03 FM Silence Alarm",
                           "WXYZ FM Silence Alarm End|06-19-2006 12:00:04 FM Silence Alarm End"}
            << QStringList{"<4>WXYZ FM Silence Alarm 12:00:03",
                           "<5>WXYZ FM Silence Alarm End 12:00:04"};
        QTest::newRow("a page action calls the list at the start only")
            << 1 << fm << QStringList{"start", "quiet 4", "sound 1"}
            << QStringList{"12:00:03 [FM] Silence Alarm", "12:00:03 5551001                 ",
                           "12:00:04 [FM] Silence Alarm End"}
            << QStringList{}
            << QStringList{"<4>WXYZ FM Silence Alarm 12:00:03",
                           "<5>WXYZ FM Silence Alarm End 12:00:04"};
        QTest::newRow("one input suspended: its alarm waits for the resume; the other's not")
            << 2 << fm + "[input.AM]|source=am|delay=3|"
            << QStringList{"start", "suspend input=FM 1h", "quiet 4", "resume input=FM", "quiet 1"}
            << QStringList{"12:00:00 [FM] Alarms Suspended until 2006-06-19 13:00 by a test",
                           "12:00:03 [AM] Silence Alarm", "12:00:04 [FM] Alarms Resumed by a test",
                           "12:00:04 [FM] Silence Alarm"}
            << QStringList{"WXYZ FM Alarms Suspended until 2006-06-19 13:00 by a test|06-19-2006 "
                           "12:00:00 FM Alarms Suspended until 2006-06-19 13:00 by a test",
                           "WXYZ AM Silence Alarm|06-19-2006 12:00:03 AM Silence Alarm",
                           "WXYZ FM Alarms Resumed by a test|06-19-2006 12:00:04 FM Alarms "
                           "Resumed by a test",
                           "WXYZ FM Silence Alarm|06-19-2006 12:00:04 FM Silence Alarm"}
            << QStringList{"<5>WXYZ FM Alarms Suspended until 2006-06-19 13:00 by a test 12:00:00",
                           "<4>WXYZ AM Silence Alarm 12:00:03",
                           "<5>WXYZ FM Alarms Resumed by a test 12:00:04",
                           "<4>WXYZ FM Silence Alarm 12:00:04"};
        QTest::newRow("told again each repeat time until acknowledged, then not")
            << 2 << fm + "[notify]|repeat_minutes=1|"
            << QStringList{"start", "quiet 64", "ack input=FM", "quiet 70"}
            << QStringList{"12:00:03 [FM] Silence Alarm", "12:01:04 [FM] Alarm Acknowledged"}
            << QStringList{"WXYZ FM Silence Alarm|06-19-2006 12:00:03 FM Silence Alarm",
                           "WXYZ FM Silence Alarm again|06-19-2006 12:01:03 FM Silence Alarm "
                           "again"}
            << QStringList{"<4>WXYZ FM Silence Alarm 12:00:03",
                           "<4>WXYZ FM Silence Alarm again 12:01:03",
                           "<5>WXYZ FM Alarm acknowledged"};
        QTest::newRow("suspending the station holds every input")
            << 2 << fm << QStringList{"start", "suspend 1h", "quiet 5"} << QStringList{}
            << QStringList{"WXYZ Alarms Suspended until 2006-06-19 13:00 by a test|06-19-2006 "
                           "12:00:00 Alarms Suspended until 2006-06-19 13:00 by a test"}
            << QStringList{"<5>WXYZ Alarms Suspended until 2006-06-19 13:00 by a test 12:00:00"};
        QTest::newRow("a card that will not start is lost, tried again in 5 s, back at once")
            << 0 << fm << QStringList{"busy", "start", "quiet 6", "faults "}
            << QStringList{"12:00:00 [FM] Input Lost: Device busy", "12:00:05 [FM] Input Back"}
            << QStringList{}
            << QStringList{"<4>WXYZ FM Input Lost 12:00:00: Device busy",
                           "<5>WXYZ FM Input Back 12:00:05"};
        QTest::newRow("a dead channel and reversed phase where the input watches them")
            << 0 << fm + "detectors=channel_loss, phase|" << QStringList{"start",
                                                                         "level 5000 0 4",
                                                                         "faults channel_loss",
                                                                         "level 5000 -5000 4",
                                                                         "faults phase_reversed",
                                                                         "sound 1",
                                                                         "faults "}
            << QStringList{"12:00:03 [FM] Channel Loss", "12:00:04 [FM] Channel Back",
                           "12:00:07 [FM] Phase Reversed", "12:00:08 [FM] Phase Normal"}
            << QStringList{}
            << QStringList{"<4>WXYZ FM Channel Loss 12:00:03", "<5>WXYZ FM Channel Back 12:00:04",
                           "<4>WXYZ FM Phase Reversed 12:00:07",
                           "<5>WXYZ FM Phase Normal 12:00:08"};
    }

    void road()
    {
        QFETCH(int, action);
        QFETCH(QString, ini);
        QFETCH(QStringList, script);
        QFETCH(QStringList, log);
        QFETCH(QStringList, mails);
        QFETCH(QStringList, journal);

        StationRig rig(kMonday);
        rig.params(100, 300, action);
        rig.connection();
        rig.callList({DataFolder::callRecord('1', "Alice", "5551001")});
        rig.addressBook({DataFolder::addressRecord('1', "A", "a@example.org")});
        rig.user("WXYZ");
        rig.serial.autoReply = "OK\r\n";
        DataFolder::write(rig.paths.settingsFile(), ini.replace(u'|', u'\n').toLatin1());
        Station& station = rig.start();
        QVERIFY(!rig.named.empty());
        const QString source = rig.named.begin()->first;
        QVERIFY2(rig.reported().isEmpty(), qPrintable(rig.reported().join(u'\n')));

        for (const QString& step : script) {
            const QStringList w = step.split(u' ');
            QByteArray buffer = FakeAudioInput::silenceBuffer();
            if (w[0] == QLatin1String("start")) {
                station.startClicked();
                continue;
            }
            if (w[0] == QLatin1String("down") || w[0] == QLatin1String("up")) {
                // A stream that is down delivers nothing until it is back.
                FakeAudioInput* input = rig.named[source];
                if (w[0] == QLatin1String("down")) {
                    input->stop();
                    Q_EMIT input->captureLost(step.mid(5));
                } else {
                    QVERIFY(input->start());
                    Q_EMIT input->captureRegained(QStringLiteral("MP3"));
                }
                continue;
            }
            if (w[0] == QLatin1String("busy")) {
                rig.named[source]->failNextStarts(1);
                continue;
            }
            if (w[0] == QLatin1String("faults")) { // what the status tells, by kind
                const NamedInputWatch* watch = station.inputs().watches().front();
                QCOMPARE(watch->activeFaults().join(u','), step.mid(7));
                const QByteArray metrics = metricsText(station.status().facts());
                for (const QString& kind : watch->activeFaults())
                    QVERIFY(metrics.contains("kind=\"" + kind.toUtf8() + "\"} 1"));
                continue;
            }
            if (w[0] == QLatin1String("suspend") || w[0] == QLatin1String("resume") ||
                w[0] == QLatin1String("ack")) {
                const auto a =
                    station.command(w[0], step.section(u' ', 1), QStringLiteral("a test"));
                QVERIFY2(a.done, qPrintable(a.text));
                continue;
            }
            if (w[0] == QLatin1String("sound"))
                buffer = kLoud;
            else if (w[0] == QLatin1String("level"))
                buffer = FakeAudioInput::constantBuffer(
                    qint16(w[1].toInt()), qint16(w.size() > 3 ? w[2].toInt() : w[1].toInt()));
            for (double t = 0; t < w.last().toDouble() - 1e-9; t += 0.025) {
                rig.clock.advance(0.025);
                rig.audio.push(kLoud);
                for (auto& [name, input] : rig.named)
                    if (w[0] != QLatin1String("stall"))
                        input->push(buffer);
            }
        }

        QStringList named;
        for (const QString& line : rig.log())
            if (line.mid(9).startsWith(u'[') || line.contains(QLatin1String("5551001")))
                named << line;
        QCOMPARE(named, log);
        QStringList sent;
        for (const MailMessage& m : rig.mail.sent)
            sent << m.subject + u'|' + m.body;
        QCOMPARE(sent, mails);
        QStringList said;
        for (const QString& line : rig.journalLines())
            if (!line.contains(QLatin1String("Manual")))
                said << line;
        QCOMPARE(said, journal);
        // The status names each input with its state; the main input's series stay.
        const StatusFacts facts = station.status().facts(true);
        const QByteArray json = statusJson(facts);
        const QByteArray metrics = metricsText(facts);
        const NamedInputWatch* w = station.inputs().watches().front();
        QVERIFY(json.contains("\"inputs\":[{") &&
                json.contains("\"state\":\"" + w->state().toUtf8()));
        QVERIFY(metrics.contains("dovrane_input_alarm_active{input=\"" + w->name().toUtf8() +
                                 "\"} " + QByteArray::number(int(w->alarmOn()))));
        QVERIFY(metrics.contains("dovrane_alarm_active 0"));
        // No credential of a stream's address reaches any output.
        QVERIFY(!(rig.log() + said + sent).join(u'\n').contains(QLatin1String("pw")));
        QVERIFY(!json.contains("pw") && !json.contains("/live"));
    }

    /// Every bad value of a named input's section is a problem naming that section.
    void badSections()
    {
        DataFolder folder;
        DataFolder::write(folder.paths.settingsFile(),
                          "[input.FM]\nthreshold=-120dBFS\ndetectors=hum\ndelay=0\n"
                          "[input.bad name]\nsource=x\n[input.AM]\nsource=am\nsoruce=x\n"
                          "around_the_clock=off\n");
        Settings settings(folder.paths.settingsFile());
        settings.declareFamily<NamedInputSettings>("input");
        const Settings::Report r = settings.check();
        QCOMPARE(
            r.problems.join(u'\n'),
            "[input.AM] soruce: unknown key, did you mean source? (got \"soruce\"; accepted: "
            "source, enabled, threshold, delay, down_after, detectors, notify, "
            "around_the_clock)\n"
            "[input.bad name] source: not a name for the section (got \"[input.bad name]\"; "
            "accepted: [input.NAME], NAME 1 to 32 letters, digits, - and _)\n"
            "[input.FM] threshold: neither dBFS nor a level (got \"-120dBFS\"; accepted: "
            "-96dBFS to 0dBFS, or 0 to 32767)\n"
            "[input.FM] delay: out of range (got \"0\"; accepted: 1 to 3600 (seconds; 30s, 5m, "
            "1h))\n"
            "[input.FM] source: missing (got \"\"; accepted: a source name or a stream "
            "address)\n"
            "[input.FM] detectors: unknown detector (got \"hum\"; accepted: channel_loss, "
            "phase)");
        QCOMPARE(r.notes, QStringList({"[input.AM] around_the_clock: means off; earlier releases "
                                       "read it as on (got \"off\"; accepted: true/false, yes/no, "
                                       "on/off, 1/0)"}));
        QCOMPARE(NamedInputSettings::thresholdText(104), "-50dBFS");
        QCOMPARE(NamedInputSettings::parseThreshold("-6 dBFS"), 16422);
    }
};

QTEST_GUILESS_MAIN(tst_Inputs)
#include "tst_inputs.moc"
