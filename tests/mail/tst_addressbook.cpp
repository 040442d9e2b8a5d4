#include "AddressBook.h"
#include "AppState.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace dovrane;

namespace {

// Record of "North", north@example.com, Sometimes, Monday checked 08:00:00-17:00:00,
// Saturday unchecked with start 23:59:59 and stop -1, laid out by hand from the file
// format: offsets 0, 1, 2, 18, 57, 64, 92.
const QByteArray kNorthRecord =
    QByteArray::fromHex("31"                                           // InUse "1"
                        "32"                                           // SendOption "2" Sometimes
                        "4e6f7274682020202020202020202020"             // "North" + 11 blanks (16)
                        "6e6f727468406578616d706c652e636f6d"           // "north@example.com" (17)
                        "20202020202020202020202020202020202020202020" // 22 blanks
                        "30313030303030"                               // Sun..Sat "0100000"
                        "00000000"
                        "80700000"
                        "00000000"
                        "00000000"
                        "00000000"
                        "00000000"
                        "7f510100" // start
                        "00000000"
                        "10ef0000"
                        "00000000"
                        "00000000"
                        "00000000"
                        "00000000"
                        "ffffffff" // stop
    );

AddressRecord entry(char inUse, char option, const QString& name, const QString& address)
{
    AddressRecord r;
    r.InUse = inUse;
    r.SendOption = option;
    r.setContactName(name);
    r.setAddress(address);
    for (int day = 1; day <= 7; ++day)
        r.DayChecked[day] = '0';
    return r;
}

} // namespace

class TestAddressBook : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    AppState m_state;

    QString path() const { return m_dir.filePath(QStringLiteral("AddressBook.dat")); }

    void openFresh(const QByteArray& contents = {})
    {
        m_state.AddressBookFile.reset();
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(contents);
        f.close();
        m_state.AddressBookFile = std::make_unique<RecordFile>(path(), 120);
        QVERIFY(m_state.AddressBookFile->open());
    }

    QByteArray fileBytes() const
    {
        QFile f(path());
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return f.readAll();
    }

