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

private Q_SLOTS:
    // Written bytes are checked by the window's Apply tests; here the other ports.
    void writeUsesThePrintStyle()
    {
        QVERIFY(ConnectionProfile::write(path(), 8, QStringLiteral("9600")));
        QFile f(path());
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), QByteArray(" 8 \r\n9600\r\n"));
    }

    // The print style itself is read in the start-up loader's tests.
    void read_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("rate");
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
};

QTEST_GUILESS_MAIN(TestConnectionProfile)
#include "tst_connectionprofile.moc"
