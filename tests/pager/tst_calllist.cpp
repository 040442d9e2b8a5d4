#include "CallList.h"
#include "RecordFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

namespace {

// Records written by hand from the layout: flag (1), name (15), number (24).
const QByteArray kAlice = QByteArrayLiteral("1Alice Smith    5551001                 ");
const QByteArray kBobDeleted = QByteArrayLiteral("0Bob            5551002                 ");
const QByteArray kCarl = QByteArrayLiteral("1Carl           5551003                 ");

} // namespace

class TestCallList : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fileWith(const QByteArray& bytes)
    {
        static int n = 0;
        const QString path = m_dir.filePath(QStringLiteral("CallList%1.dat").arg(++n));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        return path;
    }
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private Q_SLOTS:
    void fixturesAreForty()
    {
        QCOMPARE(kAlice.size(), 40);
        QCOMPARE(kBobDeleted.size(), 40);
    }

    void splitGivesPaddedFields()
    {
        const CallRecord r = CallList::split(kAlice);
        QCOMPARE(r.CallEnabled, QStringLiteral("1"));
        QCOMPARE(r.CallName, QStringLiteral("Alice Smith    "));
        QCOMPARE(r.CallNumber, QStringLiteral("5551001                 "));
        QVERIFY(r.inUse());
    }

    void inUseFlag_data()
    {
        QTest::addColumn<char>("flag");
        QTest::addColumn<bool>("inUse");
        QTest::newRow("one") << '1' << true;
        QTest::newRow("zero digit") << '0' << false;
        QTest::newRow("zero byte") << '\0' << false;
        QTest::newRow("blank") << ' ' << false;
        QTest::newRow("other") << 'Y' << false;
    }
    void inUseFlag()
    {
        QFETCH(char, flag);
        QFETCH(bool, inUse);
        QByteArray record = kAlice;
        record[0] = flag;
        QCOMPARE(CallList::split(record).inUse(), inUse);
    }

    void joinPadsCutsAndEncodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("short") << "Alice Smith"
                               << "5551001" << kAlice;
        QTest::newRow("twenty-char name cut to 15")
            << "ABCDEFGHIJKLMNOPQRST"
            << "1" << QByteArrayLiteral("1ABCDEFGHIJKLMNO1                       ");
        QTest::newRow("empty") << ""
                               << "" << QByteArray("1") + QByteArray(39, ' ');
        QTest::newRow("windows-1252")
            << QString::fromUtf8("Zoë €") << "9,,*1"
            << QByteArray("1Zo\xEB \x80          9,,*1") + QByteArray(19, ' ');
    }
    void joinPadsCutsAndEncodes()
    {
        QFETCH(QString, name);
        QFETCH(QString, number);
        QFETCH(QByteArray, bytes);
        QCOMPARE(CallList::join(QStringLiteral("1"), name, number), bytes);
        QCOMPARE(CallList::split(bytes).CallName, name.left(15).leftJustified(15));
    }

    void readPastEndIsZeroAndEnds()
    {
        // Two records and a torn third one.
        RecordFile file(fileWith(kAlice + kBobDeleted + "1Tor"), CallList::kRecordLength);
        QVERIFY(file.open());
        QByteArray buffer;
        QVERIFY(CallList::read(&file, 2, buffer));
        QCOMPARE(buffer, kBobDeleted);
        QVERIFY(!CallList::read(&file, 3, buffer));
        QCOMPARE(buffer, QByteArray(40, '\0'));
        QVERIFY(!CallList::split(buffer).inUse());
    }

    void noHandleReadsAsEmptyFile()
    {
        QByteArray buffer = "junk";
        QVERIFY(!CallList::read(nullptr, 1, buffer));
        QCOMPARE(buffer, QByteArray(40, '\0'));
        QCOMPARE(CallList::firstFree(nullptr), 1);
        QVERIFY(!CallList::write(nullptr, 1, kAlice));
    }

    void walkVisitsEveryWholeRecord()
    {
        RecordFile file(fileWith(kAlice + kBobDeleted + QByteArray(40, '\0') + kCarl + "1x"),
                        CallList::kRecordLength);
        QVERIFY(file.open());
        QList<qint64> seen;
        QStringList names;
        CallList::walk(&file, [&](qint64 n, const CallRecord& r) {
            seen << n;
            if (r.inUse())
                names << r.CallName.trimmed();
        });
        QCOMPARE(seen, (QList<qint64>{1, 2, 3, 4}));
        QCOMPARE(names, (QStringList{"Alice Smith", "Carl"}));
    }

    void firstFree_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("empty file") << QByteArray() << qint64(1);
        QTest::newRow("1 and 2 in use, 3 deleted") << kAlice + kCarl + kBobDeleted << qint64(3);
        QTest::newRow("all four in use") << kAlice + kCarl + kAlice + kCarl << qint64(5);
        QTest::newRow("first deleted") << kBobDeleted + kAlice << qint64(1);
        QTest::newRow("never-written slot") << kAlice + QByteArray(40, '\0') + kCarl << qint64(2);
    }
    void firstFree()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, expected);
        RecordFile file(fileWith(bytes), CallList::kRecordLength);
        QVERIFY(file.open());
        QCOMPARE(CallList::firstFree(&file), expected);
    }

    void removeRewritesOnlyTheFlag()
    {
        const QString path = fileWith(kAlice + kCarl + kAlice);
        RecordFile file(path, CallList::kRecordLength);
        QVERIFY(file.open());
        QVERIFY(CallList::remove(&file, 2));
        QCOMPARE(contents(path), kAlice +
                                     QByteArrayLiteral("0Carl           5551003       "
                                                       "          ") +
                                     kAlice);
        QCOMPARE(CallList::firstFree(&file), 2);
    }

    void writePastEndGrowsFile()
    {
        const QString path = fileWith(kAlice);
        RecordFile file(path, CallList::kRecordLength);
        QVERIFY(file.open());
        QVERIFY(CallList::write(&file, 2, kCarl));
        QCOMPARE(contents(path), kAlice + kCarl);
    }
};

QTEST_GUILESS_MAIN(TestCallList)
#include "tst_calllist.moc"
