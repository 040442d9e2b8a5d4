// The probe over the fake input: a peak line per half second of audio, the input
// stopped when the time is up, and why nothing came.

#include "Clock.h"
#include "FakeAudioInput.h"
#include "InputProbe.h"

#include <QSignalSpy>
#include <QTest>

using namespace dovrane;

class TestInputProbe : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void probe_data()
    {
        QTest::addColumn<int>("failedStarts");
        QTest::addColumn<int>("buffers"); // of -20 dBFS left, -26 dBFS right
        QTest::addColumn<QString>("expected");
        QTest::newRow("a line per half second") << 0 << 44
                                                << "yes|Test input|L -20.0 dBFS  R -26.0 dBFS;"
                                                   "L -20.0 dBFS  R -26.0 dBFS|";
        QTest::newRow("short of a half second") << 0 << 21 << "yes|Test input||";
        QTest::newRow("nothing") << 0 << 0 << "no|Test input||no audio arrived in 5 s";
        QTest::newRow("no start") << 1 << 0 << "no|Test input||Device busy";
    }
    void probe()
    {
        QFETCH(int, failedStarts);
        QFETCH(int, buffers);
        QFETCH(QString, expected);
        ManualClock clock(QDateTime(QDate(2026, 12, 7), QTime(12, 0)));
        test::FakeAudioInput input;
        input.failNextStarts(failedStarts);
        InputProbe probe(input, clock);
        QSignalSpy finished(&probe, &InputProbe::finished);
        probe.start(5);
        for (int i = 0; i < buffers; ++i)
            input.push(test::FakeAudioInput::constantBuffer(3277, -1638));
        clock.advance(5);
        input.push(test::FakeAudioInput::constantBuffer(32767, 32767)); // after the end
        QStringList levels;
        for (const InputProbe::Levels& l : probe.levels())
            levels << InputProbe::levelText(l);
        QCOMPARE(QStringList({probe.reachedAudio() ? "yes" : "no", probe.description(),
                              levels.join(u';'), probe.why()})
                     .join(u'|'),
                 expected);
        QCOMPARE(finished.size(), 1);
        QVERIFY(!input.isCapturing());
    }
};

QTEST_GUILESS_MAIN(TestInputProbe)
#include "tst_inputprobe.moc"
