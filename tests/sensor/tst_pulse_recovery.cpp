// Capture through libpulse while the private PulseAudio server is gone for longer
// than a restart takes: capture comes back by itself and the operator is told both
// ways; stopping and destroying the input while the server is gone is clean.
// The outage lasts DOVRANE_OUTAGE_SECONDS (default 5); scripts/pulse-outage.sh runs
// it with 30.
#include "PulseAudioInput.h"
#include "PulseFixture.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>

using dovrane::AudioInput;
using dovrane::PulseAudioInput;
using dovrane::test::PulseFixture;

class TstPulseRecovery : public QObject
{
    Q_OBJECT
public:
    explicit TstPulseRecovery(PulseFixture& pulse) : m_pulse(pulse) {}

private Q_SLOTS:
    void initTestCase()
    {
        m_index = m_pulse.indexIn(PulseAudioInput());
        QVERIFY2(m_index >= 0, "the test source is not among the inputs");
    }
    void init()
    {
        m_pulse.playTone(6000, 3000);
        m_input = std::make_unique<PulseAudioInput>();
        m_buffers = 0;
        m_wrong = 0;
        connect(m_input.get(), &AudioInput::bufferReady, this, [this](const QByteArray& b) {
            const dovrane::ChannelPeaks p = dovrane::channelPeaks(b);
            ++m_buffers;
            m_wrong += b.size() != AudioInput::kBufferBytes || p.left != 6000 || p.right != 3000;
        });
        // Right after construction: start() waits for the connection itself.
        m_input->selectDevice(m_index);
        QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers >= 10, 8000);
        QCOMPARE(m_wrong, 0);
    }
    void cleanup() { m_input.reset(); }

    void longOutageIsReportedAndHealsByItself()
    {
        QSignalSpy lost(m_input.get(), &AudioInput::captureLost);
        QSignalSpy regained(m_input.get(), &AudioInput::captureRegained);
        QVERIFY2(m_pulse.killServer(), qPrintable(m_pulse.errorString()));
        const int seconds = qEnvironmentVariableIntValue("DOVRANE_OUTAGE_SECONDS");
        QTest::qWait(500); // what was on its way still arrives
        const int before = m_buffers;
        QTest::qWait((seconds > 0 ? seconds : 5) * 1000 - 500);
        QCOMPARE(m_buffers, before);
        QVERIFY(m_input->isCapturing());
        QCOMPARE(lost.size(), 1);
        QCOMPARE(regained.size(), 0);
        const QString text = lost.at(0).at(0).toString();
        QVERIFY2(text.startsWith(m_pulse.sourceDescription() + QLatin1String(": ")),
                 qPrintable(text));

        QVERIFY2(m_pulse.startServerAgain(), qPrintable(m_pulse.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers >= before + 20, 10000);
        QCOMPARE(m_wrong, 0);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(regained.size(), 1);
        QVERIFY(regained.at(0).at(0).toString().startsWith(m_pulse.sourceDescription()));
        QVERIFY(m_input->errorString().isEmpty());

        m_input->stop();
        QTest::qWait(300);
        const int stopped = m_buffers;
        QTest::qWait(500);
        QCOMPARE(m_buffers, stopped);
    }

    void stopStartAndDestroyWhileTheServerIsGone_data()
    {
        QTest::addColumn<bool>("stopFirst");
        QTest::newRow("destroyed while retrying") << false;
        QTest::newRow("stopped, started, destroyed") << true;
    }
    void stopStartAndDestroyWhileTheServerIsGone()
    {
        QFETCH(bool, stopFirst);
        QVERIFY2(m_pulse.killServer(), qPrintable(m_pulse.errorString()));
        QTest::qWait(1500); // past the loss and one retry
        if (stopFirst) {
            m_input->stop();
            QVERIFY(!m_input->start());
            QVERIFY(!m_input->isCapturing());
            QVERIFY2(m_input->errorString().contains(QLatin1String("not available")),
                     qPrintable(m_input->errorString()));
            // The numbering stays as it was while the server is away.
            QCOMPARE(m_input->deviceName(m_input->selectedDevice()), m_pulse.sourceDescription());
        }
        m_input.reset();
        PulseAudioInput fresh;
        QVERIFY(!fresh.start());
        QVERIFY2(m_pulse.startServerAgain(), qPrintable(m_pulse.errorString()));
    }

private:
    PulseFixture& m_pulse;
    int m_index = -1;
    std::unique_ptr<PulseAudioInput> m_input;
    int m_buffers = 0;
    int m_wrong = 0;
};

DOVRANE_PULSE_TEST_MAIN(TstPulseRecovery)
#include "tst_pulse_recovery.moc"
