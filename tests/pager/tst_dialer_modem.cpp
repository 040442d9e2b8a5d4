#include "AlarmLog.h"
#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "PagerDialer.h"
#include "QtSerialPort.h"
#include "RecordFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace dovrane;

namespace {

QByteArray rec(const char* name, const char* number)
{
    return "1" + QByteArray(name).leftJustified(15, ' ', true) +
           QByteArray(number).leftJustified(24, ' ', true);
}

QByteArray call(const char* number)
{
    return "ATZ\rATS7=60\rATS0=0Q0V1X4&C1&D2M1\rATDT " + QByteArray(number) + "@*99*" +
           QByteArray(number).leftJustified(24, ' ') + "\r+++,H";
}

QByteArray read(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/// The dialer on the real clock and the real serial backend.
struct LiveDialer
{
    LiveDialer(AppState& state, const DataPaths& paths)
        : log(state, clock, paths, errors), port(paths), dialer(state, clock, port, log, errors)
    {}
    QByteArray logFile() const { return read(log.fileFor(clock.today())); }

    SystemClock clock;
    ErrorReporter errors;
    AlarmLog log;
    QtSerialPort port;
    PagerDialer dialer;
    QSignalSpy reported{&errors, &ErrorReporter::reported};
    QSignalSpy status{&dialer, &PagerDialer::statusChanged};
};

} // namespace

/// The dialer with the real serial backend and clock, talking to the modem
/// simulator on a pseudo-terminal linked as <data folder>/COM1.
class TestDialerModem : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_modem;
    AppState m_state;

    DataPaths paths() const { return DataPaths(m_dir->path()); }
    QString capture() const { return m_dir->filePath(QStringLiteral("received.bin")); }
    QString events() const { return m_dir->filePath(QStringLiteral("events.log")); }
    /// OPEN and CLOSE lines of the simulator's event log, in order.
    QStringList openClose() const
    {
        QStringList out;
        for (const QByteArray& line : read(events()).split('\n')) {
            const QList<QByteArray> words = line.split(' ');
            if (words.size() == 2 && (words[1] == "OPEN" || words[1] == "CLOSE"))
                out << QString::fromLatin1(words[1]);
        }
        return out;
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        QDir().mkpath(paths().logsDir());
        QFile list(paths().callListFile());
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(rec("Alice", "5551001") + rec("Bob", "5551002"));
        list.close();
        m_state = AppState();
        m_state.CallListFile = std::make_unique<RecordFile>(paths().callListFile(), 40);
        QVERIFY(m_state.CallListFile->open());
        m_state.ComPort = 1;
        m_state.BaudRate = QStringLiteral("9600");

        m_modem = std::make_unique<QProcess>();
        m_modem->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_modem->start(QStringLiteral("/usr/bin/python3"),
                       {QStringLiteral(DOVRANE_SOURCE_DIR "/tests/tools/modem_sim.py"),
                        QStringLiteral("--link"), m_dir->filePath(QStringLiteral("COM1")),
                        QStringLiteral("--capture"), capture(), QStringLiteral("--events"),
                        events(), QStringLiteral("--mode"), QStringLiteral("ok")});
        QVERIFY(m_modem->waitForStarted(10000));
        QTRY_VERIFY_WITH_TIMEOUT(m_modem->canReadLine() || m_modem->state() != QProcess::Running,
                                 20000);
        QVERIFY(m_modem->readLine().startsWith("READY "));
    }
    void cleanup()
    {
        m_modem->terminate();
        if (!m_modem->waitForFinished(5000))
            m_modem->kill();
        m_modem->waitForFinished(5000);
        m_modem.reset();
        m_state.CallListFile.reset();
        m_dir.reset();
    }

    void portFailureIsReported_data()
    {
        QTest::addColumn<bool>("inUse");
        QTest::newRow("in use elsewhere") << true;
        QTest::newRow("unplugged") << false;
    }
    void portFailureIsReported()
    {
        QFETCH(bool, inUse);
        QtSerialPort other(paths());
        if (inUse) {
            other.setCommPort(1);
            QVERIFY(other.setSettings(QStringLiteral("9600,N,8,1")));
            QVERIFY(other.open());
        } else {
            QVERIFY(QFile::link(m_dir->filePath(QStringLiteral("unplugged")),
                                m_dir->filePath(QStringLiteral("COM2"))));
            m_state.ComPort = 2;
        }
        LiveDialer live(m_state, paths());
        live.dialer.StartCallSequence();
        QCOMPARE(live.reported.count(), 1);
        const QString message = live.reported.first().first().toString();
        QVERIFY2(message.startsWith(QString::number(live.port.lastErrorNumber()) + ' ') &&
                     message.size() > 6,
                 qPrintable(message));
        QCOMPARE(live.dialer.state(), PagerDialer::State::Idle);
        QVERIFY(!live.port.isOpen());
        QVERIFY(!live.dialer.hangUpTimer()->isActive());
        QTest::qWait(300);
        QVERIFY(read(capture()).isEmpty());
        QVERIFY(live.logFile().isEmpty());
        QCOMPARE(live.status.count(), 0);
    }

    void twoEntrySequenceReachesTheModem()
    {
        LiveDialer live(m_state, paths());
        QElapsedTimer timer;
        timer.start();
        QList<qint64> callUpAt;
        connect(&live.dialer, &PagerDialer::stateChanged, this, [&](PagerDialer::State s) {
            if (s == PagerDialer::State::CallUp)
                callUpAt << timer.elapsed();
        });
        live.dialer.StartCallSequence();
        QTRY_COMPARE_WITH_TIMEOUT(live.status.count(), 4, 120000);
        QCOMPARE(live.dialer.state(), PagerDialer::State::Idle);
        QCOMPARE(live.reported.count(), 0);

        // A modem that answers at once: each call is set up within a moment, and the
        // hang-up follows 25 s after the dial command.
        QCOMPARE(callUpAt.size(), 2);
        QVERIFY2(callUpAt[0] < 5000, qPrintable(QString::number(callUpAt[0])));
        const qint64 between = callUpAt[1] - callUpAt[0];
        QVERIFY2(between >= 24500 && between < 31500, qPrintable(QString::number(between)));
        QVERIFY(timer.elapsed() >= 49000);

        QTRY_COMPARE_WITH_TIMEOUT(openClose(), (QStringList{"OPEN", "CLOSE", "OPEN", "CLOSE"}),
                                  10000);
        QCOMPARE(read(capture()), call("5551001") + call("5551002"));
        const QList<QByteArray> lines = live.logFile().split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith(" 5551001                 \r"));
        QVERIFY(lines[1].endsWith(" 5551002                 \r"));
        QVERIFY(live.status.at(3).first().toString().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestDialerModem)
#include "tst_dialer_modem.moc"
