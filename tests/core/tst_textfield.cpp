#include "DelimitedReader.h"
#include "TextField.h"
#include "TimeOfDay.h"

#include <QTest>

using namespace dovrane;

/// Fixed-width single-byte fields, the delimited reading of the settings text files,
/// and the rounding the clock readings use.
class TestTextField : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void fixed_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("padded") << QStringLiteral("Ann") << 6 << QByteArray("Ann   ");
        QTest::newRow("cut") << QStringLiteral("Bartholomew") << 4 << QByteArray("Bart");
        QTest::newRow("empty") << QString() << 3 << QByteArray("   ");
        QTest::newRow("leading blanks kept") << QStringLiteral(" 55") << 4 << QByteArray(" 55 ");
        QTest::newRow("euro sign is 0x80") << QStringLiteral("\u20ac5") << 3
                                           << QByteArray("\x80"
                                                         "5 ");
        QTest::newRow("curly quote") << QStringLiteral("O\u2019H") << 3 << QByteArray("O\x92H");
        QTest::newRow("not in the code page") << QStringLiteral("\u4e2d") << 2 << QByteArray("? ");
    }
    void fixed()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QTEST(TextField::fixed(text, width), "bytes");
    }

    void decodeRoundTripsEveryByte()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(char(b));
        const QString text = TextField::decode(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(text.at(0xe9), QChar(0xe9));
        // Every byte comes back unchanged, the five Windows-1252 leaves undefined too.
        QCOMPARE(TextField::encode(text), all);
    }

    void int32LittleEndian()
    {
        QByteArray bytes(8, '\0');
        writeInt32LE(bytes, 4, 45296);
        writeInt32LE(bytes, 0, -1);
        QCOMPARE(bytes, QByteArray("\xff\xff\xff\xff\xf0\xb0\0\0", 8));
        QCOMPARE(readInt32LE(bytes, 4), 45296);
        QCOMPARE(readInt32LE(bytes, 0), -1);
        QCOMPARE(readInt32LE(bytes, 6), 0); // not wholly inside
    }

    void delimitedFields_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("lines") << QByteArray("WXYZ FM\r\nann\r\n\r\n")
                               << QStringList{"WXYZ FM", "ann", ""};
        QTest::newRow("comma splits a line")
            << QByteArray("Acme, Inc\r\nann\r\n") << QStringList{"Acme", "Inc", "ann"};
        QTest::newRow("quotes keep the comma")
            << QByteArray("\"Acme, Inc\"\r\nann\r\n") << QStringList{"Acme, Inc", "ann"};
        QTest::newRow("blanks around dropped")
            << QByteArray("  spaced  \r\n 3 \r\n") << QStringList{"spaced", "3"};
        QTest::newRow("bare LF and no final line end")
            << QByteArray("a\nb") << QStringList{"a", "b"};
        QTest::newRow("nothing") << QByteArray() << QStringList{};
    }
    void delimitedFields()
    {
        QFETCH(QByteArray, content);
        DelimitedReader reader(content);
        QStringList got;
        while (const std::optional<QString> f = reader.nextField())
            got.append(*f);
        QTEST(got, "fields");
    }

    void roundingTiesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<qint64>("rounded");
        QTest::newRow("0.5") << 0.5 << qint64(0);
        QTest::newRow("1.5") << 1.5 << qint64(2);
        QTest::newRow("2.5") << 2.5 << qint64(2);
        QTest::newRow("2.51") << 2.51 << qint64(3);
        QTest::newRow("23:59:59.5") << 86399.5 << qint64(86400);
        QTest::newRow("23:59:58.5") << 86398.5 << qint64(86398);
        QTest::newRow("-1.5") << -1.5 << qint64(-2);
    }
    void roundingTiesToEven()
    {
        QFETCH(double, value);
        QTEST(roundHalfEven(value), "rounded");
    }
};

QTEST_GUILESS_MAIN(TestTextField)
#include "tst_textfield.moc"
