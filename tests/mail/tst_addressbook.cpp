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
                        // StartSecs Sun..Sat: Mon 28800, Sat 86399
                        "0000000080700000000000000000000000000000000000007f510100"
                        // StopSecs Sun..Sat: Mon 61200, Sat -1
                        "0000000010ef000000000000000000000000000000000000ffffffff");

AddressRecord entry(char inUse, char option, const QString& name = QStringLiteral("X"),
                    const QString& address = QStringLiteral("x@y"))
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
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void recordMatchesFixtureByteForByte()
    {
        AddressRecord r =
            entry('1', '2', QStringLiteral("North"), QStringLiteral("north@example.com"));
        r.DayChecked[2] = '1';
        r.StartSecs[2] = 8 * 3600;
        r.StopSecs[2] = 17 * 3600;
        r.StartSecs[7] = 86399;
        r.StopSecs[7] = -1;
        QCOMPARE(r.toBytes(), kNorthRecord);
        const AddressRecord back = AddressRecord::fromBytes(kNorthRecord);
        QCOMPARE(back.toBytes(), kNorthRecord);
        QCOMPARE(back.ContactName, QStringLiteral("North           ")); // kept as stored
        QCOMPARE(back.StopSecs[2], 61200);
        // A torn record reads as zero bytes past its end.
        const AddressRecord torn = AddressRecord::fromBytes(QByteArray("1"));
        QVERIFY(torn.inUse());
        QCOMPARE(torn.SendOption, '\0');
        QCOMPARE(torn.StopSecs[7], 0);
    }

    void cutsTextsToTheirWidths()
    {
        const QString address = QStringLiteral("exactly-thirty-nine-characters@exam.com");
        QCOMPARE(address.size(), 39);
        const QByteArray bytes =
            entry('1', '1', QStringLiteral("Abcdefghijklmnopqrst"), address).toBytes();
        QCOMPARE(bytes.size(), 120);
        QCOMPARE(bytes.mid(2, 16), QByteArray("Abcdefghijklmnop"));
        QCOMPARE(bytes.mid(18, 39), address.toLatin1());
    }

    void walk_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::addColumn<QList<qint64>>("visited");
        QTest::addColumn<QList<qint64>>("inUse");
        QTest::addColumn<qint64>("firstFree");
        QTest::newRow("empty file")
            << QByteArray() << QList<qint64>{1} << QList<qint64>{} << qint64(1);
        // A torn last record reads as not in use.
        QTest::newRow("deleted slot, torn end")
            << entry('1', '1').toBytes() + entry('0', '1').toBytes() + entry('1', '0').toBytes() +
                   QByteArray(50, 'x')
            << QList<qint64>{1, 2, 3, 4} << QList<qint64>{1, 3} << qint64(2);
    }
    void walk()
    {
        QFETCH(QByteArray, contents);
        QFETCH(QList<qint64>, visited);
        QFETCH(QList<qint64>, inUse);
        QFETCH(qint64, firstFree);
        openFresh(contents);
        AddressBook book(m_state);
        QList<qint64> seen;
        QList<qint64> used;
        book.walk([&](qint64 n, const AddressRecord& r) {
            seen.append(n);
            if (r.inUse())
                used.append(n);
        });
        QCOMPARE(seen, visited);
        QCOMPARE(used, inUse);
        QVERIFY(book.atEnd());
        QCOMPARE(book.firstFree(), firstFree);
    }

    void newEntryReusesDeletedSlotThenGrows()
    {
        openFresh(entry('1', '1').toBytes() + entry('0', '1').toBytes() +
                  entry('1', '1').toBytes());
        AddressBook book(m_state);
        QCOMPARE(book.firstFree(), 2);
        QVERIFY(book.write(2, entry('1', '1')));
        QCOMPARE(book.firstFree(), 4);
        QVERIFY(book.write(4, entry('1', '1')));
        QCOMPARE(fileBytes().size(), 4 * 120);
    }

    void deletingRewritesOnlyTheFlag()
    {
        openFresh(kNorthRecord);
        AddressBook book(m_state);
        QVERIFY(book.markDeleted(1));
        QCOMPARE(fileBytes(), QByteArray("0") + kNorthRecord.mid(1));
        QCOMPARE(book.firstFree(), 1);
    }

    void noOpenFileReadsEmpty()
    {
        m_state.AddressBookFile.reset();
        AddressBook book(m_state);
        int visits = 0;
        book.walk([&](qint64, const AddressRecord&) { ++visits; });
        QCOMPARE(visits, 1);
        QVERIFY(!book.write(1, entry('1', '1')));
    }

    void weekdaysStartOnSunday()
    {
        QCOMPARE(sundayFirstWeekday(QDate(2006, 6, 18)), 1);
        QCOMPARE(sundayFirstWeekday(QDate(2006, 6, 24)), 7);
    }

    void deliveryRule_data()
    {
        QTest::addColumn<char>("inUse");
        QTest::addColumn<char>("option");
        QTest::addColumn<bool>("checked");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("stop");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<double>("time");
        QTest::addColumn<bool>("receives");

        // Only Monday's row is set; every other day stays unchecked 0..0.
        const auto row = [](const char* tag, char inUse, char option, bool checked, int start,
                            int stop, const QDate& date, double time, bool receives) {
            QTest::newRow(tag) << inUse << option << checked << start << stop << date << time
                               << receives;
        };
        const int h8 = 8 * 3600;
        const int h17 = 17 * 3600;
        const QDate mon(2006, 6, 19);
        const double noon = 12.0 * 3600;
        row("Sometimes inside", '1', '2', true, h8, h17, mon, noon, true);
        row("07:59:59", '1', '2', true, h8, h17, mon, h8 - 1.0, false);
        row("at start", '1', '2', true, h8, h17, mon, h8, false);
        row("at stop", '1', '2', true, h8, h17, mon, h17, false);
        row("Tuesday", '1', '2', true, h8, h17, QDate(2006, 6, 20), noon, false);
        row("unchecked", '1', '2', false, h8, h17, mon, noon, false);
        row("over midnight late", '1', '2', true, 22 * 3600, 6 * 3600, mon, 23.0 * 3600, false);
        row("over midnight early", '1', '2', true, 22 * 3600, 6 * 3600, mon, 3600.0, false);
        row("both midnight", '1', '2', true, 0, 0, mon, noon, false);
        row("whole day at midnight", '1', '2', true, 0, 86399, mon, 0.0, false);
        row("whole day 00:00:00.5", '1', '2', true, 0, 86399, mon, 0.5, true);
        row("whole day 23:59:58.9", '1', '2', true, 0, 86399, mon, 86398.9, true);
        row("whole day 23:59:59", '1', '2', true, 0, 86399, mon, 86399.0, false);
        row("Always, Sunday, no days", '1', '1', false, 0, 0, QDate(2006, 6, 18), 0.0, true);
        row("Never, window open", '1', '0', true, h8, h17, mon, noon, false);
        row("unexpected option", '1', 'x', true, h8, h17, mon, noon, false);
        row("deleted Always", '0', '1', true, h8, h17, mon, noon, false);
        row("never-written slot", '\0', '1', false, 0, 0, mon, 1.0, false);
    }
    void deliveryRule()
    {
        QFETCH(char, inUse);
        QFETCH(char, option);
        QFETCH(bool, checked);
        QFETCH(int, start);
        QFETCH(int, stop);
        QFETCH(QDate, date);
        QFETCH(double, time);
        QFETCH(bool, receives);

        AddressRecord r = entry(inUse, option);
        r.DayChecked[2] = checked ? '1' : '0';
        r.StartSecs[2] = start;
        r.StopSecs[2] = stop;
        QCOMPARE(receivesAlarmMail(r, sundayFirstWeekday(date), time), receives);
    }
};

QTEST_GUILESS_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
