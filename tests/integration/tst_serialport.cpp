// The real serial backend against a pseudo-terminal linked as <data folder>/COM1.

#include "DataPaths.h"
#include "QtSerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace dovrane;

class tst_SerialPort : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_master = -1;

    QtSerialPort* port(int number, const QString& settings = QStringLiteral("9600,N,8,1"))
    {
        auto* p = new QtSerialPort(DataPaths(m_dir.path()), this);
        p->setCommPort(number);
        if (!p->setSettings(settings))
            return p;
        p->setDtrEnable(true);
        p->setRtsEnable(true);
        p->setHandshaking(Handshaking::RtsCts);
        return p;
    }
    QByteArray readMaster(int expected) const
    {
        QByteArray out;
        char buf[256];
        for (pollfd p{m_master, POLLIN, 0}; out.size() < expected && ::poll(&p, 1, 5000) > 0;)
            out.append(buf, ::read(m_master, buf, sizeof buf));
        return out;
    }

private Q_SLOTS:
    void initTestCase()
    {
        int slave = -1;
        char name[256] = {};
        QVERIFY(::openpty(&m_master, &slave, name, nullptr, nullptr) == 0);
        ::close(slave);
        QVERIFY(QFile::link(QString::fromLocal8Bit(name), m_dir.filePath(QStringLiteral("COM1"))));
        QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("gone")), m_dir.filePath("COM2")));
    }
    void cleanupTestCase() { ::close(m_master); }

    void failures_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("error");
        QTest::newRow("rate with a comma") << 1 << "9600,N,8,1,N,8,1" << 380;
        QTest::newRow("empty rate") << 1 << ",N,8,1" << 380;
        QTest::newRow("parity") << 1 << "9600,Q,8,1" << 380;
        QTest::newRow("link to nothing") << 2 << "9600,N,8,1" << 8002;
        QTest::newRow("no such port") << 0 << "9600,N,8,1" << 8002;
    }
    void failures()
    {
        QFETCH(int, number);
        QFETCH(QString, settings);
        QFETCH(int, error);
        QtSerialPort* p = port(number, settings);
        QVERIFY(!p->open());
        QCOMPARE(p->lastErrorNumber(), error);
        QVERIFY(!p->lastErrorDescription().isEmpty());
    }

    // A pseudo-terminal has no modem-control lines; that is no reason to fail.
    void bytesBothWaysAndOneOwner()
    {
        QtSerialPort* first = port(1);
        QVERIFY2(first->open(), qPrintable(first->lastErrorDescription()));
        QVERIFY(first->write("ATZ\r"));
        QCOMPARE(readMaster(4), QByteArray("ATZ\r"));
        QCOMPARE(::write(m_master, "OK\r\n", 4), ssize_t(4));
        QByteArray got;
        QTRY_COMPARE_WITH_TIMEOUT(got += first->readAll(), QByteArray("OK\r\n"), 5000);
        QtSerialPort* other = port(1);
        QVERIFY(!other->open());
        QCOMPARE(other->lastErrorNumber(), 8005);
        first->close();
        QVERIFY(!first->write("x"));
        QVERIFY(other->open());
    }
};

QTEST_GUILESS_MAIN(tst_SerialPort)
#include "tst_serialport.moc"
