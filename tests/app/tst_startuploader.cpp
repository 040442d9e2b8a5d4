#include "AppState.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "ParamsFile.h"
#include "StartupLoader.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace dovrane;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(bytes), bytes.size());
}

QByteArray le32(qint32 v)
{
    QByteArray b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = char((quint32(v) >> (8 * i)) & 0xff);
    return b;
}

/// DVParams.dat with the given records (1-based), zero elsewhere, as long as the
/// highest record given.
QByteArray paramsBytes(const QMap<int, qint32>& records)
{
    const int last = records.isEmpty() ? 0 : records.lastKey();
    QByteArray out;
    for (int r = 1; r <= last; ++r)
        out += le32(records.value(r, 0));
    return out;
}

} // namespace

/// The start-up loader on empty, partial, garbage and unwritable data folders.
class TestStartupLoader : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    QString dataDir() const { return m_tmp->filePath(QStringLiteral("Dovrane")); }

private Q_SLOTS:
    void init() { m_tmp = std::make_unique<QTemporaryDir>(); }

    void firstStartOnEmptyMachine()
    {
        AppState state;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        StartupLoader loader(state, DataPaths(dataDir()), errors);
        loader.LoadDataFiles();

        QVERIFY(QDir(dataDir()).exists());
        QVERIFY(QDir(dataDir() + QStringLiteral("/logs")).exists());
        for (const char* name : {"CallList.dat", "AddressBook.dat", "DVParams.dat"}) {
            const QFileInfo info(dataDir() + QLatin1Char('/') + QLatin1String(name));
            QVERIFY2(info.exists(), name);
            QCOMPARE(info.size(), 0);
        }
        QVERIFY(!QFile::exists(dataDir() + QStringLiteral("/Connection.dat")));
        QVERIFY(!QFile::exists(dataDir() + QStringLiteral("/User.dat")));
        QCOMPARE(reported.size(), 1);
        QCOMPARE(reported.at(0).at(0).toString(),
                 QStringLiteral("Connection Profile must be setup"));

        QVERIFY(!state.SendPage);
        QVERIFY(!state.SendEmail);
        for (int d = 0; d <= 7; ++d) {
            QCOMPARE(state.DayEnabled[d], qint16(0));
            QCOMPARE(state.DayStartSecs[d], 0);
            QCOMPARE(state.DayStopSecs[d], 0);
        }
        QVERIFY(state.CallListFile && state.CallListFile->isOpen());
        QVERIFY(state.AddressBookFile && state.AddressBookFile->isOpen());
        QCOMPARE(state.CallListFile->recordLength(), 40);
        QCOMPARE(state.AddressBookFile->recordLength(), 120);
        QCOMPARE(state.ComPort, qint16(0));
        QVERIFY(state.BaudRate.isEmpty());
        QVERIFY(state.Facility.isEmpty());
    }

    void connectionPresentUserMissing()
    {
        QVERIFY(QDir().mkpath(dataDir()));
        writeBytes(dataDir() + QStringLiteral("/Connection.dat"), " 3 \r\n19200\r\n");
        AppState state;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        StartupLoader(state, DataPaths(dataDir()), errors).LoadDataFiles();
        QCOMPARE(reported.size(), 0);
        QCOMPARE(state.ComPort, qint16(3));
        QCOMPARE(state.BaudRate, QStringLiteral("19200"));
        QVERIFY(state.Facility.isEmpty());
        QVERIFY(state.AddressBookFile && state.AddressBookFile->isOpen());
    }

    void accountRead()
    {
        QVERIFY(QDir().mkpath(dataDir()));
        writeBytes(dataDir() + QStringLiteral("/Connection.dat"), " 1 \r\n2400\r\n");
        writeBytes(dataDir() + QStringLiteral("/User.dat"), "WXYZ-FM\r\nann\r\n\r\n");
        AppState state;
        ErrorReporter errors;
        StartupLoader(state, DataPaths(dataDir()), errors).LoadDataFiles();
        QCOMPARE(state.Facility, QStringLiteral("WXYZ-FM"));
        QCOMPARE(state.UserName, QStringLiteral("ann"));
        QCOMPARE(state.Password, QString());
    }

    void paramsRead_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("sendPage");
        QTest::addColumn<bool>("sendEmail");
        QTest::addColumn<int>("day");
        QTest::addColumn<int>("enabled");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("stop");
        QTest::newRow("empty file") << QByteArray() << false << false << 2 << 0 << 0 << 0;
        QTest::newRow("page") << paramsBytes({{5, 1}}) << true << false << 2 << 0 << 0 << 0;
        QTest::newRow("email") << paramsBytes({{5, 2}}) << false << true << 2 << 0 << 0 << 0;
        QTest::newRow("record 5 = 3 selects neither")
            << paramsBytes({{5, 3}}) << false << false << 2 << 0 << 0 << 0;
        QTest::newRow("Monday 12:34:56 to 20:15")
            << paramsBytes({{5, 1}, {9, 1}, {16, 45296}, {23, 72900}, {28, 0}}) << true << false
            << 2 << 1 << 45296 << 72900;
        QTest::newRow("short file: Saturday stop missing")
            << paramsBytes({{14, 1}, {21, 3600}}) << false << false << 7 << 1 << 3600 << 0;
        QTest::newRow("truncated mid-record reads 0")
            << paramsBytes({{14, 1}, {21, 3600}}).left(82) << false << false << 7 << 1 << 0 << 0;
        QTest::newRow("values taken as stored") << paramsBytes({{8, 2}, {15, -5}, {22, 999999}})
                                                << false << false << 1 << 2 << -5 << 999999;
    }
    void paramsRead()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(QDir().mkpath(dataDir()));
        writeBytes(dataDir() + QStringLiteral("/DVParams.dat"), bytes);
        AppState state;
        ErrorReporter errors;
        StartupLoader(state, DataPaths(dataDir()), errors).LoadDataFiles();
        QTEST(state.SendPage, "sendPage");
        QTEST(state.SendEmail, "sendEmail");
        QFETCH(int, day);
        QTEST(int(state.DayEnabled[day]), "enabled");
        QTEST(int(state.DayStartSecs[day]), "start");
        QTEST(int(state.DayStopSecs[day]), "stop");
        // Reading never changes the file.
        QFile f(dataDir() + QStringLiteral("/DVParams.dat"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes);
    }

    void garbageFilesDoNotStopTheLoader()
    {
        QVERIFY(QDir().mkpath(dataDir()));
        QByteArray noise;
        for (int i = 0; i < 1001; ++i)
            noise.append(char((i * 37 + 11) & 0xff));
        writeBytes(dataDir() + QStringLiteral("/CallList.dat"), noise);
        writeBytes(dataDir() + QStringLiteral("/AddressBook.dat"), noise.left(77));
        writeBytes(dataDir() + QStringLiteral("/DVParams.dat"), noise.left(13));
        writeBytes(dataDir() + QStringLiteral("/User.dat"), noise.left(50));
        AppState state;
        ErrorReporter errors;
        StartupLoader(state, DataPaths(dataDir()), errors).LoadDataFiles();
        QVERIFY(state.CallListFile && state.CallListFile->isOpen());
        QVERIFY(state.AddressBookFile && state.AddressBookFile->isOpen());
        QCOMPARE(state.AddressBookFile->read(1), QByteArray(120, '\0')); // partial record
        QVERIFY(state.AddressBookFile->atEnd());
    }

    void badConnectionFileStopsSilently()
    {
        QVERIFY(QDir().mkpath(dataDir()));
        writeBytes(dataDir() + QStringLiteral("/Connection.dat"), "COM1\r\n9600\r\n");
        AppState state;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        StartupLoader(state, DataPaths(dataDir()), errors).LoadDataFiles();
        QCOMPARE(reported.size(), 0);
        QVERIFY(!state.CallListFile); // later steps skipped
        QVERIFY(!state.AddressBookFile);
    }

    void secondRunReplacesHandles()
    {
        AppState state;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        StartupLoader loader(state, DataPaths(dataDir()), errors);
        loader.LoadDataFiles();
        QVERIFY(state.CallListFile->write(1, QByteArray(40, 'x')));
        loader.LoadDataFiles();
        QCOMPARE(reported.size(), 2); // the message is shown again
        QVERIFY(state.CallListFile && state.CallListFile->isOpen());
        QCOMPARE(state.CallListFile->read(1), QByteArray(40, 'x'));

        // Each file is open exactly once afterwards.
        const QString self = QStringLiteral("/proc/%1/fd").arg(::getpid());
        int callListOpens = 0;
        for (const QFileInfo& fd :
             QDir(self).entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System)) {
            if (fd.symLinkTarget().endsWith(QStringLiteral("/CallList.dat")))
                ++callListOpens;
        }
        QCOMPARE(callListOpens, 1);
    }

    void dataFolderThatCannotBeCreated()
    {
        // A plain file where the folder should be: creation fails for everyone, root too.
        writeBytes(m_tmp->filePath(QStringLiteral("blocker")), "x");
        AppState state;
        ErrorReporter errors;
        QSignalSpy reported(&errors, &ErrorReporter::reported);
        StartupLoader(state, DataPaths(m_tmp->filePath(QStringLiteral("blocker/Dovrane"))), errors)
            .LoadDataFiles();
        QCOMPARE(reported.size(), 0); // silent
        QVERIFY(!state.CallListFile);
        QVERIFY(!state.AddressBookFile);
    }
};

QTEST_GUILESS_MAIN(TestStartupLoader)
#include "tst_startuploader.moc"
