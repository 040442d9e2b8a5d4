// The station's whole road on fakes: data files in, clicks, sound and silence over
// stepped time, and out come the alarm log lines, the modem bytes and the mails.

#include "AlarmPlan.h"
#include "ClipRecorder.h"
#include "PagerDialer.h"
#include "SilenceMonitor.h"
#include "StationRig.h"

#include <QtTest>

using namespace dovrane;
using namespace dovrane::test;

namespace {

const QDateTime kMonday(QDate(2006, 6, 19), QTime(12, 0)); // a Monday
const QByteArray kLoud = FakeAudioInput::toneBuffer(8000);
const QByteArray kQuiet = FakeAudioInput::constantBuffer(100, -200);
const QByteArray kSetup = "ATZ\rATS7=60\rATS0=0Q0V1X4&C1&D2M1\r";

QByteArray dial(const QByteArray& number)
{
    const QByteArray field = number.leftJustified(24, ' ');
    return "ATDT " + number + "@*99*" + field + "\r";
}

QString alarm(const char* time)
{
    return QLatin1String(time) + QStringLiteral(" Alarm") + QString(16, QLatin1Char(' '));
}

QString alarmEnd(const char* time)
{
    return QLatin1String(time) + QStringLiteral(" Alarm End") + QString(12, QLatin1Char(' '));
}

QString call(const char* time, const char* number)
{
    return QLatin1String(time) + QLatin1Char(' ') + QString::fromLatin1(number).leftJustified(24);
}

QString mailed(const char* time, const char* address)
{
    return QLatin1String(time) + QStringLiteral(" Email--> ") +
           QString::fromLatin1(address).leftJustified(39);
}

} // namespace

