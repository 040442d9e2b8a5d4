#include "Account.h"
#include "AddressBook.h"
#include "AlarmLogReader.h"
#include "AlarmPlan.h"
#include "ControlServer.h"
#include "DataFiles.h"
#include "DataFolderCheck.h"
#include "ElapsedText.h"
#include "IniFile.h"
#include "LevelMeasurement.h"
#include "LevelTest.h"
#include "OutsideText.h"
#include "SerialProfile.h"
#include "SettingsSections.h"
#include "StartupLoader.h"
#include "StationFile.h"
#include "StationRig.h"
#include "TimeOfDay.h"
#include "WeeklySchedule.h"

#include <QtEndian>
#include <QTest>

#include <sys/stat.h>

using namespace dovrane;
using namespace dovrane::test;

/// The rules as one table: time-of-day text, rounding, the level test, who gets the alarm
/// mail, the log viewer's reading, the weekly schedule and the start-up loader's order.
class TestRules : public QObject
{
    Q_OBJECT

    template <typename... T> static void columns(auto... n) { (QTest::addColumn<T>(n), ...); }
    static void row(const char* tag, const auto&... v) { (QTest::newRow(tag) << ... << v); }

    // The rule named by kind applied to input, as text.
    static QString apply(const QString& kind, const QString& input)
    {
        const QStringList in = input.split(u' ');
        QLocale::setDefault(QLocale(kind.section(u' ', 1)));
        if (kind.startsWith(u"show")) // the locale's long format
            return TimeOfDay::longText(input.toInt());
        if (kind.startsWith(u"read"))
            return QString::number(TimeOfDay::parse(input).value_or(-1));
        if (kind == u"round")
            return input + u' ' + QString::number(roundHalfEven(input.toDouble()));
        if (kind == u"elapsed")
            return input + u' ' + FormatElapsed(input.toInt());
        if (kind == u"level") { // samples (left right ...) from frame 700, threshold last
            QByteArray buffer(AudioInput::kBufferBytes, '\0');
            for (int i = 0; i + 1 < in.size(); ++i)
                qToLittleEndian(qint16(in[i].toInt()), buffer.data() + 4 * 700 + 2 * i);
            const LevelReading r = testLevel(buffer, in.last().toInt());
            return QString::asprintf("%d %d%s%s", r.PeakLeft, r.PeakRight,
                                     r.measured ? "" : " failed", r.sound ? " sound" : "");
        }
        if (kind == u"mail") { // in use and option; days from Sunday; start; stop; date; time
            AddressRecord r = AddressRecord::fromBytes(DataFolder::addressRecord(
                in[0][1].toLatin1(), {}, {}, in[1].toLatin1(), in[2].toInt(), in[3].toInt()));
            r.InUse = in[0][0].toLatin1();
            const int day = sundayFirstWeekday(QDate::fromString(in[4], Qt::ISODate));
            return receivesAlarmMail(r, day, in[5].toDouble()) ? "yes" : "no";
        }
        if (kind == u"outside") // text from a server or service, as the journal gets it
            return OutsideText::redacted(input);
        if (kind == u"stream address") // how a stream input names its source
            return OutsideText::urlWithPath(QUrl(input));
        if (kind == u"http failure")
            return OutsideText::httpFailure(input.toInt(), QStringLiteral("Host x not found"));
        if (kind == u"suggest") // quiet peak, programme peak, longest quiet s: threshold, delay
            return QString::asprintf("%d %d",
                                     LevelMeasurement::suggest(in[0].toInt(), in[1].toInt()),
                                     LevelMeasurement::suggestDelay(in[2].toDouble()));
        if (kind == u"ini read")
            return IniFile::unquote(input);
        if (kind == u"ini list") // a list value as read: items between " | "
            return IniFile::splitList(input).join(QStringLiteral(" | "));
        if (kind == u"ini value") // as Dovrane.ini holds it, and whether it reads back
            return IniFile::quote(input) +
                   (IniFile::unquote(IniFile::quote(input)) == input ? "" : " changed");
        DataFolder folder;
        const DataPaths& p = folder.paths;
        AlarmPlan plan;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        QStringList out;
        if (kind.startsWith(u"log")) { // the log viewer: logs, log, log by event
            const QString logs = p.logsDir() + u'/';
            QDir().mkpath(logs + QStringLiteral("AL060801.dir"));
            const char* text = "09:00:00 End\r\n10:00:00 ALARM\n08:00:00 alarm\r\r\n10:00:00 Alarm";
            for (const char* name : {"AL060713.log", "al060712.LOG", "AL051231.log", "XAL1.log"})
                DataFolder::write(logs + QLatin1String(name), text);
            DataFolder::write(logs + QStringLiteral("AL060714.log"), "");
            ::mkfifo(QFile::encodeName(logs + QStringLiteral("AL060802.log")), 0600);
            const AlarmLogReader reader(p);
            for (const QString& name : reader.logFiles())
                out << AlarmLogReader::entryFor(name);
            if (kind != u"logs")
                out = reader.read(input).value_or(QStringList{AlarmLogReader::missingText(input)});
            if (kind == u"log by event")
                out = AlarmLogReader::sortedByEvent(out);
        } else if (kind == u"folders") { // made, with those missing above, for the owner only
            DataPaths::makeFolder(p.dataDir() + input);
            for (QString f = p.dataDir() + input; f != p.dataDir(); f = QFileInfo(f).path())
                out << QString::number(QFileInfo(f).permissions() & 0x7777, 16);
        } else if (kind == u"secrets") { // what --check says of a Dovrane.ini at mode 0644
            DataFolder::write(p.settingsFile(), input.toLatin1().replace('|', '\n'));
            QFile::setPermissions(p.settingsFile(), QFile::ReadOwner | QFile::WriteOwner |
                                                        QFile::ReadGroup | QFile::ReadOther);
            out << secretsExposed(p.settingsFile());
        } else if (kind == u"schedule") {
            // From Thursday 15 June 2006 23:59:50, ticks every 100 ms. in: the weekdays
            // holding the entry (1 = Sunday), its enabled value, start and stop; whether
            // monitoring runs (by hand) at first; the seconds to run. out: the log lines of
            // that day and the next, then whether monitoring runs.
            QDir().mkpath(p.logsDir());
            ManualClock clock(QDateTime(QDate(2006, 6, 15), QTime(23, 59, 50)));
            AlarmLog log(clock, p, errors);
            for (const QChar d : in[0]) {
                plan.setDayEnabled(d.digitValue(), qint16(in[1].toInt()));
                plan.setDayStartSecs(d.digitValue(), TimeOfDay::fromTime(QTime::fromString(in[2])));
                plan.setDayStopSecs(d.digitValue(), TimeOfDay::fromTime(QTime::fromString(in[3])));
            }
            bool on = in[4] == u"on";
            WeeklySchedule schedule(
                plan, log, [&] { return on; }, [&] { on = true; }, [&] { on = false; });
            for (int tick = 0; tick < qRound(in[5].toDouble() * 10); ++tick)
                schedule.apply((clock.advance(0.1), clock.now())); // the time after the step
            out = folder.logLines(QDate(2006, 6, 15)) + folder.logLines(QDate(2006, 6, 16));
            out << (on ? "on" : "off");
        } else if (kind == u"station") {
            // Imported; then what export gives back (days off left out) and what --check
            // finds wrong in the folder (a modem on COM2, started once); or the problems.
            QDir().mkpath(p.logsDir());
            QFile::link(QStringLiteral("/dev/null"), p.file(QStringLiteral("COM2")));
            const bool kept = input.contains(u"(kept)"); // the token the folder holds
            if (kept)
                DataFolder::write(p.settingsFile(), "[status]\ntoken=0123456789abcdef\n");
            const StationFile station(p);
            for (const StationFile::Problem& problem : station.import(input.toUtf8()))
                out << QString::number(problem.line) + u' ' + problem.text;
            const QRegularExpression shown(
                QStringLiteral("^(?!hex = )[^#].* = (?!off 00:00:00-00:00:00$)"));
            if (out.isEmpty())
                out =
                    QString::fromUtf8(station.exportText(false)).split(u'\n').filter(shown) +
                    DataFolderCheck::lines(DataFolderCheck(p, 2, QStringLiteral("/bin/true")).run())
                        .filter(QRegularExpression(QStringLiteral(": (?!OK$)")));
            if (kept)
                out += QString::fromLatin1(DataFolder::read(p.settingsFile()))
                           .split(u'\n')
                           .filter(u"token");
        } else if (kind == u"control") { // a socket file nobody answers on
            const QString path = p.dataDir() + QStringLiteral("/control");
            if (input == u"stale")
                DataFolder::write(path, "");
            QString text;
            const bool done = ControlServer::call(path, QStringLiteral("ack"), &text);
            out << QString::number(done) + u' ' + text.replace(p.dataDir(), QStringLiteral("D"));
        } else if (kind == u"startup") {
            // The start-up loader over a data folder holding: c Connection.dat, C one that is
            // not a number, u User.dat, A an AddressBook.dat that cannot be opened; D: the
            // data folder cannot be made.
            if (input.contains(u'c', Qt::CaseInsensitive))
                DataFolder::write(p.connectionFile(),
                                  input.contains(u'C') ? "C\r\n9600\r\n" : " 3 \r\n19200\r\n");
            if (input.contains(u'u'))
                DataFolder::write(p.userFile(), "WXYZ-FM\r\nann\r\npw\r\n");
            if (input.contains(u'A'))
                QDir().mkpath(p.addressBookFile());
            DataFiles data;
            Account account;
            SerialProfile profile;
            const DataPaths paths = input.contains(u'D') ? DataPaths(p.connectionFile() + u'/') : p;
            StartupLoader(data, plan, account, profile, paths, errors).LoadDataFiles();
            // port|rate|call list open|address book open|facility|logs folder made
            out << QString::asprintf("%d|%s|%d|%d|%s|%d", profile.comPort(),
                                     qPrintable(profile.baudRate()), data.callList() != nullptr,
                                     data.addressBook() != nullptr, qPrintable(account.facility()),
                                     QFileInfo(paths.logsDir()).isDir());
        }
        for (int s = 0; kind.startsWith(u"day") && s < 86400; s += input.toInt())
            if (TimeOfDay::parse(TimeOfDay::longText(s)) != s) // every input-th second shown
                out << TimeOfDay::longText(s);
        for (const QList<QVariant>& report : std::as_const(reported))
            out << report.at(0).toString();
        return out.join(u'|');
    }

private Q_SLOTS:
    void rules_data()
    {
        columns<QString, QString, QString>("kind", "input", "output");
        // Time fields: shown in the locale's long format without its zone, seconds outside
        // the day wrapped into it; read as operators type them (-1: not a time of day).
        row("wraps back", "show C", "-1", "23:59:59");
        row("wraps on", "show C", "90061", "01:01:01");
        row("12 h", "show en_US", "0", "12:00:00 AM");
        row("24 h in a 12 h locale", "read en_US", "20:15", "72900");
        row("hour and a.m.", "read en_US", "7 a.m.", "25200");
        row("12 AM is midnight", "read C", "12:00 AM", "0");
        row("date part", "read en_US", "6/15/2006 20:15", "72900");
        for (const char* bad :
             {"", "24:00", "10:60", "10:00:60", "13:00 PM", "0:30 AM", "2015", "8 xyz"})
            row(bad, "read en_US", bad, "-1");
        // Every shown second reads back, also forms the locale's own reader refuses:
        // markers after a no-break space, quoted literals, native and non-BMP digits.
        row("en_US", "day en_US", "1", "");
        for (const char* locale : {"C", "de_DE", "ko_KR", "zh_CN", "ar_EG", "fr_CA", "fa_IR",
                                   "sq_AL", "es_US", "ee_GH", "as_IN", "ff_SN", "ccp_BD"})
            row(locale, QStringLiteral("day %1").arg(QLatin1String(locale)), "61", "");
        // Ties to the even neighbour; the silence time shown. (input output)
        for (const char* value : {"0.5 0", "1.5 2", "2.5 2", "-1.5 -2", "86399.5 86400"})
            row(value, "round", QString(value).section(u' ', 0, 0), value);
        for (const char* value : {"3599 59:59", "3600  1:00:00", "35940  9:59:00", "36000 10:00:00",
                                  "360000 100:00:00", "-5 00:00"})
            row(value, "elapsed", QString(value).section(u' ', 0, 0), value);
        // The level test: OR of the two magnitudes, strictly over the threshold; the peaks as
        // reported, both 0 when a -32768 sample fails the measurement.
        row("256 | 255 = 511, not 256", "level", "256 -255 500", "256 -255 sound");
        row("384 | 384 = 384, not 768", "level", "384 384 500", "384 384");
        row("equal is not over", "level", "100 0 100", "100 0");
        row("a peak on any sample", "level", "0 0 0 0 0 0 0 0 1000 0 500", "1000 0 sound");
        row("-32768 left fails", "level", "-32768 30000 0", "0 0 failed");
        row("-32768 right fails", "level", "1000 -32768 0", "0 0 failed");
        // Alarm mail: Always, or Sometimes with the day checked and start < time < stop.
        row("Sometimes, inside", "mail", "12 0100000 28800 61200 2006-06-19 43200", "yes");
        row("Sometimes, Saturday", "mail", "12 0000001 28800 61200 2006-06-24 43200", "yes");
        row("at start", "mail", "12 0100000 28800 61200 2006-06-19 28800", "no");
        row("at stop", "mail", "12 0100000 28800 61200 2006-06-19 61200", "no");
        row("Tuesday; only 1 checks", "mail", "12 01x0000 28800 61200 2006-06-20 43200", "no");
        row("over midnight", "mail", "12 0100000 79200 21600 2006-06-19 82800", "no");
        row("Always, Sunday, no day", "mail", "11 0000000 0 0 2006-06-18 0", "yes");
        row("deleted Always", "mail", "01 0100000 28800 61200 2006-06-19 43200", "no");
        // The log viewer: the days of the logs by name, case ignored (other names, folders
        // and pipes left out), and the line shown for a day without a readable log.
        row("day list", "logs", "", "12/31/05|07/12/06|07/13/06|07/14/06");
        row("other case, short date; line ends", "log", "7/12/06",
            "09:00:00 End|10:00:00 ALARM|08:00:00 alarm||10:00:00 Alarm");
        row("case ignored, ties in file order", "log by event", "07/13/06",
            " |alarm 08:00:00|ALARM 10:00:00|Alarm 10:00:00|End 09:00:00");
        row("no such day", "log", "07/15/06", "Log for 07/15/06 does not exist.");
        row("empty", "log", "07/14/06", "Log for 07/14/06 does not exist.");
        row("a pipe", "log", "08/02/06", "Log for 08/02/06 does not exist.");
        // The weekly schedule acts at the exact second only and never undoes the operator.
        row("exact seconds, clock cut", "schedule", "5 1 23:59:52 23:59:54 off 5",
            "23:59:52 Timed Start Sensor|23:59:54 Timed Stop Sensor|off");
        row("start = stop: a whole day, no stop in the same tick", "schedule",
            "5 1 23:59:52 23:59:52 off 2", "23:59:52 Timed Start Sensor|on");
        row("2 is off; started by hand", "schedule", "5 2 23:59:52 23:59:54 on 5", "on");
        row("not running at the stop second", "schedule", "5 1 13:00:00 23:59:52 off 5", "off");
        row("past midnight: the next day's stop", "schedule", "56 1 23:59:55 00:00:10 off 25",
            "23:59:55 Timed Start Sensor|00:00:10 Timed Stop Sensor|off");
        row("past midnight: next day off", "schedule", "5 1 23:59:55 00:00:10 off 25",
            "23:59:55 Timed Start Sensor|on");
        // The start-up loader: a missing Connection.dat is reported and loading goes on;
        // any other failure ends it silently, skipping the later steps.
        row("all there", "startup", "cu", "3|19200|1|1|WXYZ-FM|1");
        row("no Connection.dat", "startup", "u",
            "0||1|1|WXYZ-FM|1|Connection Profile must be setup");
        row("bad Connection.dat stops, saying what was not loaded", "startup", "Cu",
            "0||0|0||1|Connection.dat cannot be read (the first line is not a port number): the "
            "call list, alarm action, weekly schedule, address book and account were not loaded");
        row("address book stops", "startup", "cuA", "3|19200|1|0||1");
        row("no data folder", "startup", "cuD", "0||0|0||0");
        // Outside text: an address shows scheme and host, control characters are shown.
        row("address", "outside",
            "Error transferring https://u:pw@hooks.example.com:8443/T1/sekrit?k=x - 404",
            "Error transferring https://hooks.example.com:8443 - 404");
        row("stream address", "stream address", "https://u:pw@radio.example.com:8443/live%0A?k=x#f",
            "https://radio.example.com:8443/live%0A");
        row("no forged line", "outside", "moved\n<3>forged\t\x1b[31m",
            "moved\\n<3>forged\\t\\x1b[31m");
        row("redirect", "http failure", "302",
            "HTTP 302: redirect not followed (request carries credentials)");
        row("no reply", "http failure", "0", "Host x not found");
        row("private folders", "folders", "/clips/2026", "7700|7700");
        row("readable secrets", "secrets",
            "[status]|token=0123456789abcdef|[notify]|webhooks=http://h/x",
            "other users can read it, and it holds secrets: [notify] webhooks, [status] token "
            "(chmod 600 it)");
        row("nothing secret", "secrets", "[status]|enabled=true|[clips]|enabled=true", "");
        // A station file reads back as written; what cannot be is said by its line.
        row("station: the week, the modem, the book", "station",
            "[params]\ndelay = 5\nthreshold = 300\naction = page\nsunday = on 6:00-22:00\n"
            "[connection]\nport = 2\nrate = 19200\n[call list]\n1 = on | Al | 5551001\n"
            "[address book]\n1 = on | sometimes | Ops | "
            "ops@x.com | 0100001 | 0:00-0:00 8:00-17:00 0:00-0:00 0:00-0:00 0:00-0:00 0:00-0:00 "
            "9:00-12:30\n[account]\nfacility = WXYZ\n[Dovrane.ini]\n[status]\nenabled=yes\n"
            "listen=127.0.0.1:1\n",
            "delay = 5|threshold = 300|input = 0|action = page|alarm_only = 0|alarm_relay = 0|"
            "sunday = on 06:00:00-22:00:00|port = 2|rate = 19200|1 = on | Al | 5551001|"
            "1 = on | sometimes | Ops | ops@x.com | 0100001 | 00:00:00-00:00:00 "
            "08:00:00-17:00:00 00:00:00-00:00:00 00:00:00-00:00:00 00:00:00-00:00:00 "
            "00:00:00-00:00:00 09:00:00-12:30:00|facility = WXYZ|user = |password = (kept)");
        row("station: a window, a webhook and ports that cannot be", "station",
            "[params]\ndelay = 5\nthreshold = 300\naction = none\nmonday = on 6:00\n[Dovrane.ini]\n"
            "[notify]\nwebhooks=ftp://h/"
            "x\n[snmp]\ntraps=h:65536\ncommunity=c\n[status]\nenabled=yes\n"
            "listen=127.0.0.1:0\n",
            "5 [params] monday: \"on 6:00\" is not on or off, then start-stop as HH:MM:SS-HH:MM:SS|"
            "6 [Dovrane.ini] [status] listen: not address:port (got \"127.0.0.1:0\"; accepted: "
            "host:port, [v6-address]:port or localhost:port; port 1 to 65535)|6 [Dovrane.ini] "
            "[notify] webhooks: one is not an http or https address (got \"<hidden>\"; accepted: "
            "http or https addresses)|6 [Dovrane.ini] [snmp] traps: one is not host:port (got "
            "\"h:65536\"; accepted: udp:host:port or host:port, separated by commas)");
        row("station: a stop past the day kept as bytes and said, the token kept", "station",
            "[params]\nhex = " +
                QString::fromLatin1(DataFolder::paramsBytes({5, 0, 0, 0, 0, 0, 300, 1, 0, 0, 0,
                                                             0, 0, 0, 0, 0, 0, 0,   0, 0, 0, 86400})
                                        .toHex()) +
                "\n[Dovrane.ini]\n[status]\ntoken=(kept)\n",
            "DVParams.dat: Sunday stop time 86400 is outside 0..86399|Connection.dat: missing|"
            "CallList.dat: missing|AddressBook.dat: missing|User.dat: not set up (only the alarm "
            "mail needs it)|token=0123456789abcdef");
        row("station: a rate line the modem refuses, said by --check", "station",
            "[connection]\nhex = " +
                QString::fromLatin1(QByteArray(" 2 \r\n9600,N,8,1\r\n").toHex()),
            "DVParams.dat: missing|Connection.dat: rate \"9600,N,8,1\" is not a number|"
            "CallList.dat: missing|AddressBook.dat: missing|User.dat: not set up (only the alarm "
            "mail needs it)");
        // The level measurement's suggestion: quiet peak, programme peak, longest quiet.
        row("between quiet and programme", "suggest", "1 10000 0", "100 5");
        row("between, the faintest programme", "suggest", "100 1 0", "10 5");
        row("quiet alone: 6 dB over it", "suggest", "40 0 3", "80 7");
        row("programme alone: 20 dB under it", "suggest", "0 5000 10", "500 17");
        row("nothing measured", "suggest", "0 0 0", "1 5");
        row("plain value", "ini value", "a b", "a b");
        row("escapes: four hex digits at most; one at the end", "ini read", "\"\\x263Ab\\t",
            "\u263ab\t");
        row("list", "ini list", "a, \"b,c\" ,\"d\\\"e\",,f", "a | b,c | d\"e | f");
        row("quoted value", "ini value", "say \"hi\", \\o/\t", "\"say \\\"hi\\\", \\\\o/\\t\"");
        row("control socket nobody answers on", "control", "stale",
            "0 no running Dovrane at D/control: QLocalSocket::connectToServer: Connection refused");
    }
    void rules()
    {
        QFETCH(QString, kind);
        QFETCH(QString, input);
        QTEST(apply(kind, input), "output");
    }
};

QTEST_GUILESS_MAIN(TestRules)
#include "tst_rules.moc"
