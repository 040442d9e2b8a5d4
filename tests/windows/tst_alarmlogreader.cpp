#include "AlarmLogReader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace dovrane;

// Reading the daily alarm logs: names to entries and back, the lines as stored, the
// "By Event" rearrangement and which files count as logs.
class TstAlarmLogReader : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;

    DataPaths paths() const { return DataPaths(m_dir.path()); }
    QString logsDir() const { return paths().logsDir(); }
    void writeLog(const QString& name, const QByteArray& bytes)
    {
        QFile file(logsDir() + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(file.write(bytes), bytes.size());
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QDir(logsDir()).removeRecursively();
        QVERIFY(QDir().mkpath(logsDir()));
    }

    void entryFor_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("entry");
        QTest::newRow("July 12th") << "AL060712.log"
                                   << "07/12/06";
        QTest::newRow("New Year's Eve") << "AL991231.log"
                                        << "12/31/99";
        QTest::newRow("other extension") << "AL060712.bak"
                                         << "07/12/06";
        QTest::newRow("not a date") << "ALxyz.log"
                                    << "z./lo/xy";
        QTest::newRow("short name") << "AL1.x"
                                    << "x//1.";
    }
    void entryFor()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, entry);
        QCOMPARE(AlarmLogReader::entryFor(fileName), entry);
    }

    void fileNameFor_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("July 12th") << "07/12/06"
                                   << "AL060712.log";
        QTest::newRow("one-digit month and day") << "7/2/06"
                                                 << "AL060702.log";
        QTest::newRow("leap day") << "02/29/08"
                                  << "AL080229.log";
        QTest::newRow("no 13th month") << "13/01/06"
                                       << "";
        QTest::newRow("no February 30th") << "02/30/06"
                                          << "";
        QTest::newRow("no leap day") << "02/29/07"
                                     << "";
        QTest::newRow("not a date") << "z./lo/xy"
                                    << "";
        QTest::newRow("four-digit year") << "07/12/2006"
                                         << "";
        QTest::newRow("No Logs") << "No Logs"
                                 << "";
        QTest::newRow("empty") << ""
                               << "";
    }
    void fileNameFor()
    {
        QFETCH(QString, entry);
        QFETCH(QString, fileName);
        QCOMPARE(AlarmLogReader::fileNameFor(entry), fileName);
    }

    void byEvent_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("shown");
        QTest::newRow("event") << "08:15:02 Timed Start Sensor"
                               << "Timed Start Sensor 08:15:02";
        QTest::newRow("trailing blanks kept") << "14:03:27 Alarm                "
                                              << "Alarm                 14:03:27";
        QTest::newRow("time and blank only") << "14:03:27 "
                                             << " 14:03:27";
        QTest::newRow("time only") << "14:03:27"
                                   << " 14:03:27";
        QTest::newRow("nine characters") << "12345678X"
                                         << " 12345678";
        QTest::newRow("short") << "abc"
                               << " abc";
        QTest::newRow("blank line") << ""
                                    << " ";
    }
    void byEvent()
    {
        QFETCH(QString, line);
        QFETCH(QString, shown);
        QCOMPARE(AlarmLogReader::byEvent(line), shown);
    }

    void sortedByEventIgnoresCase()
    {
        const QStringList lines = {
            QStringLiteral("09:00:00 timed Stop Sensor"),
            QStringLiteral("07:00:00 Timed Start Sensor"),
            QStringLiteral("14:03:27 Alarm                "),
            QStringLiteral("08:00:00 alarm End            "),
            QStringLiteral("10:00:00 Email--> ops@example.org"),
        };
        const QStringList expected = {
            QStringLiteral("Alarm                 14:03:27"),
            QStringLiteral("alarm End             08:00:00"),
            QStringLiteral("Email--> ops@example.org 10:00:00"),
            QStringLiteral("Timed Start Sensor 07:00:00"),
            QStringLiteral("timed Stop Sensor 09:00:00"),
        };
        QCOMPARE(AlarmLogReader::sortedByEvent(lines), expected);
    }

    void sortedByEventKeepsFileOrderOfLinesEqualButForCase()
    {
        const QStringList lines = {QStringLiteral("10:00:00 ALARM"),
                                   QStringLiteral("10:00:00 alarm"),
                                   QStringLiteral("10:00:00 Alarm")};
        const QStringList expected = {QStringLiteral("ALARM 10:00:00"),
                                      QStringLiteral("alarm 10:00:00"),
                                      QStringLiteral("Alarm 10:00:00")};
        QCOMPARE(AlarmLogReader::sortedByEvent(lines), expected);
    }

    void splitLines_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF") << QByteArray("07:00:00 A\r\n07:00:01 B\r\n")
                               << QStringList{"07:00:00 A", "07:00:01 B"};
        QTest::newRow("blank lines kept") << QByteArray("07:00:00 A\r\n\r\n\r\n07:00:01 B\r\n")
                                          << QStringList{"07:00:00 A", "", "", "07:00:01 B"};
        QTest::newRow("last line without line end")
            << QByteArray("07:00:00 A\r\n07:00") << QStringList{"07:00:00 A", "07:00"};
        QTest::newRow("lone LF and lone CR")
            << QByteArray("a\nb\rc\r\n") << QStringList{"a", "b", "c"};
        QTest::newRow("only a line end") << QByteArray("\r\n") << QStringList{""};
        QTest::newRow("Windows-1252")
            << QByteArray("12:00:00 Email--> ren\xe9@caf\xe9.fr \x80\r\n")
            << QStringList{QStringLiteral(u"12:00:00 Email--> ren\u00e9@caf\u00e9.fr \u20ac")};
    }
    void splitLines()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QStringList, lines);
        QCOMPARE(AlarmLogReader::splitLines(bytes), lines);
    }

    void logFilesAscendingCaseIgnored()
    {
        writeLog(QStringLiteral("AL060713.log"), "x\r\n");
        writeLog(QStringLiteral("al060712.log"), "x\r\n");
        writeLog(QStringLiteral("AL051231.log"), "x\r\n");
        writeLog(QStringLiteral("ALxyz.log"), "x\r\n");
        QCOMPARE(AlarmLogReader(paths()).logFiles(),
                 (QStringList{"AL051231.log", "al060712.log", "AL060713.log", "ALxyz.log"}));
    }

    void logFilesLeavesOutWhatIsNotALog()
    {
        writeLog(QStringLiteral("AL060712.log"), "x\r\n");
        writeLog(QStringLiteral(".ALhidden.log"), "x\r\n");
        writeLog(QStringLiteral("DVParams.dat"), "x");
        writeLog(QStringLiteral("XAL060712.log"), "x\r\n");
        writeLog(QStringLiteral("AL060712"), "x\r\n"); // no extension
        QVERIFY(QDir(logsDir()).mkdir(QStringLiteral("AL060801.dir")));
        // A pipe is a system file; listing it could make the viewer wait on it forever.
        QCOMPARE(
            ::mkfifo(QFile::encodeName(logsDir() + QStringLiteral("/AL060802.log")).constData(),
                     0600),
            0);
        QCOMPARE(AlarmLogReader(paths()).logFiles(), QStringList{"AL060712.log"});
        QVERIFY(!AlarmLogReader(paths()).read(QStringLiteral("08/02/06")));
    }

    void noLogFolderListsNothing()
    {
        QVERIFY(QDir(logsDir()).removeRecursively());
        QVERIFY(AlarmLogReader(paths()).logFiles().isEmpty());
        QVERIFY(!AlarmLogReader(paths()).read(QStringLiteral("07/12/06")));
    }

    void readGivesTheStoredLines()
    {
        writeLog(QStringLiteral("AL060712.log"),
                 "08:00:00 Manual Start Sensor\r\n\r\n14:03:27 Alarm                \r\n");
        const auto lines = AlarmLogReader(paths()).read(QStringLiteral("07/12/06"));
        QVERIFY(lines);
        QCOMPARE(*lines, (QStringList{"08:00:00 Manual Start Sensor", "",
                                      "14:03:27 Alarm                "}));
    }

    void readFindsANameWrittenInOtherCase()
    {
        writeLog(QStringLiteral("al060712.LOG"), "08:00:00 Manual Start Sensor\r\n");
        const auto lines = AlarmLogReader(paths()).read(QStringLiteral("07/12/06"));
        QVERIFY(lines);
        QCOMPARE(*lines, QStringList{"08:00:00 Manual Start Sensor"});
    }

    void emptyOrMissingOrNotADateReadsAsAbsent()
    {
        writeLog(QStringLiteral("AL060712.log"), "");
        writeLog(QStringLiteral("ALxyz.log"), "08:00:00 Manual Start Sensor\r\n");
        const AlarmLogReader reader(paths());
        QVERIFY(!reader.read(QStringLiteral("07/12/06")));
        QVERIFY(!reader.read(QStringLiteral("07/13/06")));
        QVERIFY(!reader.read(AlarmLogReader::entryFor(QStringLiteral("ALxyz.log"))));
        QVERIFY(!QFile::exists(logsDir() + QStringLiteral("/AL060713.log"))); // nothing created
    }

    void missingText()
    {
        QCOMPARE(AlarmLogReader::missingText(QStringLiteral("07/12/06")),
                 QStringLiteral("Log for 07/12/06 does not exist."));
    }
};

QTEST_GUILESS_MAIN(TstAlarmLogReader)
#include "tst_alarmlogreader.moc"
