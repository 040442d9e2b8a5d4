#include "AppState.h"
#include "ConnectionProfile.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace dovrane;

class TestConnectionProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path() const { return m_dir.filePath(QStringLiteral("Connection.dat")); }
    QByteArray contents() const
    {
        QFile f(path());
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }

private Q_SLOTS:
    void write_data()
    {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("rate");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("1 at 2400") << 1 << "2400" << QByteArray(" 1 \r\n2400\r\n");
        QTest::newRow("3 at 19200") << 3 << "19200" << QByteArray(" 3 \r\n19200\r\n");
        QTest::newRow("8 at 9600") << 8 << "9600" << QByteArray(" 8 \r\n9600\r\n");
    }
    void write()
    {
        QFETCH(int, port);
        QFETCH(QString, rate);
        QFETCH(QByteArray, bytes);
        QVERIFY(ConnectionProfile::write(path(), port, rate));
        QCOMPARE(contents(), bytes);
    }

    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("rate");
        QTest::newRow("print style") << QByteArray(" 3 \r\n19200\r\n") << 3 << "19200";
        QTest::newRow("no final line end") << QByteArray(" 2 \r\n9600") << 2 << "9600";
        QTest::newRow("bare digits") << QByteArray("4\r\n2400\r\n") << 4 << "2400";
    }
    void read()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, port);
        QFETCH(QString, rate);
        QFile f(path());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.close();
        AppState state;
        QVERIFY(ConnectionProfile::read(path(), state));
        QCOMPARE(int(state.ComPort), port);
        QCOMPARE(state.BaudRate, rate);
    }

    void writeIntoMissingFolderFailsWithNumberAndText()
    {
        QString error;
        QVERIFY(!ConnectionProfile::write(m_dir.filePath(QStringLiteral("gone/Connection.dat")), 1,
                                          QStringLiteral("2400"), &error));
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d+ \\S")).match(error).hasMatch(),
                 qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestConnectionProfile)
#include "tst_connectionprofile.moc"
