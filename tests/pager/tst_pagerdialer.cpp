#include "AlarmLog.h"
#include "AppState.h"
#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "FakeSerialPort.h"
#include "PagerDialer.h"
#include "RecordFile.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace dovrane;
using dovrane::test::FakeSerialPort;
using S = PagerDialer::State;

namespace {

QByteArray pad24(const char* number)
{
    return QByteArray(number).leftJustified(24, ' ', true);
}

QByteArray rec(char flag, const char* name, const char* number)
{
    return QByteArray(1, flag) + QByteArray(name).leftJustified(15, ' ', true) + pad24(number);
}

const QByteArray kSetUp = QByteArrayLiteral("ATZ\rATS7=60\rATS0=0Q0V1X4&C1&D2M1\r");

QByteArray dialed(const char* number)
{
    return "ATDT " + QByteArray(number).trimmed() + "@*99*" + pad24(number) + '\r';
}

const QDateTime kTen(QDate(2024, 3, 5), QTime(10, 0, 0));

} // namespace

/// Everything a dialer needs, with a stepped clock, an in-memory port and a real
/// alarm log in a temporary data folder.
struct Rig
{
    QTemporaryDir dir;
    DataPaths paths{dir.path()};
    AppState state;
    ManualClock clock{kTen};
    FakeSerialPort port;
    ErrorReporter errors;
    AlarmLog log{state, clock, paths, errors};
    PagerDialer dialer{state, clock, port, log, errors};
    QSignalSpy reported{&errors, &ErrorReporter::reported};
    QSignalSpy status{&dialer, &PagerDialer::statusChanged};

    explicit Rig(const QByteArray& callList, bool modemAnswers = true, int comPort = 1,
                 const QString& rate = "9600")
    {
        QDir().mkpath(paths.logsDir());
        QFile f(paths.callListFile());
        f.open(QIODevice::WriteOnly);
        f.write(callList);
        f.close();
        state.CallListFile = std::make_unique<RecordFile>(paths.callListFile(), 40);
        if (!state.CallListFile->open())
            qFatal("cannot open the call list");
        state.ComPort = static_cast<qint16>(comPort);
        state.BaudRate = rate;
        if (modemAnswers)
            port.autoReply = "OK\r\n";
    }
    QByteArray logFile() const
    {
        QFile f(log.fileFor(clock.today()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QStringList statuses() const
    {
        QStringList out;
        for (const QList<QVariant>& args : status)
            out << args.first().toString();
        return out;
    }
    /// Steps the clock in 0.1 s ticks until pred holds or limit seconds have passed.
    template <typename Pred> double stepUntil(Pred pred, double limit = 60.0)
    {
        double t = 0;
        while (!pred() && t < limit) {
            clock.advance(0.1);
            t += 0.1;
        }
        return t;
    }
    /// Nothing of a call reached the operator: no status, no log line, no timer.
    void expectNoCallShown() const
    {
        QCOMPARE(status.count(), 0);
        QVERIFY(logFile().isEmpty());
        QVERIFY(!dialer.hangUpTimer()->isActive());
        QCOMPARE(dialer.state(), S::Idle);
    }
};

class TestPagerDialer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void appliesEveryPropertyInOrderOnEveryCall()
    {
        Rig rig(rec('1', "A", "1") + rec('1', "B", "2"), true, 3, QStringLiteral(" 19200 "));
        const QStringList expected{"CommPort=3",        "Settings=19200,N,8,1", "DTREnable=1",
                                   "RTSEnable=1",       "EOFEnable=0",          "Handshaking=2",
                                   "InBufferSize=2048", "InputLen=0",           "InputMode=0",
                                   "NullDiscard=0",     "OutBufferSize=512",    "RThreshold=1",
                                   "PortOpen=1"};
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.port.properties, expected);
        // A profile change between calls is used by the next call.
        rig.state.BaudRate = QStringLiteral("2400");
        rig.clock.advance(25.0);
        QStringList second = expected;
        second[1] = QStringLiteral("Settings=2400,N,8,1");
        QCOMPARE(rig.port.properties, QStringList{expected} << "PortOpen=0" << second);
    }

    void wholeSequenceSkipsDeletedEntries()
    {
        Rig rig(rec('1', "Alice", "5551001") + rec('0', "Bob", "5551002") +
                rec('1', "Carl", "5551003"));
        QSignalSpy states(&rig.dialer, &PagerDialer::stateChanged);

        // No clock step: replies already waiting end each wait at its first pass.
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.port.written, kSetUp + dialed("5551001"));
        QCOMPARE(rig.dialer.state(), S::CallUp);
        QCOMPARE(rig.dialer.CallIndex, 1);

        rig.clock.advance(24.9);
        QCOMPARE(rig.port.closeCount(), 0);
        rig.clock.advance(0.1); // 25 s after the dial command
        QCOMPARE(rig.port.closeCount(), 1);
        QCOMPARE(rig.dialer.CallIndex, 3);
        rig.clock.advance(25.0);
        QCOMPARE(rig.port.written,
                 kSetUp + dialed("5551001") + "+++,H" + kSetUp + dialed("5551003") + "+++,H");
        QVERIFY(!rig.port.isOpen());
        QVERIFY(!rig.dialer.hangUpTimer()->isActive());

        QCOMPARE(rig.statuses(), (QStringList{"Dialing " + QString(pad24("5551001")), QString(),
                                              "Dialing " + QString(pad24("5551003")), QString()}));
        QCOMPARE(rig.logFile(),
                 "10:00:00 " + pad24("5551001") + "\r\n" + "10:00:25 " + pad24("5551003") + "\r\n");
        QCOMPARE(rig.reported.count(), 0);
        // Idle only once, at the end: waiting for it finds the end of the sequence.
        QList<S> seen;
        for (const QList<QVariant>& args : std::as_const(states))
            seen << args.first().value<S>();
        QCOMPARE(seen, (QList<S>{S::SettingUp, S::CallUp, S::SettingUp, S::CallUp, S::Idle}));

        rig.clock.advance(60.0); // later ticks do nothing more
        QCOMPARE(rig.port.openCount, 2);
    }

