#include "Account.h"
#include "AccountFile.h"
#include "AddressBook.h"
#include "AlarmPlan.h"
#include "CallList.h"
#include "ConnectionProfile.h"
#include "DataFiles.h"
#include "MailFormat.h"
#include "ParamsFile.h"
#include "SerialProfile.h"
#include "StationRig.h"

#include <QtEndian>
#include <QTest>
#include <QTimeZone>

#include <numeric>

using namespace dovrane;
using namespace dovrane::test;
using B = QByteArray;

namespace {

B bytesOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : B("<missing>");
}

// A call list record: in use (1), name (15), number (24).
const B kAlice = "1Alice Smith    5551001                 ";

} // namespace

/// Every data file, the alarm log line and the mail message: bytes in, fields out, and
/// fields in, bytes out, compared byte for byte.
class TestFormats : public QObject
{
    Q_OBJECT

    template <typename... T> static void columns(auto... n) { (QTest::addColumn<T>(n), ...); }
    static void row(const char* tag, const auto&... v) { (QTest::newRow(tag) << ... << v); }

private Q_SLOTS:
    // kind <: a file of the bytes reads as the fields (joined by '|'); kind >: the fields
    // written give the bytes.
    void format_data()
    {
        columns<QString, QByteArray, QString>("kind", "bytes", "fields");
        const auto params = [](std::initializer_list<std::pair<int, qint32>> records) {
            B out(4 * std::prev(records.end())->first, '\0'); // record n: int32 LE at 4 (n - 1)
            for (const auto& [n, value] : records)
                qToLittleEndian(value, out.data() + 4 * (n - 1));
            return out;
        };
        B all(256, 0);
        std::iota(all.begin(), all.end(), 0);
        // DVParams.dat read: page e-mail|enabled,start,stop of each day from Sunday; written:
        // threshold, delay, alarm only, relay, device, action.
        row("empty", "params <", B(), "00|0,0,0|0,0,0|0,0,0|0,0,0|0,0,0|0,0,0|0,0,0");
        row("page; Monday", "params <", params({{5, 1}, {9, 1}, {16, 45296}, {23, 72900}, {28, 0}}),
            "10|0,0,0|1,45296,72900|0,0,0|0,0,0|0,0,0|0,0,0|0,0,0");
        row("e-mail, Sunday", "params <", params({{5, 2}, {8, 2}, {15, -5}, {22, 9}}).chopped(1),
            "01|2,-5,0|0,0,0|0,0,0|0,0,0|0,0,0|0,0,0|0,0,0");
        row("named records", "params >",
            B::fromHex("1e000000 01000000 02000000 03000000 04030201 00000000 19fcffff"),
            "-999|30|1|2|3|16909060");
        row("print form", "connection <>", B(" 32767 \r\n300\r\n"), "32767|300");
        row("a port in quotes, as Write # leaves text", "connection <", B("\"3\"x\r\n9600,N\r\n"),
            "3|9600,N");
        row("Windows-1252", "user <>", B("Caf\xe9 \x80 FM\r\nann\r\n\r\n"), "Café € FM|ann|");
        row("whole lines, commas and quotes kept", "user <", B("\"Acme, Inc\"x\r\n a b , c"),
            "\"Acme, Inc\"x| a b , c|");
        row("Windows-1252 0x80-0x9F, the five undefined kept", "call <>",
            B::fromHex("31 808182838485868788898a8b8c8d8e 8f909192939495969798999a9b9c9d9e9f") +
                B(7, ' '),
            "1|€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008dŽ|\u008f\u0090‘’“”•–—˜™š›œ\u009džŸ       ");
        row("cut, padded; not in the code page", "call >", B("1Zo? \xe9 Bartholom555") + B(21, ' '),
            "10|Zo\u4e2d é Bartholomew|555");
        const B zoe = "12Zo\xeb Abcdefghijkl" + B(38, 'a') + "@1010101" +
                      B::fromHex("80700000").repeated(7) + B::fromHex("10ef0000").repeated(7);
        row("every day alike", "address <>", zoe,
            "12|Zoë Abcdefghijkl|" + QString(38, u'a') + "@|1010101|28800|61200");
        // Walked: the record numbers (+ in use)|the first free one|the first two bytes after
        // deleting record 1, which rewrites its in-use byte only.
        row("deleted, zero, torn", "calls <",
            kAlice + "0" + kAlice.mid(1) + B(40, '\0') + kAlice + "1x", "1+ 2 3 4+|2|0A");
        row("deleted, torn", "book <", zoe + "0" + zoe.mid(1) + zoe + B(50, 'x'), "1+ 2 3+ 4|2|02");
        // The alarm log at 14:03:27.999 after one line: "hh:mm:ss text" CR LF appended.
        row("appended, cut, Windows-1252", "log >",
            B("07:00:00 Timed Start Sensor\r\n14:03:27 Caf\xe9 \x80\r\n"), "Café €");
        // CR and LF become blanks: one event is one line.
        row("every byte", "log >",
            "07:00:00 Timed Start Sensor\r\n14:03:27 " +
                B(all).replace('\r', ' ').replace('\n', ' ') + "\r\n",
            TextField::decode(all));
        row("no log folder: reported, errno first", "lost >", B("2 "), "lost");
        // The mail message from "D\r\nBcc: e <m@s>": between the fixed header lines
        // (" | "), the subject, the transfer encoding and the body.
        row("long subject folded at blanks", "mail >",
            "word" + B(" word").repeated(13) + "\n word" + B(" word").repeated(14) +
                "\n word | 8bit\n\nb\n",
            QStringLiteral("word ").repeated(30).trimmed() + "|b");
        row("non-ASCII subject: words of whole characters, LF inside", "mail >",
            B("=?UTF-8?B?w4nDicOJw4nDicOJw4nDicOJw4nDicOJw4nDicOJw4nDicOJw4k=?=\n"
              " =?UTF-8?B?w4nwn5O7IEJjYzogZQ==?= | 8bit\n\nb\n"),
            QStringLiteral("É").repeated(20) + "📻\nBcc: e|b");
        row("longer: quoted-printable, line ends", "mail >",
            "s | quoted-printable\n\n" + (B(75, 'x') + "=\n").repeated(16) +
                " caf=C3=A9 a=3Db=20\nend=09\nlast\n",
            "s|" + QString(1200, u'x') + " café a=b \r\nend\t\rlast");
    }
    void format()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, fields);
        const QString k = kind.section(u' ', 0, 0);
        const QStringList f = fields.split(u'|');
        DataFolder folder;
        const QString path = folder.paths.file(QStringLiteral("data"));
        DataFolder::write(path, bytes);
        if (kind.contains(u'<')) {
            QString s;
            AlarmPlan p;
            SerialProfile port;
            Account user;
            DataFiles files;
            AddressBook book(files);
            if (k == u"params") {
                QVERIFY(readAlarmActionAndSchedule(path, p));
                s = QString::asprintf("%d%d", p.sendPage(), p.sendEmail());
                for (int d = 1; d <= 7; ++d)
                    s += QString::asprintf("|%d,%d,%d", p.dayEnabled(d), p.dayStartSecs(d),
                                           p.dayStopSecs(d));
            } else if (k == u"connection") {
                QVERIFY(ConnectionProfile::read(path, port));
                s = QString::number(port.comPort()) + u'|' + port.baudRate();
            } else if (k == u"user") {
                QVERIFY(AccountFile::read(path, user));
                s = QStringList{user.facility(), user.userName(), user.password()}.join(u'|');
            } else if (k == u"call") {
                const CallRecord r = CallList::split(bytes);
                s = QStringList{r.CallEnabled, r.CallName, r.CallNumber}.join(u'|');
            } else if (k == u"address") { // in use, option|name|address|days|start|stop
                const AddressRecord r = AddressRecord::fromBytes(bytes);
                QString days;
                QStringList start;
                QStringList stop;
                for (int d = 1; d <= 7; ++d) {
                    days += QLatin1Char(r.DayChecked[d]);
                    start << QString::number(r.StartSecs[d]);
                    stop << QString::number(r.StopSecs[d]);
                }
                start.removeDuplicates(); // one value when every day is alike
                stop.removeDuplicates();
                s = QString::asprintf("%c%c|", r.InUse, r.SendOption) + r.ContactName + '|' +
                    r.Address + '|' + days + '|' + start.join(u' ') + '|' + stop.join(u' ');
            } else {
                const bool calls = k == u"calls";
                const auto visit = [&](qint64 n, const auto& r) {
                    s += QString::number(n) + (r.inUse() ? "+ " : " ");
                };
                QVERIFY(calls ? files.openCallList(path) : files.openAddressBook(path));
                calls ? CallList::walk(files.callList(), visit) : book.walk(visit);
                s = s.trimmed() + u'|' +
                    QString::number(calls ? CallList::firstFree(files.callList())
                                          : book.firstFree());
                if (!bytes.isEmpty() &&
                    (calls ? CallList::remove(files.callList(), 1) : book.markDeleted(1)))
                    s += u'|' + QString::fromLatin1(bytesOf(path).left(2));
            }
            QCOMPARE(s, fields);
        }
        if (kind.contains(u'>')) {
            DataFolder::write(path, ""); // as if made by hand, readable by all
            ParamsFile params(path);
            ErrorReporter errors;
            QSignalSpy reported(&errors, &ErrorReporter::reported);
            B out = "failed";
            if (k == u"params" && params.open()) {
                const int named[] = {ParamsFile::Threshold,   ParamsFile::AlarmDelay,
                                     ParamsFile::AlarmOnly,   ParamsFile::AlarmRelay,
                                     ParamsFile::InputDevice, ParamsFile::AlarmAction};
                for (int i = 0; i < 6; ++i)
                    QVERIFY(params.write(named[i], f[i].toInt()));
                out = bytesOf(path);
            } else if (k == u"connection" && ConnectionProfile::write(path, f[0].toInt(), f[1])) {
                out = bytesOf(path);
            } else if (k == u"user" && AccountFile::write(path, f[0], f[1], f[2])) { // owner only
                out = bytesOf(path) +
                      (QFile::permissions(path) & QFile::ReadOther ? "|readable" : "");
            } else if (k == u"call") {
                out = CallList::join(f[0], f[1], f[2]);
            } else if (k == u"address") { // option|name|address|days|start|stop, every day
                out = DataFolder::addressRecord(f[0][1].toLatin1(), f[1], f[2], f[3].toLatin1(),
                                                f[4].toInt(), f[5].toInt());
            } else if (k == u"log" || k == u"lost") { // lost: no log folder
                const QString file = folder.paths.logsDir() + QStringLiteral("/AL060615.log");
                if (k == u"log" && QDir().mkpath(folder.paths.logsDir()))
                    DataFolder::write(file, "07:00:00 Timed Start Sensor\r\n");
                ManualClock clock(QDateTime(QDate(2006, 6, 15), QTime(14, 3, 27, 999)));
                AlarmLog(clock, folder.paths, errors).WriteAlarmLog(fields);
                out = reported.isEmpty() ? bytesOf(file)
                                         : reported[0][0].toString().left(2).toLatin1();
            } else if (k == u"mail") {
                QStringList to;
                for (const char* a :
                     {"a@x\r\nb@y", " -o@x", "a@x,b@y", "a\x7f@x", "<a@x>", "a;b@x", "@x", "a@",
                      " ops+alarm@x.com ", "b@y.org"}) // the last two are safe
                    to << MailFormat::safeRecipient(QString::fromLatin1(a));
                to.removeAll(QString());
                const QDateTime date(QDate(2006, 6, 5), QTime(14, 3, 27), QTimeZone(7200));
                out = MailFormat::compose(to, f[0], f[1], {"D\r\nBcc: e <m@s>", "1@s", date});
                out.replace("From: D  Bcc: e <m@s>\nTo: ops+alarm@x.com,\n b@y.org\nSubject: ", "");
                out.replace("\nDate: Mon, 5 Jun 2006 14:03:27 +0200\nMessage-ID: "
                            "<1@s>\nMIME-Version: 1.0\nContent-Type: text/plain; "
                            "charset=UTF-8\nContent-Transfer-Encoding: ",
                            " | ");
                QCOMPARE(MailFormat::arguments(to), QStringList({"-i", "--"}) + to);
            }
            QCOMPARE(out, bytes);
        }
    }
};

QTEST_GUILESS_MAIN(TestFormats)
#include "tst_formats.moc"
