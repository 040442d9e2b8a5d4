#include "CallList.h"
#include "RecordFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

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
    std::unique_ptr<RecordFile> m_file;

    RecordFile* fileWith(const QByteArray& bytes)
    {
        static int n = 0;
        const QString path = m_dir.filePath(QStringLiteral("CallList%1.dat").arg(++n));
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        f.close();
        m_file = std::make_unique<RecordFile>(path, CallList::kRecordLength);
        if (!m_file->open())
            qFatal("cannot open %s", qPrintable(path));
        return m_file.get();
    }

private Q_SLOTS:
    void joinAndSplitUseTheSingleByteCodePage()
    {
        const QByteArray bytes = QByteArray("1Zo\xEB \x80          9,,*1") + QByteArray(19, ' ');
        QCOMPARE(CallList::join(QStringLiteral("1"), QString::fromUtf8("Zoë €"), "9,,*1"), bytes);
        const CallRecord r = CallList::split(bytes);
        QCOMPARE(r.CallEnabled, QStringLiteral("1"));
        QCOMPARE(r.CallName, QString::fromUtf8("Zoë €          "));
        QCOMPARE(r.CallNumber, QStringLiteral("9,,*1").leftJustified(24));
    }

    void readPastEndIsZeroAndEnds()
    {
        RecordFile* file = fileWith(kAlice + kBobDeleted + "1Tor"); // torn third record
        QByteArray buffer;
        QVERIFY(CallList::read(file, 2, buffer));
        QCOMPARE(buffer, kBobDeleted);
        QVERIFY(!CallList::read(file, 3, buffer));
        QCOMPARE(buffer, QByteArray(40, '\0'));
        // No handle at all reads as an empty file.
        buffer = "junk";
        QVERIFY(!CallList::read(nullptr, 1, buffer));
        QCOMPARE(buffer, QByteArray(40, '\0'));
        QCOMPARE(CallList::firstFree(nullptr), 1);
        QVERIFY(!CallList::write(nullptr, 1, kAlice));
    }

    void walkVisitsEveryWholeRecord()
    {
        QList<qint64> seen;
        QStringList names;
        CallList::walk(fileWith(kAlice + kBobDeleted + QByteArray(40, '\0') + kCarl + "1x"),
                       [&](qint64 n, const CallRecord& r) {
                           seen << n;
                           if (r.inUse())
                               names << r.CallName.trimmed();
                       });
        QCOMPARE(seen, (QList<qint64>{1, 2, 3, 4}));
        QCOMPARE(names, (QStringList{"Alice Smith", "Carl"}));
    }

    // Empty, full and deleted-slot files, removing and growing: see the window's tests.
    void firstFree_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("expected");
        QTest::newRow("first deleted") << kBobDeleted + kAlice << qint64(1);
        QTest::newRow("never-written slot") << kAlice + QByteArray(40, '\0') + kCarl << qint64(2);
    }
    void firstFree()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, expected);
        QCOMPARE(CallList::firstFree(fileWith(bytes)), expected);
    }
};

QTEST_GUILESS_MAIN(TestCallList)
#include "tst_calllist.moc"