    void silentModemStillGetsEveryCommand_data()
    {
        QTest::addColumn<int>("startMs");
        for (int ms : {0, 250, 499, 500, 501, 750, 999})
            QTest::addRow("start at .%03d", ms) << ms;
    }
    void silentModemStillGetsEveryCommand()
    {
        QFETCH(int, startMs);
        Rig rig(rec('1', "Alice", "5551001"), false);
        rig.clock.setNow(kTen.addMSecs(startMs));
        const QDateTime opened = rig.clock.now();
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.port.written, QByteArray("ATZ\r"));
        QCOMPARE(rig.dialer.state(), S::SettingUp);
        rig.stepUntil([&] { return rig.port.written.contains("ATDT"); }, 10.0);
        const double elapsed = opened.msecsTo(rig.clock.now()) / 1000.0;
        QVERIFY2(elapsed >= 3.5 && elapsed <= 6.6, qPrintable(QString::number(elapsed)));
        QCOMPARE(rig.port.written, kSetUp + dialed("5551001"));
        QCOMPARE(rig.status.count(), 1);
        QVERIFY(rig.logFile().endsWith(pad24("5551001") + "\r\n"));
        QCOMPARE(rig.dialer.state(), S::CallUp);
    }

    void eachWaitEndsByItsOwnLimit()
    {
        Rig rig(rec('1', "Alice", "5551001"), false);
        rig.clock.setNow(kTen.addMSecs(200)); // WaitStart rounds down to :00
        rig.dialer.StartCallSequence();
        const double w1 = rig.stepUntil([&] { return rig.port.written.contains("ATS7"); });
        const double w2 = rig.stepUntil([&] { return rig.port.written.contains("ATS0"); });
        const double w3 = rig.stepUntil([&] { return rig.port.written.contains("ATDT"); });
        QVERIFY2(w1 > 1.7 && w1 < 2.0, qPrintable(QString::number(w1)));
        QVERIFY2(w2 > 1.9 && w2 < 2.6, qPrintable(QString::number(w2)));
        QVERIFY2(w3 > 0.5 && w3 < 1.6, qPrintable(QString::number(w3)));
    }

    void replyTextAppendsInFirstWaitsAndReplacesInThird()
    {
        Rig rig(rec('1', "Alice", "5551001"), false);
        rig.dialer.StartCallSequence();
        rig.port.pendingInput = "O";
        rig.clock.advance(0.1);
        QVERIFY(!rig.port.written.contains("ATS7"));
        rig.port.pendingInput = "K\r\n"; // "O" + "K": found
        rig.clock.advance(0.1);
        QVERIFY(rig.port.written.endsWith("ATS7=60\r"));
        rig.port.pendingInput = "OK\r\n";
        rig.clock.advance(0.1);
        QVERIFY(rig.port.written.endsWith("ATS0=0Q0V1X4&C1&D2M1\r"));
        const QDateTime wait3 = rig.clock.now();
        rig.port.pendingInput = "O";
        rig.clock.advance(0.1);
        rig.port.pendingInput = "K"; // replaces "O": no "OK"
        rig.clock.advance(0.1);
        QVERIFY(!rig.port.written.contains("ATDT"));
        rig.stepUntil([&] { return rig.port.written.contains("ATDT"); });
        QVERIFY(wait3.msecsTo(rig.clock.now()) >= 500);
    }

    void okIsCaseSensitive()
    {
        Rig rig(rec('1', "Alice", "5551001"), false);
        rig.port.autoReply = "ok\r\n";
        rig.dialer.StartCallSequence();
        rig.clock.advance(1.0);
        QCOMPARE(rig.port.written, QByteArray("ATZ\r"));
    }

    void dialCommand_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QByteArray>("command");
        QTest::newRow("plain") << QString(pad24("5551001"))
                               << QByteArray("ATDT 5551001@*99*5551001                 \r");
        QTest::newRow("all blanks") << QString(24, QLatin1Char(' '))
                                    << QByteArray("ATDT @*99*") + QByteArray(24, ' ') + "\r";
        QTest::newRow("leading blanks")
            << QString(pad24("  555 12"))
            << QByteArray("ATDT 555 12@*99*  555 12") + QByteArray(16, ' ') + "\r";
        QTest::newRow("line breaks inside")
            << QString(pad24("555\r\n1234"))
            << QByteArray("ATDT 555  1234@*99*555  1234") + QByteArray(15, ' ') + "\r";
        QTest::newRow("trailing line feed")
            << QString(pad24("5551234\n"))
            << QByteArray("ATDT 5551234@*99*5551234") + QByteArray(17, ' ') + "\r";
    }
    void dialCommand()
    {
        QFETCH(QString, number);
        QFETCH(QByteArray, command);
        QCOMPARE(PagerDialer::dialCommand(number), command);
    }

    void blankNumberIsStillCalledAndLogged()
    {
        const QByteArray blanks(24, ' ');
        Rig rig("1Nobody         " + blanks);
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.port.written, kSetUp + "ATDT @*99*" + blanks + "\r");
        QCOMPARE(rig.logFile(), "10:00:00 " + blanks + "\r\n");
        QCOMPARE(rig.statuses(), QStringList{"Dialing " + QString::fromLatin1(blanks)});
    }

    void nothingHappensWithoutEntryInUse_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("handle");
        QTest::newRow("empty file") << QByteArray() << true;
        QTest::newRow("only deleted") << rec('0', "A", "1") + rec('0', "B", "2") << true;
        QTest::newRow("never-written and torn") << QByteArray(40, '\0') + "1Torn" << true;
        QTest::newRow("no handle") << rec('1', "A", "1") << false;
    }
    void nothingHappensWithoutEntryInUse()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, handle);
        Rig rig(file);
        if (!handle)
            rig.state.CallListFile.reset();
        rig.dialer.StartCallSequence();
        rig.clock.advance(30.0);
        QVERIFY(rig.port.properties.isEmpty());
        QCOMPARE(rig.reported.count(), 0);
        rig.expectNoCallShown();
    }

    void missingPortEndsTheSequence()
    {
        Rig rig(rec('1', "Alice", "5551001") + rec('1', "Bob", "5551002"), true, 7);
        rig.port.failOpen = true;
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.reported.count(), 1);
        QCOMPARE(rig.reported.first().first().toString(),
                 QStringLiteral("8002 Invalid port number"));
        rig.port.failOpen = false;
        rig.clock.advance(60.0);
        QCOMPARE(rig.port.openCount, 0);
        QVERIFY(rig.port.written.isEmpty());
        rig.expectNoCallShown();
    }

    void newAlarmDuringCallGoesOnFromItsIndex()
    {
        Rig rig(rec('1', "A", "5551001") + rec('1', "B", "5551002") + rec('1', "C", "5551003"));
        rig.dialer.StartCallSequence();
        rig.clock.advance(25.0); // entry 2 is up now
        QCOMPARE(rig.dialer.CallIndex, 2);

        rig.dialer.StartCallSequence(); // a new alarm
        QCOMPARE(rig.reported.count(), 1);
        QCOMPARE(rig.reported.first().first().toString(), QStringLiteral("8005 Port already open"));
        QCOMPARE(rig.dialer.CallIndex, 1);
        QVERIFY(rig.port.isOpen());
        QCOMPARE(rig.dialer.state(), S::CallUp);

        rig.clock.advance(25.0); // the old call ends; the walk goes on after entry 1
        QCOMPARE(rig.dialer.CallIndex, 2);
        rig.clock.advance(50.0);
        QCOMPARE(rig.port.written, kSetUp + dialed("5551001") + "+++,H" + kSetUp +
                                       dialed("5551002") + "+++,H" + kSetUp + dialed("5551002") +
                                       "+++,H" + kSetUp + dialed("5551003") + "+++,H");
        QCOMPARE(rig.dialer.state(), S::Idle);
    }

    void entryAddedAheadIsCalledInSameSequence()
    {
        Rig rig(rec('1', "A", "5551001"));
        rig.dialer.StartCallSequence();
        // The loader runs again meanwhile (new handle), and someone adds entry 2.
        rig.state.CallListFile = std::make_unique<RecordFile>(rig.paths.callListFile(), 40);
        QVERIFY(rig.state.CallListFile->open());
        QVERIFY(rig.state.CallListFile->write(2, rec('1', "B", "5551002")));
        rig.clock.advance(25.0);
        QVERIFY(rig.port.written.endsWith(dialed("5551002")));
    }

    void portClosedDuringWaitEndsCallSilently()
    {
        Rig rig(rec('1', "A", "5551001") + rec('1', "B", "5551002"), false);
        rig.dialer.StartCallSequence();
        rig.stepUntil([&] { return rig.port.written.contains("ATS7"); });
        rig.port.close(); // another handler closed the line during the wait
        rig.clock.advance(60.1);
        QCOMPARE(rig.port.written, QByteArray("ATZ\rATS7=60\r"));
        QCOMPARE(rig.reported.count(), 0);
        rig.expectNoCallShown();
    }

    void failedWriteClosesThePort()
    {
        Rig rig(rec('1', "A", "5551001"));
        rig.port.failWrites = true;
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.reported.count(), 1);
        QCOMPARE(rig.reported.first().first().toString(),
                 QStringLiteral("8020 Error writing comm device"));
        QVERIFY(!rig.port.isOpen());
        rig.expectNoCallShown();
        // The next alarm can use the line again.
        rig.port.failWrites = false;
        rig.dialer.StartCallSequence();
        QCOMPARE(rig.port.written, kSetUp + dialed("5551001"));
    }

    void waitSpanningMidnightEndsAtOnce()
    {
        Rig rig(rec('1', "A", "5551001"), false);
        rig.clock.setNow(QDateTime(QDate(2024, 3, 5), QTime(23, 59, 59, 700)));
        const QDateTime opened = rig.clock.now();
        rig.dialer.StartCallSequence();
        rig.stepUntil([&] { return rig.port.written.contains("ATS7"); });
        // WaitStart rounded up to 86400; just after midnight the clock reads 0.
        QVERIFY(opened.msecsTo(rig.clock.now()) <= 400);
    }
};

QTEST_GUILESS_MAIN(TestPagerDialer)
#include "tst_pagerdialer.moc"
