#include "AlarmLogReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dovrane;

// Reading the daily alarm logs: names to entries and back, the "By Event"
// rearrangement and order, line splitting and which files count as logs. What the
// operator then sees is covered by the viewer window's tests.
class TstAlarmLogReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    DataPaths paths() const { return DataPaths(m_dir.path()); }
    QString logsDir() const { return paths().logsDir(); }

private Q_SLOTS:
    void conversions_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        const auto row = [](const char* kind, const char* from, const char* to) {
            QTest::addRow("%s %s", kind, from) << QString(kind) << QString(from) << QString(to);
        };
        row("entry", "AL060712.log", "07/12/06");
        row("entry", "AL991231.log", "12/31/99");
        row("entry", "AL1.x", "x//1.");
        row("file", "07/12/06", "AL060712.log");
        row("file", "7/2/06", "AL060702.log");
        row("file", "02/29/08", "AL080229.log");
        row("file", "02/30/06", "");
        row("file", "z./lo/xy", "");
        row("file", "No Logs", "");
        row("event", "14:03:27 Alarm                ", "Alarm                 14:03:27");
        row("event", "14:03:27", " 14:03:27");
        row("event", "12345678X", " 12345678");
        row("event", "abc", " abc");
        row("event", "", " ");
    }
    void conversions()
    {
        QFETCH(QString, kind);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QCOMPARE(kind == "entry"  ? AlarmLogReader::entryFor(from)
                 : kind == "file" ? AlarmLogReader::fileNameFor(from)
                                  : AlarmLogReader::byEvent(from),
                 to);
    }

    void sortedByEventIgnoresCaseAndKeepsFileOrderOfTies()
    {
        const QStringList lines = {"09:00:00 timed Stop Sensor",
                                   "07:00:00 Timed Start Sensor",
                                   "10:00:00 ALARM",
                                   "08:00:00 alarm End",
                                   "10:00:00 alarm",
                                   "10:00:00 Email--> ops@example.org",
                                   "10:00:00 Alarm"};
        QCOMPARE(AlarmLogReader::sortedByEvent(lines),
                 (QStringList{"ALARM 10:00:00", "alarm 10:00:00", "Alarm 10:00:00",
                              "alarm End 08:00:00", "Email--> ops@example.org 10:00:00",
                              "Timed Start Sensor 07:00:00", "timed Stop Sensor 09:00:00"}));
    }

    void splitLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("last line without line end")
            << QByteArray("07:00:00 A\r\n07:00") << QStringList{"07:00:00 A", "07:00"};
        QTest::newRow("lone LF and lone CR")
            << QByteArray("a\nb\rc\r\n") << QStringList{"a", "b", "c"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
    }
    void splitLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(AlarmLogReader::splitLines(bytes), lines);
    }

    void logFilesAreTheLogsAscendingCaseIgnored()
    {
        QVERIFY(QDir().mkpath(logsDir() + QStringLiteral("/AL060801.dir")));
        for (const char* name : {"AL060713.log", "al060712.LOG", "AL051231.log", "ALxyz.log",
                                 ".ALhidden.log", "DVParams.dat", "XAL060712.log", "AL060712"}) {
            QFile file(logsDir() + '/' + name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("08:00:00 Manual Start Sensor\r\n");
        }
        // A pipe is a system file; listing it could make the viewer wait on it forever.
        const QByteArray fifo = QFile::encodeName(logsDir() + QStringLiteral("/AL060802.log"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        const AlarmLogReader reader(paths());
        QCOMPARE(reader.logFiles(),
                 (QStringList{"AL051231.log", "al060712.LOG", "AL060713.log", "ALxyz.log"}));
        QVERIFY(!reader.read(QStringLiteral("08/02/06")));
        // A name written in other case is still that day's log.
        QCOMPARE(reader.read(QStringLiteral("07/12/06")),
                 std::optional(QStringList{"08:00:00 Manual Start Sensor"}));
    }
};

QTEST_GUILESS_MAIN(TstAlarmLogReader)
#include "tst_alarmlogreader.moc"
