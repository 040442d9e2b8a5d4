#include "AppState.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "StartupLoader.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtEndian>
#include <QTest>

#include <unistd.h>

using namespace dovrane;

namespace {

/// DVParams.dat with the given records (1-based), zero elsewhere, as long as the
/// highest record given.
QByteArray paramsBytes(const QMap<int, qint32>& records)
{
    QByteArray out(4 * (records.isEmpty() ? 0 : records.lastKey()), '\0');
    for (auto it = records.cbegin(); it != records.cend(); ++it)
        qToLittleEndian(it.value(), out.data() + 4 * (it.key() - 1));
    return out;
}

} // namespace

/// The start-up loader on empty, partial, garbage and unwritable data folders.
class TestStartupLoader : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_tmp;
    AppState m_state;
    ErrorReporter m_errors;
    std::unique_ptr<QSignalSpy> m_reported;

    QString dataFile(const char* name) const
    {
        return m_tmp->filePath(QStringLiteral("Dovrane/") + QLatin1String(name));
    }
    void put(const char* name, const QByteArray& bytes)
    {
        QVERIFY(QDir().mkpath(m_tmp->filePath(QStringLiteral("Dovrane"))));
        QFile f(dataFile(name));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    void load(const QString& dataDir = {})
    {
        StartupLoader(
            m_state,
            DataPaths(dataDir.isEmpty() ? m_tmp->filePath(QStringLiteral("Dovrane")) : dataDir),
            m_errors)
            .LoadDataFiles();
    }

private Q_SLOTS:
    void init()
    {
        m_tmp = std::make_unique<QTemporaryDir>();
        m_state = AppState{};
        m_reported = std::make_unique<QSignalSpy>(&m_errors, &ErrorReporter::reported);
    }

    void firstStartOnEmptyMachine()
    {
        load();
        QVERIFY(QDir(dataFile("logs")).exists());
        for (const char* name : {"CallList.dat", "AddressBook.dat", "DVParams.dat"}) {
            const QFileInfo info(dataFile(name));
            QVERIFY2(info.exists() && info.size() == 0, name);
        }
        QVERIFY(!QFile::exists(dataFile("Connection.dat")));
        QVERIFY(!QFile::exists(dataFile("User.dat")));
        QCOMPARE(m_reported->size(), 1);
        QCOMPARE(m_reported->at(0).at(0).toString(),
                 QStringLiteral("Connection Profile must be setup"));

        QVERIFY(!m_state.SendPage && !m_state.SendEmail);
        QCOMPARE(m_state.DayEnabled, (std::array<qint16, 8>{}));
        QCOMPARE(m_state.DayStartSecs, (std::array<qint32, 8>{}));
        QCOMPARE(m_state.DayStopSecs, (std::array<qint32, 8>{}));
        QVERIFY(m_state.CallListFile && m_state.CallListFile->isOpen());
        QVERIFY(m_state.AddressBookFile && m_state.AddressBookFile->isOpen());
        QCOMPARE(m_state.CallListFile->recordLength(), 40);
        QCOMPARE(m_state.AddressBookFile->recordLength(), 120);
        QCOMPARE(m_state.ComPort, qint16(0));
        QVERIFY(m_state.BaudRate.isEmpty() && m_state.Facility.isEmpty());
    }

    void connectionPresentUserMissing()
    {
        put("Connection.dat", " 3 \r\n19200\r\n");
        load();
        QCOMPARE(m_reported->size(), 0);
        QCOMPARE(m_state.ComPort, qint16(3));
        QCOMPARE(m_state.BaudRate, QStringLiteral("19200"));
        QVERIFY(m_state.Facility.isEmpty());
        QVERIFY(m_state.AddressBookFile && m_state.AddressBookFile->isOpen());

        put("User.dat", "WXYZ-FM\r\nann\r\n\r\n");
        load();
        QCOMPARE(m_state.Facility, QStringLiteral("WXYZ-FM"));
        QCOMPARE(m_state.UserName, QStringLiteral("ann"));
        QCOMPARE(m_state.Password, QString());
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
        QTest::newRow("email") << paramsBytes({{5, 2}}) << false << true << 2 << 0 << 0 << 0;
        QTest::newRow("record 5 = 3 selects neither")
            << paramsBytes({{5, 3}}) << false << false << 2 << 0 << 0 << 0;
        QTest::newRow("page, Monday 12:34:56 to 20:15")
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
        QFETCH(int, day);
        put("DVParams.dat", bytes);
        load();
        QTEST(m_state.SendPage, "sendPage");
        QTEST(m_state.SendEmail, "sendEmail");
        QTEST(int(m_state.DayEnabled[day]), "enabled");
        QTEST(int(m_state.DayStartSecs[day]), "start");
        QTEST(int(m_state.DayStopSecs[day]), "stop");
        QFile f(dataFile("DVParams.dat"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), bytes); // reading never changes the file
    }

    void garbageFilesDoNotStopTheLoader()
    {
        QByteArray noise;
        for (int i = 0; i < 1001; ++i)
            noise.append(char((i * 37 + 11) & 0xff));
        put("CallList.dat", noise);
        put("AddressBook.dat", noise.left(77));
        put("DVParams.dat", noise.left(13));
        put("User.dat", noise.left(50));
        load();
        QVERIFY(m_state.CallListFile && m_state.CallListFile->isOpen());
        QVERIFY(m_state.AddressBookFile && m_state.AddressBookFile->isOpen());
        QCOMPARE(m_state.AddressBookFile->read(1), QByteArray(120, '\0')); // partial record
        QVERIFY(m_state.AddressBookFile->atEnd());
    }

    void failureStopsSilently_data()
    {
        QTest::addColumn<bool>("folderBlocked");
        QTest::newRow("Connection.dat unreadable") << false;
        // A plain file where the folder should be: creation fails for everyone, root too.
        QTest::newRow("data folder cannot be created") << true;
    }
    void failureStopsSilently()
    {
        QFETCH(bool, folderBlocked);
        put("Connection.dat", "COM1\r\n9600\r\n");
        load(folderBlocked ? dataFile("Connection.dat") + QStringLiteral("/Dovrane") : QString());
        QCOMPARE(m_reported->size(), 0);
        QVERIFY(!m_state.CallListFile); // later steps skipped
        QVERIFY(!m_state.AddressBookFile);
    }

    void secondRunReplacesHandles()
    {
        load();
        QVERIFY(m_state.CallListFile->write(1, QByteArray(40, 'x')));
        load();
        QCOMPARE(m_reported->size(), 2); // the message is shown again
        QVERIFY(m_state.CallListFile && m_state.CallListFile->isOpen());
        QCOMPARE(m_state.CallListFile->read(1), QByteArray(40, 'x'));

        // Each file is open exactly once afterwards.
        int callListOpens = 0;
        for (const QFileInfo& fd :
             QDir(QStringLiteral("/proc/%1/fd").arg(::getpid()))
                 .entryInfoList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System))
            callListOpens += fd.symLinkTarget().endsWith(QStringLiteral("/CallList.dat"));
        QCOMPARE(callListOpens, 1);
    }
};

QTEST_GUILESS_MAIN(TestStartupLoader)
#include "tst_startuploader.moc"
