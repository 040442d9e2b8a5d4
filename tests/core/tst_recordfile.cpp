#include "RecordFile.h"

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
    void openCreatesMissingFileOnly()
    {
        RecordFile file(path("new.dat"), 40);
        QVERIFY(file.open());
        QCOMPARE(contents(path("new.dat")), QByteArray());
        QCOMPARE(file.recordCount(), 0);
        QCOMPARE(file.read(1), QByteArray(40, '\0'));
        QVERIFY(file.atEnd());

        RecordFile nowhere(path("no/such/folder/x.dat"), 4);
        QVERIFY(!nowhere.open());
        QCOMPARE(nowhere.read(1), QByteArray(4, '\0')); // a closed file reads as its end
        QVERIFY(nowhere.atEnd());
        QVERIFY(!nowhere.write(1, "ABCD"));
    }

    void readPastEnd()
    {
        const QString p = path("read.dat");
        {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("ABCDEFGHIJ"); // two whole records and half of a third
        }
        RecordFile file(p, 4);
        QVERIFY(file.open());
        QCOMPARE(file.read(2), QByteArray("EFGH"));
        QVERIFY(!file.atEnd());
        QCOMPARE(file.read(3), QByteArray(4, '\0')); // partly past the end
        QVERIFY(file.atEnd());
        QCOMPARE(file.read(1), QByteArray("ABCD")); // a whole record clears the indication
        QVERIFY(!file.atEnd());
        QCOMPARE(file.read(4), QByteArray(4, '\0'));
        QVERIFY(file.atEnd());
    }

    void writePastEndZeroFillsGap()
    {
        const QString p = path("grow.dat");
        RecordFile file(p, 4);
        QVERIFY(file.open());
        QVERIFY(file.write(3, "WXYZ"));
        QCOMPARE(contents(p), QByteArray(8, '\0') + "WXYZ");
        QVERIFY(file.write(1, "AB"));     // short data is zero-padded to the record
        QVERIFY(file.write(2, "123456")); // long data is cut to the record
        QCOMPARE(contents(p), QByteArray("AB\0\0", 4) + "1234WXYZ");
        QCOMPARE(file.recordCount(), 3);
    }

    void severalOpensSeeEachOthersWrites()
    {
        RecordFile a(path("shared.dat"), 40);
        RecordFile b(path("shared.dat"), 40);
        QVERIFY(a.open() && b.open());
        const QByteArray rec = "1Ann" + QByteArray(36, ' ');
        QVERIFY(a.write(2, rec));
        QCOMPARE(b.read(2), rec);
        QCOMPARE(b.read(1), QByteArray(40, '\0')); // the gap left by a's write
        QVERIFY(!b.atEnd());
        QCOMPARE(b.read(3), QByteArray(40, '\0'));
        QVERIFY(b.atEnd());
        QVERIFY(!a.atEnd()); // each open has its own end-of-file indication
    }
};

QTEST_GUILESS_MAIN(TestRecordFile)
#include "tst_recordfile.moc"