class tst_Station : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    /// The control channel's commands, one after another on Monday 12:00.
    void commands()
    {
        StationRig rig(kMonday);
        rig.user("WXYZ-FM");
        Station& station = rig.start();
        const QList<QPair<QString, QString>> table = {
            {"ack", "0 no alarm waiting to be acknowledged"},
            {"suspend 90s", "1 alarms suspended until 12:01:30"},
            {"suspend 1h30m", "1 alarms suspended until 13:30:00"},
            {"suspend 45", "1 alarms suspended until 12:45:00"},
            {"suspend until 2006-06-20T06:00", "1 alarms suspended until 2006-06-20 06:00:00"},
            {"suspend until 2006-06-19T11:00", "0 cannot suspend: 2006-06-19 11:00:00 is already"},
            {"suspend 32d", "0 cannot suspend: \"32d\" is no duration"},
            {"resume", "1 alarms resumed"},
            {"resume", "0 alarms were not suspended"},
            {"stop", "0 not monitoring"},
            {"start", "1 monitoring"},
            {"start", "0 already monitoring"},
            {"stop", "1 stopped"},
        };
        QStringList told; // every suspension and resume is an event naming who asked
        connect(&station, &Station::eventRaised, this,
                [&told](const StationEvent& e) { told << e.name() + u' ' + e.text; });
        for (const auto& [line, expected] : table) {
            const Station::CommandAnswer a = station.command(
                line.section(u' ', 0, 0), line.section(u' ', 1), QStringLiteral("HTTP from ::1"));
            QVERIFY2((QString::number(a.done) + u' ' + a.text).startsWith(expected),
                     qPrintable(line + QStringLiteral(": ") + a.text));
        }
        // Suspended and resumed once, started and stopped once, as by hand.
        QCOMPARE(rig.logLines(kMonday.date()).mid(2),
                 QStringList({"12:00:00 Manual Start Sensor", "12:00:00 Manual Stop Sensor"}));
        QCOMPARE(told.size(), 5);
        QCOMPARE(
            told.first(),
            "alarms_suspended WXYZ-FM Alarms Suspended until 2006-06-19 12:01 by HTTP from ::1 "
            "12:00:00");
        QCOMPARE(told.last(), "alarms_resumed WXYZ-FM Alarms Resumed by HTTP from ::1 12:00:00");
    }

    void alarmRoad_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<int>("action"); // 0 none, 1 page, 2 mail
        QTest::addColumn<int>("delay");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("log");    // every line of the start day
        QTest::addColumn<QByteArray>("modem");   // every byte written to the port
        QTest::addColumn<QStringList>("mails");  // "recipients|subject|body"
        QTest::addColumn<QStringList>("errors"); // shown to the operator

        const QString start = QStringLiteral("12:00:00 Manual Start Sensor");
        const QStringList none;
        // The silence is counted in whole seconds rounded half to even, so a delay of
        // 5 s is reached 4.6 s after the last sound.
        QTest::newRow("silence pages the call list, skipping a deleted entry")
            << kMonday << 1 << 5 << QStringList{"start", "quiet 60"}
            << QStringList{start, alarm("12:00:04"), call("12:00:04", "5551001"),
                           call("12:00:29", "5553003")}
            << kSetup + dial("5551001") + "+++,H" + kSetup + dial("5553003") + "+++,H" << none
            << none;
        const QString alarmMail =
            QStringLiteral("a@example.org,c@example.org|WXYZ Alarm|06-19-2006 %1 %2Silence Alarm");
        QTest::newRow("silence and its end mail the qualifying entries")
            << kMonday << 2 << 5 << QStringList{"start", "quiet 7", "sound 2"}
            << QStringList{start,
                           alarm("12:00:04"),
                           mailed("12:00:04", "a@example.org"),
                           mailed("12:00:04", "c@example.org"),
                           alarmEnd("12:00:07"),
                           mailed("12:00:07", "a@example.org"),
                           mailed("12:00:07", "c@example.org")}
            << QByteArray()
            << QStringList{alarmMail.arg("12:00:04", ""), alarmMail.arg("12:00:07", "End ")}
            << none;
        QTest::newRow("sound keeps the alarm away; quiet below the threshold does not")
            << kMonday << 2 << 5 << QStringList{"start", "sound 20", "quiet 4.5", "sound 2"}
            << QStringList{start} << QByteArray() << none << none;
        QTest::newRow("a second of silence starts the release time again")
            << kMonday << 0 << 5 << QStringList{"ini:[alarms]|release_secs=3",
                                                "start",
                                                "quiet 7",
                                                "sound 2",
                                                "quiet 1",
                                                "sound 4"}
            << QStringList{start, alarm("12:00:04"), alarmEnd("12:00:13")} << QByteArray() << none
            << none;
        QTest::newRow("no buffers at all count as silence")
            << kMonday << 0 << 3 << QStringList{"start", "gap 4"}
            << QStringList{start, alarm("12:00:02")} << QByteArray() << none << none;
        QTest::newRow("stop during the alarm: no end line, no end mail")
            << kMonday << 2 << 2 << QStringList{"start", "quiet 3", "stop", "sound 3"}
            << QStringList{start, alarm("12:00:01"), mailed("12:00:01", "a@example.org"),
                           mailed("12:00:01", "c@example.org"), "12:00:03 Manual Stop Sensor"}
            << QByteArray() << QStringList{alarmMail.arg("12:00:01", "")} << none;
        // Under a second of silence ends the alarm in the same tick that raised it.
        QTest::newRow("delay 0 raises and ends at every tick")
            << kMonday << 0 << 0 << QStringList{"start", "quiet 0.1"}
            << QStringList{start, alarm("12:00:00"), alarmEnd("12:00:00")} << QByteArray() << none
            << none;
        QTest::newRow("five failed starts log the loop error")
            << kMonday << 0 << 5 << QStringList{"fail 5", "start", "gap 10"}
            << QStringList{start, "12:00:00 Loop error in Start"} << QByteArray() << none
            << QStringList(5, "Device busy");
        QTest::newRow("the fifth start works")
            << kMonday << 0 << 5 << QStringList{"fail 4", "start", "gap 6"}
            << QStringList{start, alarm("12:00:04")} << QByteArray() << none
            << QStringList(4, "Device busy");
        QTest::newRow("the schedule starts and stops on the exact second")
            << kMonday << 0 << 100 << QStringList{"scheduled", "sound 12"}
            << QStringList{"12:00:05 Timed Start Sensor", "12:00:10 Timed Stop Sensor"}
            << QByteArray() << none << none;
        QTest::newRow("a date off the schedule starts nothing")
            << kMonday << 0 << 100
            << QStringList{"scheduled", "ini:[alarms]|exceptions=2006-06-19 off", "sound 12"}
            << none << QByteArray() << none << none;
        QTest::newRow("a date with its own window")
            << kMonday << 0 << 100
            << QStringList{"scheduled", "ini:[alarms]|exceptions=2006-06-19 12:01-12:02",
                           "sound 150"}
            << QStringList{"12:01:00 Timed Start Sensor", "12:02:00 Timed Stop Sensor"}
            << QByteArray() << none << none;
        QTest::newRow("a reload with a problem keeps the running settings and says why")
            << kMonday << 0 << 100
            << QStringList{"scheduled", "ini:[alarms]|exceptions=2006-06-19 12:01-12:02",
                           "ini:[alarms]|exceptions=2006-06-19 off|max_per_hour=lots", "sound 150"}
            << QStringList{"12:01:00 Timed Start Sensor", "12:02:00 Timed Stop Sensor"}
            << QByteArray() << none
            << QStringList{"Dovrane.ini not applied, the running settings stay: [alarms] "
                           "max_per_hour: not a whole number (got \"lots\"; accepted: 0 to 3600)"};
        QTest::newRow("a restart inside the window starts at once, as a timed start")
            << kMonday << 0 << 100 << QStringList{"scheduled", "sound 6", "restart", "sound 5"}
            << QStringList{"12:00:05 Timed Start Sensor", "12:00:06 Timed Start Sensor",
                           "12:00:10 Timed Stop Sensor"}
            << QByteArray() << none << none;
        const QDateTime lateSun(QDate(2006, 6, 18), QTime(23, 59, 50));
        QTest::newRow("a whole day (start = stop) runs through midnight without a flap")
            << lateSun << 0 << 100 << QStringList{"days 8 0 0", "start", "sound 20"}
            << QStringList{"23:59:50 Manual Start Sensor"} << QByteArray() << none << none;
        QTest::newRow("a whole day ends 24 h on where the next day does not go on")
            << lateSun << 0 << 100 << QStringList{"days 1 0 0", "start", "sound 20"}
            << QStringList{"23:59:50 Manual Start Sensor", "00:00:00 Timed Stop Sensor"}
            << QByteArray() << none << none;
        QTest::newRow("around the clock starts at once and runs through midnight")
            << lateSun << 0 << 100
            << QStringList{"ini:[schedule]|around_the_clock=yes", "sound 20", "restart", "sound 1"}
            << QStringList{"23:59:50 Timed Start Sensor", "00:00:10 Timed Start Sensor"}
            << QByteArray() << none << none;
        QTest::newRow("a missing modem port is shown and ends the call sequence")
            << kMonday << 1 << 1 << QStringList{"busy", "start", "quiet 30"}
            << QStringList{start, alarm("12:00:00")} << QByteArray() << none
            << QStringList{"8002 Invalid port number"};
        const QDateTime lateSunday(QDate(2006, 6, 18), QTime(23, 59, 50));
        QTest::newRow("silence across midnight is counted on, in the new day's file")
            << lateSunday << 0 << 15 << QStringList{"start", "sound 5", "quiet 20"}
            << QStringList{"23:59:50 Manual Start Sensor", alarm("00:00:09")} << QByteArray()
            << none << none;
        QTest::newRow("sound across midnight raises nothing")
            << lateSunday << 0 << 5 << QStringList{"start", "sound 20", "quiet 4"}
            << QStringList{"23:59:50 Manual Start Sensor"} << QByteArray() << none << none;
        QTest::newRow("an alarm before midnight ends after it")
            << lateSunday << 0 << 3 << QStringList{"start", "quiet 12", "sound 1"}
            << QStringList{"23:59:50 Manual Start Sensor", alarm("23:59:52"), alarmEnd("00:00:02")}
            << QByteArray() << none << none;
        QTest::newRow("a silent modem still gets every command, each wait on its own limit")
            << kMonday << 1 << 1 << QStringList{"silent", "start", "quiet 8"}
            << QStringList{start, alarm("12:00:00"), call("12:00:06", "5551001")}
            << kSetup + dial("5551001") << none << none;
        QTest::newRow("a line that fails mid-call is closed and shown")
            << kMonday << 1 << 1 << QStringList{"silent", "start", "quiet 2", "cut", "quiet 30"}
            << QStringList{start, alarm("12:00:00")} << QByteArray("ATZ\r") << none
            << QStringList{"8020 Error writing comm device"};
        QTest::newRow("a new alarm during a call goes on down the list")
            << kMonday << 1 << 1
            << QStringList{"start", "quiet 2", "sound 1", "quiet 2", "sound 1", "quiet 60"}
            << QStringList{start,
                           alarm("12:00:00"),
                           call("12:00:00", "5551001"),
                           alarmEnd("12:00:02"),
                           alarm("12:00:03"),
                           alarmEnd("12:00:05"),
                           alarm("12:00:06"),
                           call("12:00:25", "5553003")}
            << kSetup + dial("5551001") + "+++,H" + kSetup + dial("5553003") + "+++,H" << none
            << QStringList(2, "8005 Port already open");
        QTest::newRow("SIGHUP's reload switches the action from page to mail")
            << kMonday << 1 << 1 << QStringList{"mail-instead", "start", "quiet 2"}
            << QStringList{start, alarm("12:00:00"), mailed("12:00:00", "a@example.org"),
                           mailed("12:00:00", "c@example.org")}
            << QByteArray() << QStringList{alarmMail.arg("12:00:00", "")} << none;
        QTest::newRow("SIGHUP's reload applies a new delay at once")
            << kMonday << 0 << 100 << QStringList{"start", "delay 3", "quiet 5"}
            << QStringList{start, alarm("12:00:02")} << QByteArray() << none << none;
        QTest::newRow("lost capture, lost input and failed mail reach the operator")
            << kMonday << 2 << 1 << QStringList{"start", "lost", "quiet 1", "mailfail"}
            << QStringList{start, alarm("12:00:00"), mailed("12:00:00", "a@example.org"),
                           mailed("12:00:00", "c@example.org")}
            << QByteArray() << QStringList{alarmMail.arg("12:00:00", "")}
            << QStringList{"Input gone", "75 Mail program failed"};
        // Files changed on disk, then SIGHUP's reload.
        QTest::newRow("a rate line with commas fails at the call, shown to the operator")
            << kMonday << 1 << 1 << QStringList{"conn: 1 |9600,N,8,1", "start", "quiet 2"}
            << QStringList{start, alarm("12:00:00")} << QByteArray() << none
            << QStringList{"380 Invalid property value"};
        QTest::newRow("an empty Connection.dat says what was not loaded")
            << kMonday << 0 << 1 << QStringList{"conn:"} << QStringList{} << QByteArray() << none
            << QStringList{"Connection.dat cannot be read (the file is empty): the call list, "
                           "alarm action, weekly schedule, address book and account were not "
                           "loaded"};
        QTest::newRow("a facility with a comma and a number with a line break")
            << kMonday << 2 << 1 << QStringList{"user:WXYZ Radio, Studio 1", "start", "quiet 2"}
            << QStringList{start, alarm("12:00:00"), mailed("12:00:00", "a@example.org"),
                           mailed("12:00:00", "c@example.org")}
            << QByteArray()
            << QStringList{"a@example.org,c@example.org|WXYZ Radio, Studio 1 Alarm|06-19-2006 "
                           "12:00:00 Silence Alarm"}
            << none;
        QTest::newRow("a line break in a stored number stays on one log line")
            << kMonday << 1 << 1 << QStringList{"calls:555\r\n1001", "start", "quiet 2"}
            << QStringList{start, alarm("12:00:00"), call("12:00:00", "555  1001")}
            << kSetup + "ATDT 555  1001@*99*555  1001" + QByteArray(15, ' ') + "\r" << none << none;
    }

    void alarmRoad()
    {
        QFETCH(QDateTime, start);
        QFETCH(int, action);
        QFETCH(int, delay);
        QFETCH(QStringList, script);
        QFETCH(QStringList, log);
        QFETCH(QByteArray, modem);
        QFETCH(QStringList, mails);
        QFETCH(QStringList, errors);

        StationRig rig(start);
        const int day = start.date().dayOfWeek() % 7 + 1;
        const auto days = [&](int which, qint32 from, qint32 to) { // 8: every day
            QList<qint32> r{delay, 0, 0, 0, action, 0, 300};
            for (int d = 1; d <= 7; ++d)
                r << (which == d || which == 8);
            for (int d = 0; d < 14; ++d)
                r << (d < 7 ? from : to);
            rig.params(r);
        };
        const qint32 now = start.time().msecsSinceStartOfDay() / 1000;
        const bool scheduled = script.contains(QStringLiteral("scheduled"));
        rig.params(delay, 300, action, scheduled ? day : 0, now + 5, now + 10);
        rig.connection();
        rig.callList({DataFolder::callRecord('1', "Alice", "5551001"),
                      DataFolder::callRecord('0', "Bob", "5552002"),
                      DataFolder::callRecord('1', "Carol", "5553003")});
        rig.addressBook(
            {DataFolder::addressRecord('1', "A", "a@example.org"),
             DataFolder::addressRecord('0', "B", "b@example.org"),
             DataFolder::addressRecord('2', "C", "c@example.org", "0100000", 11 * 3600, 13 * 3600),
             DataFolder::addressRecord('2', "D", "d@example.org", "1011111", 11 * 3600,
                                       13 * 3600)});
        rig.user("WXYZ");
        rig.serial.autoReply = "OK\r\n";
        Station* station = &rig.start();

        for (const QString& step : script) {
            const QStringList w = step.split(QLatin1Char(' '));
            const double s = w.value(1).toDouble();
            if (w[0] == QLatin1String("start"))
                station->startClicked();
            else if (w[0] == QLatin1String("stop"))
                station->stopClicked();
            else if (w[0] == QLatin1String("restart")) // killed, and started by systemd
                station = &rig.start(true);
            else if (w[0] == QLatin1String("days")) {
                days(int(s), w[2].toInt(), w[3].toInt());
                station->reload();
            } else if (w[0] == QLatin1String("fail"))
                rig.audio.failNextStarts(int(s));
            else if (w[0] == QLatin1String("busy"))
                rig.serial.failOpen = true;
            else if (w[0] == QLatin1String("silent"))
                rig.serial.autoReply.clear();
            else if (w[0] == QLatin1String("cut"))
                rig.serial.failWrites = true;
            else if (w[0] == QLatin1String("lost"))
                Q_EMIT rig.audio.captureLost(QStringLiteral("Input gone"));
            else if (w[0] == QLatin1String("mailfail"))
                Q_EMIT rig.mail.failed(75, QStringLiteral("Mail program failed"));
            else if (step.startsWith(QLatin1String("conn:"))) {
                rig.connection(
                    step.mid(5).replace(QLatin1Char('|'), QStringLiteral("\r\n")).toLatin1());
                station->reload();
            } else if (step.startsWith(QLatin1String("user:"))) {
                rig.user(step.mid(5).toLatin1());
                station->reload();
            } else if (step.startsWith(QLatin1String("calls:"))) {
                rig.callList({DataFolder::callRecord('1', "X", step.mid(6).toLatin1())});
                station->reload();
            } else if (step.startsWith(QLatin1String("ini:"))) {
                DataFolder::write(rig.paths.settingsFile(),
                                  step.mid(4).replace(QLatin1Char('|'), u'\n').toLatin1());
                station->reload();
            } else if (w[0] == QLatin1String("delay")) {
                rig.params(int(s), 300, action);
                station->reload();
            } else if (w[0] == QLatin1String("mail-instead")) {
                rig.params(delay, 300, 2);
                station->reload();
            } else if (w[0] != QLatin1String("scheduled"))
                rig.run(s, w[0] == QLatin1String("sound")   ? kLoud
                           : w[0] == QLatin1String("quiet") ? kQuiet
                                                            : QByteArray());
        }

        QCOMPARE(rig.logLines(start.date()) + rig.logLines(start.date().addDays(1)), log);
        QCOMPARE(rig.serial.written, modem);
        if (!modem.isEmpty()) // every call sets the whole line up, in this order
            QCOMPARE(rig.serial.properties.mid(0, 12).join(' '),
                     "CommPort=1 Settings=9600,N,8,1 DTREnable=1 RTSEnable=1 EOFEnable=0 "
                     "Handshaking=2 InBufferSize=2048 InputLen=0 InputMode=0 NullDiscard=0 "
                     "OutBufferSize=512 RThreshold=1");
        QStringList sent;
        for (const MailMessage& m : rig.mail.sent)
            sent << m.recipients.join(QLatin1Char(',')) + QLatin1Char('|') + m.subject +
                        QLatin1Char('|') + m.body;
        QCOMPARE(sent, mails);
        QCOMPARE(rig.reported(), errors);
    }
    // Faults beside silence, each fed as generated stereo buffers: the log, the
    // events and the clips they leave.
    void detectorRoad_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("script");
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<QStringList>("events");
        QTest::addColumn<QStringList>("clips");
        const QByteArray all = "[detectors]\ninput_lost=true\nchannel_loss=true\nphase=true\n"
                               "[clips]\nenabled=true\n";
        const QString start = QStringLiteral("12:00:00 Manual Start Sensor");
        const auto line = [](const char* t, const char* what) {
            return QLatin1String(t) + QLatin1Char(' ') +
                   QString::fromLatin1(what).leftJustified(21);
        };
        QTest::newRow("gap in delivery: input lost and back, mailed, clipped")
            << all << QStringList{"start", "sound 3", "gap 3", "faults", "sound 2", "faults"}
            << QStringList{start,
                           line("12:00:04", "Input Lost"),
                           mailed("12:00:04", "a@example.org"),
                           mailed("12:00:04", "c@example.org"),
                           line("12:00:06", "Input Back"),
                           mailed("12:00:06", "a@example.org"),
                           mailed("12:00:06", "c@example.org")}
            << QStringList{"input_lost 12:00:04", "active input_lost", "input_back 12:00:06",
                           "active "}
            << QStringList{"2006-06-19_12-00-04_input_lost.flac"};
        QTest::newRow("one quiet channel: channel loss after the alarm delay, and back, mailed")
            << all << QStringList{"start", "left 8", "sound 1"}
            << QStringList{start,
                           line("12:00:05", "Channel Loss R"),
                           mailed("12:00:05", "a@example.org"),
                           mailed("12:00:05", "c@example.org"),
                           line("12:00:08", "Channel Back"),
                           mailed("12:00:08", "a@example.org"),
                           mailed("12:00:08", "c@example.org")}
            << QStringList{"channel_loss 12:00:05", "channel_back 12:00:08"}
            << QStringList{"2006-06-19_12-00-05_channel_loss.flac"};
        QTest::newRow("the other channel lost after one came back waits the delay too")
            << all << QStringList{"start", "left 8", "sound 1", "right 7"}
            << QStringList{start,
                           line("12:00:05", "Channel Loss R"),
                           mailed("12:00:05", "a@example.org"),
                           mailed("12:00:05", "c@example.org"),
                           line("12:00:08", "Channel Back"),
                           mailed("12:00:08", "a@example.org"),
                           mailed("12:00:08", "c@example.org"),
                           line("12:00:14", "Channel Loss L"),
                           mailed("12:00:14", "a@example.org"),
                           mailed("12:00:14", "c@example.org")}
            << QStringList{"channel_loss 12:00:05", "channel_back 12:00:08",
                           "channel_loss 12:00:14"}
            << QStringList{"2006-06-19_12-00-14_channel_loss.flac",
                           "2006-06-19_12-00-05_channel_loss.flac"};
        QTest::newRow("inverted channels: phase reversed after 10 s, normal 3 s after, mailed")
            << all << QStringList{"start", "inverted 12", "sound 4"}
            << QStringList{start,
                           line("12:00:10", "Phase Reversed"),
                           mailed("12:00:10", "a@example.org"),
                           mailed("12:00:10", "c@example.org"),
                           line("12:00:15", "Phase Normal"),
                           mailed("12:00:15", "a@example.org"),
                           mailed("12:00:15", "c@example.org")}
            << QStringList{"phase_reversed 12:00:10", "phase_normal 12:00:15"}
            << QStringList{"2006-06-19_12-00-10_phase_reversed.flac"};
        QTest::newRow("both quiet: the silence alarm alone, clipped")
            << all << QStringList{"start", "quiet 6"}
            << QStringList{start, alarm("12:00:04"), mailed("12:00:04", "a@example.org"),
                           mailed("12:00:04", "c@example.org")}
            << QStringList{"silence_alarm 12:00:04"}
            << QStringList{"2006-06-19_12-00-04_silence.flac"};
        QTest::newRow("full scale on both channels raises nothing")
            << all << QStringList{"start", "full 12"} << QStringList{start} << QStringList{}
            << QStringList{};
        QTest::newRow("without the sections a gap is silence and nothing more")
            << QByteArray() << QStringList{"start", "gap 6", "left 8"}
            << QStringList{start, alarm("12:00:04"), alarmEnd("12:00:06")}
            << QStringList{"silence_alarm 12:00:04", "silence_end 12:00:06"} << QStringList{};
    }

    void detectorRoad()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, script);
        QFETCH(QStringList, log);
        QFETCH(QStringList, events);
        QFETCH(QStringList, clips);
        StationRig rig(kMonday);
        rig.params(5, 300, ini.isEmpty() ? 0 : 2);
        rig.connection();
        rig.addressBook({DataFolder::addressRecord('1', "A", "a@example.org"),
                         DataFolder::addressRecord('1', "C", "c@example.org")});
        if (!ini.isEmpty())
            DataFolder::write(rig.paths.settingsFile(), ini);
        Station& station = rig.start();
        QStringList raised;
        connect(&station, &Station::eventRaised, this, [&raised](const StationEvent& e) {
            raised << e.name() + e.time.toString(QStringLiteral(" HH:mm:ss"));
        });
        QByteArray left = kLoud, right = kLoud, inverted = kLoud;
        auto* l = reinterpret_cast<qint16*>(left.data());
        auto* r = reinterpret_cast<qint16*>(right.data());
        auto* v = reinterpret_cast<qint16*>(inverted.data());
        for (int i = 1; i < left.size() / 2; i += 2) {
            l[i] = r[i - 1] = 0;
            v[i] = qint16(-v[i - 1]);
        }
        const QMap<QString, QByteArray> buffers{
            {"sound", kLoud}, {"quiet", kQuiet},      {"left", left},
            {"right", right}, {"inverted", inverted}, {"full", FakeAudioInput::toneBuffer(32767)}};
        for (const QString& step : script) {
            const QStringList w = step.split(QLatin1Char(' '));
            if (w[0] == QLatin1String("start"))
                station.startClicked();
            else if (w[0] == QLatin1String("faults"))
                raised << QStringLiteral("active ") + station.activeFaults().join(',');
            else
                rig.run(w[1].toDouble(), buffers.value(w[0]));
        }
        QThreadPool::globalInstance()->waitForDone();
        QCOMPARE(rig.log(), log);
        QCOMPARE(raised, events);
        QCOMPARE(ClipRecorder::latestClips(rig.paths), clips);
    }

    // Delay 0 flaps at every tick: the log keeps every alarm, people get five mails a minute and
    // then one summary; the journal hears every alarm, end and acknowledgement.
    void floodIsCappedAndJournalled()
    {
        StationRig rig(kMonday);
        rig.params(0, 300, 2); // no Connection.dat: a mail station needs no modem
        rig.addressBook({DataFolder::addressRecord('1', "A", "a@example.org")});
        rig.user("WXYZ");
        Station& station = rig.start();
        station.startClicked();
        for (int i = 0; i < 20; ++i) {
            rig.run(0.3, kQuiet);
            rig.run(0.3, kLoud);
        }
        rig.run(2, kQuiet);
        QVERIFY(station.command(QStringLiteral("ack"), {}, QStringLiteral("the window")).done);
        rig.run(1, kLoud);
        station.stopClicked();
        rig.run(600, {});
        const QStringList log = rig.log();
        const auto count = [&log](const char* pattern) {
            return int(log.filter(QRegularExpression(QLatin1String(pattern))).size());
        };
        const int told = count("^\\S+ Alarm( End)? +$");
        QVERIFY(told > 40);
        QCOMPARE(count("Email-->"), told); // every mail logged, though not every one sent
        QStringList subjects;
        for (const MailMessage& m : rig.mail.sent)
            subjects << m.subject;
        QCOMPARE(subjects,
                 QStringList(5, "WXYZ Alarm")
                     << QStringLiteral("%1 more alarms on WXYZ in the last 10 min").arg(told - 5));
        const QStringList journal = rig.journalLines();
        QCOMPARE(journal.mid(0, 3), QStringList({"<5>Connection Profile must be setup",
                                                 "<4>WXYZ Silence Alarm 12:00:00",
                                                 "<5>WXYZ Silence Alarm End 12:00:00"}));
        QCOMPARE(journal.filter(QStringLiteral("<5>WXYZ Alarm acknowledged")).size(), 1);
        QCOMPARE(journal.size(), 1 + told + 1);
    }

    // Cards plugged in another order: the device chosen in Preferences is found by
    // its id, said once in the error window and the log, and captured.
    void inputDeviceFollowsTheChoice()
    {
        StationRig rig(kMonday, {QStringLiteral("Card A"), QStringLiteral("Card B")});
        rig.params({0, 0, 0, 0}); // device 0
        rig.connection();
        DataFolder::write(rig.paths.settingsFile(),
                          "[input]\ndevice_name=Card B\ndevice_id=Card B\n");
        Station& station = rig.start();
        station.startClicked();
        station.stopClicked();
        station.startClicked();
        const QString note = QStringLiteral("Input device changed: device 0 is now \"Card A\"; "
                                            "monitoring \"Card B\" (now device 1) as chosen in "
                                            "Preferences");
        QCOMPARE(rig.audio.selectedDevice(), 1);
        QCOMPARE(rig.reported(), QStringList{note});
        QCOMPARE(rig.log().first(), "12:00:00 " + note);
    }
};

QTEST_GUILESS_MAIN(tst_Station)
#include "tst_station.moc"
