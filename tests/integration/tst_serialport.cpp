#include "DataPaths.h"
#include "QtSerialPort.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

using namespace dovrane;

/// The real serial backend against a pseudo-terminal linked as <data folder>/COM1.
class TestQtSerialPort : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_master = -1;

    DataPaths paths() const { return DataPaths(m_dir.path()); }

    static void configure(QtSerialPort& port, int number, const QString& rate = "9600")
    {
        port.setCommPort(number);
        QVERIFY(port.setSettings(rate + QStringLiteral(",N,8,1")));
        port.setDtrEnable(true);
        port.setRtsEnable(true);
        port.setEofEnable(false);
        port.setHandshaking(Handshaking::RtsCts);
        port.setInBufferSize(2048);
        port.setInputLen(0);
        port.setInputModeText(true);
        port.setNullDiscard(false);
        port.setOutBufferSize(512);
        port.setRThreshold(1);
    }

    QByteArray readMaster(int expected)
    {
        QByteArray out;
        for (int i = 0; i < 200 && out.size() < expected; ++i) {
            pollfd p{m_master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                char buf[256];
                const ssize_t n = ::read(m_master, buf, sizeof buf);
                if (n > 0)
                    out.append(buf, n);
            }
        }
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
        // A link whose device is gone: a port that does not exist.
        QVERIFY(QFile::link(m_dir.filePath(QStringLiteral("nothing-here")),
                            m_dir.filePath(QStringLiteral("COM2"))));
    }
    void cleanupTestCase() { ::close(m_master); }

    void settings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("19200") << "19200,N,8,1" << true;
        QTest::newRow("empty rate") << ",N,8,1" << false;
        QTest::newRow("rate with comma") << "19,200,N,8,1" << false;
        QTest::newRow("parity") << "9600,Q,8,1" << false;
    }
    void settings()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QtSerialPort port(paths());
        QCOMPARE(port.setSettings(text), valid);
        QCOMPARE(port.lastErrorNumber(), valid ? 0 : 380);
        QCOMPARE(port.lastErrorDescription().isEmpty(), valid);
    }

    void portThatDoesNotExistFails()
    {
        for (int number : {2, 0}) { // a link to nothing, and no port at all
            QtSerialPort port(paths());
            configure(port, number);
            QVERIFY(!port.open());
            QVERIFY(!port.isOpen());
            QCOMPARE(port.lastErrorNumber(), 8002);
            QVERIFY(port.lastErrorDescription().contains(QString::number(number)));
        }
    }

    void pseudoTerminalCarriesBytesAndIsOpenedOnce()
    {
        // A pseudo-terminal has no modem-control lines; that is no reason to fail.
        QtSerialPort first(paths());
        configure(first, 1);
        QVERIFY2(first.open(), qPrintable(first.lastErrorDescription()));
        QVERIFY(first.write("ATZ\r"));
        QCOMPARE(readMaster(4), QByteArray("ATZ\r"));
        QCOMPARE(::write(m_master, "OK\r\n", 4), ssize_t(4));
        QByteArray got;
        QTRY_VERIFY_WITH_TIMEOUT((got += first.readAll()) == "OK\r\n", 5000);

        QVERIFY(!first.open()); // already open
        QCOMPARE(first.lastErrorNumber(), 8005);
        QtSerialPort other(paths()); // in use by someone else
        configure(other, 1);
        QVERIFY(!other.open());
        QCOMPARE(other.lastErrorNumber(), 8005);
        QVERIFY(!other.lastErrorDescription().isEmpty());

        first.close();
        QVERIFY(!first.isOpen());
        QVERIFY(!first.write("x"));
        QVERIFY(first.lastErrorNumber() > 0);
        QVERIFY(other.open());
        other.close();
    }
};

QTEST_GUILESS_MAIN(TestQtSerialPort)
#include "tst_serialport.moc"