private Q_SLOTS:
    void fixtureIs120Bytes() { QCOMPARE(kNorthRecord.size(), 120); }

    void encodesRecordByteForByte()
    {
        AddressRecord r =
            entry('1', '2', QStringLiteral("North"), QStringLiteral("north@example.com"));
        r.DayChecked[2] = '1';
        r.StartSecs[2] = 8 * 3600;
        r.StopSecs[2] = 17 * 3600;
        r.StartSecs[7] = 86399;
        r.StopSecs[7] = -1;
        QCOMPARE(r.toBytes(), kNorthRecord);
    }

    void decodesRecord()
    {
        const AddressRecord r = AddressRecord::fromBytes(kNorthRecord);
        QVERIFY(r.inUse());
        QCOMPARE(r.SendOption, '2');
        QCOMPARE(r.ContactName, QStringLiteral("North           "));
        QCOMPARE(r.Address, QStringLiteral("north@example.com").leftJustified(39));
        QCOMPARE(r.DayChecked[1], '0');
        QCOMPARE(r.DayChecked[2], '1');
        QCOMPARE(r.StartSecs[2], 28800);
        QCOMPARE(r.StopSecs[2], 61200);
        QCOMPARE(r.StartSecs[7], 86399);
        QCOMPARE(r.StopSecs[7], -1);
    }

    void cutsTextsToTheirWidths()
    {
        AddressRecord r = entry('1', '1', QStringLiteral("Abcdefghijklmnopqrst"),
                                QStringLiteral("exactly-thirty-nine-characters@exam.com"));
        QCOMPARE(QStringLiteral("exactly-thirty-nine-characters@exam.com").size(), 39);
        const QByteArray bytes = r.toBytes();
        QCOMPARE(bytes.size(), 120);
        QCOMPARE(bytes.mid(2, 16), QByteArray("Abcdefghijklmnop"));
        QCOMPARE(bytes.mid(18, 39), QByteArray("exactly-thirty-nine-characters@exam.com"));
        QCOMPARE(bytes.at(57), '0');
    }

    void storesSingleByteCodePage()
    {
        AddressRecord r = entry('1', '1', QStringLiteral("Zo\u00eb \u20ac"), QString());
        const QByteArray bytes = r.toBytes();
        QCOMPARE(bytes.mid(2, 6), QByteArray("Zo\xeb \x80 "));
        QCOMPARE(AddressRecord::fromBytes(bytes).ContactName.trimmed(),
                 QStringLiteral("Zo\u00eb \u20ac"));
    }

    void shortBufferReadsAsZeros()
    {
        const AddressRecord r = AddressRecord::fromBytes(QByteArray("1"));
        QVERIFY(r.inUse());
        QCOMPARE(r.SendOption, '\0');
        QCOMPARE(r.StopSecs[7], 0);
        QVERIFY(!AddressRecord::fromBytes({}).inUse());
    }

    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void walkOfEmptyFileReadsRecordOne()
    {
        openFresh();
        AddressBook book(m_state);
        QList<qint64> visited;
        book.walk([&](qint64 n, const AddressRecord& r) {
            visited.append(n);
            QVERIFY(!r.inUse());
        });
        QCOMPARE(visited, QList<qint64>{1});
        QVERIFY(book.atEnd());
        QCOMPARE(book.firstFree(), 1);
    }

    void walkVisitsEverySlotAndOnePastTheEnd()
    {
        QByteArray bytes =
            entry('1', '1', QStringLiteral("South"), QStringLiteral("s@x")).toBytes();
        bytes += entry('0', '1', QStringLiteral("Gone"), QStringLiteral("g@x")).toBytes();
        bytes += entry('1', '0', QStringLiteral("East"), QStringLiteral("e@x")).toBytes();
        bytes += QByteArray(50, 'x'); // a torn last record reads as not in use
        openFresh(bytes);
        AddressBook book(m_state);
        QList<qint64> visited;
        QList<qint64> inUse;
        book.walk([&](qint64 n, const AddressRecord& r) {
            visited.append(n);
            if (r.inUse())
                inUse.append(n);
        });
        QCOMPARE(visited, (QList<qint64>{1, 2, 3, 4}));
        QCOMPARE(inUse, (QList<qint64>{1, 3}));
    }

    void endOfFileOnlyAfterReadPastTheEnd()
    {
        QByteArray bytes = entry('1', '1', QStringLiteral("A"), QStringLiteral("a@x")).toBytes();
        bytes += entry('1', '1', QStringLiteral("B"), QStringLiteral("b@x")).toBytes();
        openFresh(bytes);
        AddressBook book(m_state);
        QCOMPARE(book.read(2).ContactName.trimmed(), QStringLiteral("B"));
        QVERIFY(!book.atEnd());
        QVERIFY(!book.read(3).inUse());
        QVERIFY(book.atEnd());
        QCOMPARE(book.read(1).ContactName.trimmed(), QStringLiteral("A"));
        QVERIFY(!book.atEnd());
    }

    void newEntryReusesDeletedSlotThenGrows()
    {
        QByteArray bytes = entry('1', '1', QStringLiteral("A"), QStringLiteral("a@x")).toBytes();
        bytes += entry('0', '1', QStringLiteral("B"), QStringLiteral("b@x")).toBytes();
        bytes += entry('1', '1', QStringLiteral("C"), QStringLiteral("c@x")).toBytes();
        openFresh(bytes);
        AddressBook book(m_state);
        QCOMPARE(book.firstFree(), 2);
        QVERIFY(book.write(2, entry('1', '1', QStringLiteral("D"), QStringLiteral("d@x"))));
        QCOMPARE(book.firstFree(), 4);
        QVERIFY(book.write(4, entry('1', '1', QStringLiteral("E"), QStringLiteral("e@x"))));
        QCOMPARE(fileBytes().size(), 4 * 120);
    }

    void deletingRewritesOnlyTheFlag()
    {
        const QByteArray original = kNorthRecord;
        openFresh(original);
        AddressBook book(m_state);
        QVERIFY(book.markDeleted(1));
        QByteArray expected = original;
        expected[0] = '0';
        QCOMPARE(fileBytes(), expected);
        QCOMPARE(book.firstFree(), 1);
    }

    void writePastTheEndLeavesZeroSlots()
    {
        openFresh();
        AddressBook book(m_state);
        QVERIFY(book.write(3, AddressRecord::fromBytes(kNorthRecord)));
        const QByteArray bytes = fileBytes();
        QCOMPARE(bytes.size(), 360);
        QCOMPARE(bytes.left(240), QByteArray(240, '\0'));
        QCOMPARE(bytes.mid(240), kNorthRecord);
        QCOMPARE(book.firstFree(), 1);
    }

    void followsAReplacedHandle()
    {
        openFresh(kNorthRecord);
        AddressBook book(m_state);
        QVERIFY(book.read(1).inUse());
        const QString other = m_dir.filePath(QStringLiteral("Other.dat"));
        m_state.AddressBookFile = std::make_unique<RecordFile>(other, 120);
        QVERIFY(m_state.AddressBookFile->open());
        QVERIFY(!book.read(1).inUse());
        QCOMPARE(book.firstFree(), 1);
    }

    void noOpenFileReadsEmpty()
    {
        m_state.AddressBookFile.reset();
        AddressBook book(m_state);
        int visits = 0;
        book.walk([&](qint64, const AddressRecord&) { ++visits; });
        QCOMPARE(visits, 1);
        QVERIFY(!book.write(1, AddressRecord::fromBytes(kNorthRecord)));
    }

    void sundayIsDayOne_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<int>("weekday");
        QTest::newRow("Sunday") << QDate(2006, 6, 18) << 1;
        QTest::newRow("Monday") << QDate(2006, 6, 19) << 2;
        QTest::newRow("Thursday") << QDate(2006, 6, 15) << 5;
        QTest::newRow("Saturday") << QDate(2006, 6, 24) << 7;
    }
    void sundayIsDayOne()
    {
        QFETCH(QDate, date);
        QFETCH(int, weekday);
        QCOMPARE(sundayFirstWeekday(date), weekday);
    }

    void deliveryRule_data()
    {
        QTest::addColumn<char>("inUse");
        QTest::addColumn<char>("option");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("stop");
        QTest::addColumn<int>("weekday");
        QTest::addColumn<double>("time");
        QTest::addColumn<bool>("receives");

        const int h8 = 8 * 3600;
        const int h17 = 17 * 3600;
        const int mon = 2;
        QTest::newRow("Sometimes inside")
            << '1' << '2' << true << h8 << h17 << mon << 12.0 * 3600 << true;
        QTest::newRow("Sometimes 07:59:59")
            << '1' << '2' << true << h8 << h17 << mon << double(h8 - 1) << false;
        QTest::newRow("Sometimes at start")
            << '1' << '2' << true << h8 << h17 << mon << double(h8) << false;
        QTest::newRow("Sometimes just after start")
            << '1' << '2' << true << h8 << h17 << mon << h8 + 0.1 << true;
        QTest::newRow("Sometimes just before stop")
            << '1' << '2' << true << h8 << h17 << mon << h17 - 0.1 << true;
        QTest::newRow("Sometimes at stop")
            << '1' << '2' << true << h8 << h17 << mon << double(h17) << false;
        QTest::newRow("Sometimes other day")
            << '1' << '2' << true << h8 << h17 << 3 << 12.0 * 3600 << false;
        QTest::newRow("Sometimes unchecked")
            << '1' << '2' << false << h8 << h17 << mon << 12.0 * 3600 << false;
        QTest::newRow("over midnight late")
            << '1' << '2' << true << 22 * 3600 << 6 * 3600 << mon << 23.0 * 3600 << false;
        QTest::newRow("over midnight early")
            << '1' << '2' << true << 22 * 3600 << 6 * 3600 << mon << 1.0 * 3600 << false;
        QTest::newRow("both midnight")
            << '1' << '2' << true << 0 << 0 << mon << 12.0 * 3600 << false;
        QTest::newRow("whole day at midnight")
            << '1' << '2' << true << 0 << 86399 << mon << 0.0 << false;
        QTest::newRow("whole day 00:00:00.5")
            << '1' << '2' << true << 0 << 86399 << mon << 0.5 << true;
        QTest::newRow("whole day noon")
            << '1' << '2' << true << 0 << 86399 << mon << 43200.0 << true;
        QTest::newRow("whole day 23:59:58.9")
            << '1' << '2' << true << 0 << 86399 << mon << 86398.9 << true;
        QTest::newRow("whole day 23:59:59")
            << '1' << '2' << true << 0 << 86399 << mon << 86399.0 << false;
        QTest::newRow("whole day 23:59:59.5")
            << '1' << '2' << true << 0 << 86399 << mon << 86399.5 << false;
        QTest::newRow("Always, no days") << '1' << '1' << false << 0 << 0 << 1 << 0.0 << true;
        QTest::newRow("Always, Saturday night")
            << '1' << '1' << false << 0 << 0 << 7 << 86399.9 << true;
        QTest::newRow("Never, window open")
            << '1' << '0' << true << h8 << h17 << mon << 12.0 * 3600 << false;
        QTest::newRow("unexpected option")
            << '1' << 'x' << true << h8 << h17 << mon << 12.0 * 3600 << false;
        QTest::newRow("zero option")
            << '1' << '\0' << true << h8 << h17 << mon << 12.0 * 3600 << false;
        QTest::newRow("deleted Always")
            << '0' << '1' << true << h8 << h17 << mon << 12.0 * 3600 << false;
        QTest::newRow("deleted Sometimes")
            << '0' << '2' << true << h8 << h17 << mon << 12.0 * 3600 << false;
        QTest::newRow("never-written slot")
            << '\0' << '1' << false << 0 << 0 << mon << 1.0 << false;
    }
    void deliveryRule()
    {
        QFETCH(char, inUse);
        QFETCH(char, option);
        QFETCH(bool, checked);
        QFETCH(int, start);
        QFETCH(int, stop);
        QFETCH(int, weekday);
        QFETCH(double, time);
        QFETCH(bool, receives);

        AddressRecord r = entry(inUse, option, QStringLiteral("X"), QStringLiteral("x@y"));
        // Only the row of the Monday is set; every other day stays unchecked 0..0.
        r.DayChecked[2] = checked ? '1' : '0';
        r.StartSecs[2] = start;
        r.StopSecs[2] = stop;
        QCOMPARE(receivesAlarmMail(r, weekday, time), receives);
        // Through the file, so the rule sees what a send would read.
        openFresh(r.toBytes());
        AddressBook book(m_state);
        QCOMPARE(receivesAlarmMail(book.read(1), weekday, time), receives);
    }
};

QTEST_GUILESS_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
