// Capture through the system's sound input from a private PulseAudio server whose pipe source
// this test feeds with known sound.
#include "PulseFixture.h"
#include "SystemAudioInput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

using dovrane::AudioInput;
using dovrane::ChannelPeaks;
using dovrane::test::PulseFixture;

class TstCapture : public QObject
{
    Q_OBJECT
public:
    explicit TstCapture(PulseFixture& pulse) : m_pulse(pulse) {}

private Q_SLOTS:
    void initTestCase()
    {
        m_index = m_pulse.indexIn(*dovrane::makeSystemAudioInput());
        QVERIFY2(m_index >= 0, "the test source is not among the inputs");
    }
    void init()
    {
        m_pulse.playSilence();
        m_input = dovrane::makeSystemAudioInput();
        m_buffers.clear();
        m_offThread = false;
        connect(m_input.get(), &AudioInput::bufferReady, this, [this](const QByteArray& b) {
            m_offThread = m_offThread || QThread::currentThread() != qApp->thread();
            m_buffers.append(b);
        });
        m_input->selectDevice(m_index);
    }
    void cleanup() { m_input.reset(); }

    void buffersAreWholeAndSteady()
    {
        m_pulse.playTone(8000, 8000);
        QVERIFY(start());
        // Let the first burst (what sat in the pipe) pass, then count.
        QTest::qWait(700);
        m_buffers.clear();
        QElapsedTimer clock;
        clock.start();
        QTest::qWait(4000);
        const double rate = m_buffers.size() / (clock.elapsed() / 1000.0);
        qInfo("%.1f buffers per second", rate);
        QVERIFY2(rate >= 30 && rate <= 56, qPrintable(QString::number(rate)));
        for (const QByteArray& b : std::as_const(m_buffers))
            QCOMPARE(b.size(), AudioInput::kBufferBytes);
        QVERIFY2(!m_offThread, "a buffer arrived off the thread that owns the input");
    }

    void peaksFollowEachChannel_data()
    {
        QTest::addColumn<int>("left");
        QTest::addColumn<int>("right");
        QTest::addColumn<bool>("tone");
        // A 441 Hz sine holds its exact crest, +amplitude, in every buffer, and its
        // trough is no larger, so the peak keeps the positive sign.
        QTest::newRow("louder left") << 20000 << 3000 << true;
        QTest::newRow("louder right") << 1200 << 32767 << true;
        QTest::newRow("right only") << 0 << 5000 << true;
        QTest::newRow("silence") << 0 << 0 << true;
        QTest::newRow("negative full scale stays negative") << -32768 << 1000 << false;
    }
    void peaksFollowEachChannel()
    {
        QFETCH(int, left);
        QFETCH(int, right);
        QFETCH(bool, tone);
        if (tone)
            m_pulse.playTone(left, right);
        else
            m_pulse.playConstant(qint16(left), qint16(right));
        QVERIFY(start());
        QVERIFY(settlesOn(left, right, 10));
    }

    void stalledSourceDeliversNothing()
    {
        m_pulse.playTone(4000, 4000);
        QVERIFY(start());
        QVERIFY(settlesOn(4000, 4000));
        m_pulse.playNothing();
        QTest::qWait(500); // what is already on its way still arrives
        m_buffers.clear();
        QTest::qWait(1000);
        QCOMPARE(m_buffers.size(), 0);
        QVERIFY(m_input->isCapturing());
        m_pulse.playTone(4000, 4000);
        QVERIFY(settlesOn(4000, 4000));
    }

    void stopEndsDeliveryAndStartResumes()
    {
        m_pulse.playTone(3000, 6000);
        QVERIFY(start());
        QVERIFY(settlesOn(3000, 6000));
        m_input->stop();
        QVERIFY(!m_input->isCapturing());
        m_buffers.clear();
        QTest::qWait(500);
        QCOMPARE(m_buffers.size(), 0);
        m_input->stop(); // stopping twice is harmless
        QVERIFY(start());
        QVERIFY(settlesOn(3000, 6000));
        // Starting while capturing restarts cleanly.
        QVERIFY(start());
        QVERIFY(settlesOn(3000, 6000));
    }

    void deviceNumberWithoutDeviceFailsToStart_data()
    {
        QTest::addColumn<bool>("negative");
        QTest::newRow("just past the end") << false;
        QTest::newRow("negative") << true;
    }
    void deviceNumberWithoutDeviceFailsToStart()
    {
        QFETCH(bool, negative);
        const int device = negative ? -1 : m_input->deviceCount();
        QCOMPARE(m_input->deviceName(device), QString());
        m_input->selectDevice(device);
        QVERIFY(!m_input->start());
        QVERIFY(!m_input->isCapturing());
        QVERIFY2(m_input->errorString().contains(QLatin1String("does not exist")),
                 qPrintable(m_input->errorString()));
        QTest::qWait(300);
        QCOMPARE(m_buffers.size(), 0);
        m_input->stop();
        // The right number afterwards works.
        m_input->selectDevice(m_index);
        QVERIFY(start());
        QVERIFY(m_input->errorString().isEmpty());
    }

private:
    [[nodiscard]] bool start()
    {
        const bool started = m_input->start();
        if (!started || !m_input->isCapturing())
            qWarning() << "start failed:" << m_input->errorString();
        return started && m_input->isCapturing();
    }

    /// Waits for a buffer whose peaks are (left, right), then for n more, and tells
    /// whether all n had those peaks too.
    [[nodiscard]] bool settlesOn(int left, int right, int n = 3)
    {
        const auto match = [&](qsizetype i) {
            const ChannelPeaks p = dovrane::channelPeaks(m_buffers.at(i));
            return p.left == left && p.right == right;
        };
        m_buffers.clear();
        if (!QTest::qWaitFor([&] { return !m_buffers.isEmpty() && match(m_buffers.size() - 1); },
                             8000))
            return false;
        const qsizetype from = m_buffers.size();
        if (!QTest::qWaitFor([&] { return m_buffers.size() >= from + n; }, 8000))
            return false;
        for (qsizetype i = from; i < from + n; ++i) {
            if (!match(i)) {
                qWarning() << "buffer" << i << "had other peaks than" << left << right;
                return false;
            }
        }
        return true;
    }

    PulseFixture& m_pulse;
    int m_index = -1;
    std::unique_ptr<AudioInput> m_input;
    QList<QByteArray> m_buffers;
    bool m_offThread = false;
};

DOVRANE_PULSE_TEST_MAIN(TstCapture)
#include "tst_capture.moc"
