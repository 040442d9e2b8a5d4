#include "RecordFile.h"
#include "TextField.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

/// The fixed-record file rules every data file relies on.
class TestRecordFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    QString path(const char* name) const { return m_dir.filePath(QString::fromLatin1(name)); }
    static QByteArray contents(const QString& p)
    {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

private Q_SLOTS:
    void openCreatesMissingFileEmpty()
    {
        RecordFile file(path("new.dat"), 40);
        QVERIFY(file.open());
        QVERIFY(QFile::exists(path("new.dat")));
        QCOMPARE(contents(path("new.dat")), QByteArray());
        QCOMPARE(file.recordCount(), 0);
    }

    void openFailsInMissingFolder()
    {
        RecordFile file(path("no/such/folder/x.dat"), 4);
        QVERIFY(!file.open());
        QVERIFY(!file.isOpen());
    }

    void readPastEnd_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("record");
        QTest::addColumn<bool>("atEnd");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray two = QByteArray("ABCD") + QByteArray("EFGH");
        QTest::newRow("first of two") << two << 1 << false << QByteArray("ABCD");
        QTest::newRow("last of two is still whole") << two << 2 << false << QByteArray("EFGH");
        QTest::newRow("one past the end") << two << 3 << true << QByteArray(4, '\0');
        QTest::newRow("far past the end") << two << 100 << true << QByteArray(4, '\0');
        QTest::newRow("partly past the end")
            << QByteArray("ABCDEF") << 2 << true << QByteArray(4, '\0');
        QTest::newRow("empty file") << QByteArray() << 1 << true << QByteArray(4, '\0');
    }
    void readPastEnd()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, record);
        QFETCH(bool, atEnd);
        QFETCH(QByteArray, expected);
        const QString p = path("read.dat");
        {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(content);
        }
        RecordFile file(p, 4);
        QVERIFY(file.open());
        QCOMPARE(file.read(record), expected);
        QCOMPARE(file.atEnd(), atEnd);
        // A whole record read after an end-of-file read clears the indication.
        if (content.size() >= 4) {
            (void)file.read(1);
            QVERIFY(!file.atEnd());
        }
    }

    void writePastEndZeroFillsGap()
    {
        const QString p = path("grow.dat");
        QFile::remove(p);
        RecordFile file(p, 4);
        QVERIFY(file.open());
        QVERIFY(file.write(3, "WXYZ"));
        QCOMPARE(contents(p), QByteArray(8, '\0') + "WXYZ");
        QVERIFY(file.write(1, "AB")); // short data is zero-padded to the record
        QCOMPARE(contents(p), QByteArray("AB\0\0", 4) + QByteArray(4, '\0') + "WXYZ");
        QVERIFY(file.write(2, "123456")); // long data is cut to the record
        QCOMPARE(contents(p), QByteArray("AB\0\0", 4) + "1234" + "WXYZ");
        QCOMPARE(file.recordCount(), 3);
    }

    void severalOpensSeeEachOthersWrites()
    {
        const QString p = path("shared.dat");
        QFile::remove(p);
        RecordFile a(p, 40);
        RecordFile b(p, 40);
        QVERIFY(a.open());
        QVERIFY(b.open());
        const QByteArray rec = "1" + TextField::fixed(QStringLiteral("Ann"), 15) +
                               TextField::fixed(QStringLiteral("555"), 24);
        QVERIFY(a.write(2, rec));
        QCOMPARE(b.read(2), rec);
        QVERIFY(!b.atEnd());
        QCOMPARE(b.read(1), QByteArray(40, '\0')); // the gap left by a's write
        QCOMPARE(b.read(3), QByteArray(40, '\0'));
        QVERIFY(b.atEnd());
        QVERIFY(!a.atEnd()); // each open has its own end-of-file indication
    }

    void closedFileReadsAsEnd()
    {
        RecordFile file(path("closed.dat"), 4);
        QCOMPARE(file.read(1), QByteArray(4, '\0'));
        QVERIFY(file.atEnd());
        QVERIFY(!file.write(1, "ABCD"));
    }
};

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
