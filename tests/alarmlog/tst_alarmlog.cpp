#include "AlarmLog.h"
#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "TimeOfDay.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>

using namespace dovrane;

namespace {

QDateTime at(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
}

} // namespace

/// The daily alarm log files, byte for byte.
class TestAlarmLog : public QObject
{
    Q_OBJECT

private:
    struct Rig
    {
        Rig()
            : clock(at(2006, 6, 15, 14, 3, 27)), paths(dir.path()), log(state, clock, paths, errors)
        {
            QDir().mkpath(paths.logsDir());
        }
        void write(const QString& text)
        {
            state.LogText = text;
            log.WriteAlarmLog();
        }
        [[nodiscard]] QByteArray bytes(const QString& fileName) const
        {
            QFile file(paths.logsDir() + QLatin1Char('/') + fileName);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
        }
        QTemporaryDir dir;
        AppState state;
        ManualClock clock;
        ErrorReporter errors;
        DataPaths paths;
        AlarmLog log;
    };

private Q_SLOTS:
    void linesAreAppendedAsTheyAre()
    {
        Rig rig;
        QFile earlier(rig.paths.logsDir() + QStringLiteral("/AL060615.log"));
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("07:00:00 Timed Start Sensor\r\n");
        earlier.close();
        for (const QString& text : {QStringLiteral("Manual Stop Sensor"), QString(),
                                    QStringLiteral("  Caf\u00e9 \u20ac5")}) {
            rig.write(text);
            rig.clock.advance(61.0);
        }
        QCOMPARE(rig.bytes(QStringLiteral("AL060615.log")),
                 QByteArray("07:00:00 Timed Start Sensor\r\n"
                            "14:03:27 Manual Stop Sensor\r\n"
                            "14:04:28 \r\n" // an empty text: the time and one blank
                            "14:05:29   Caf\xe9 \x80"
                            "5\r\n"));
    }

    void aNewFilePerDay()
    {
        Rig rig;
        rig.clock.setNow(at(2006, 12, 31, 23, 59, 58));
        rig.write(QStringLiteral("Alarm") + QString(16, QLatin1Char(' ')));
        rig.clock.advance(5.0);
        rig.write(QStringLiteral("Alarm End") + QString(12, QLatin1Char(' ')));
        QCOMPARE(rig.bytes(QStringLiteral("AL061231.log")),
                 QByteArray("23:59:58 Alarm") + QByteArray(16, ' ') + "\r\n");
        QCOMPARE(rig.bytes(QStringLiteral("AL070101.log")),
                 QByteArray("00:00:03 Alarm End") + QByteArray(12, ' ') + "\r\n");
    }

    void deletedLogFolder()
    {
        Rig rig;
        QSignalSpy errors(&rig.errors, &ErrorReporter::reported);
        rig.write(QStringLiteral("before"));
        QVERIFY(QDir(rig.paths.logsDir()).removeRecursively());

        rig.write(QStringLiteral("lost"));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.first().at(0).toString(), systemErrorText(ENOENT));
        QVERIFY(errors.first().at(0).toString().startsWith(QStringLiteral("2 ")));
        QVERIFY(!QFileInfo::exists(rig.paths.logsDir()));

        QVERIFY(QDir().mkpath(rig.paths.logsDir()));
        rig.clock.advance(1.0);
        rig.write(QStringLiteral("after"));
        QCOMPARE(errors.count(), 1);
        QCOMPARE(rig.bytes(QStringLiteral("AL060615.log")), QByteArray("14:03:28 after\r\n"));
    }
};

QTEST_GUILESS_MAIN(TestAlarmLog)
#include "tst_alarmlog.moc"
