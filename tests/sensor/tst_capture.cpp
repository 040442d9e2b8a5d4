// Capture through Qt Multimedia from a private PulseAudio server whose pipe source
// this test feeds with known sound.
#include "PulseFixture.h"
#include "QtAudioInput.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

using dovrane::AudioInput;
using dovrane::ChannelPeaks;
using dovrane::QtAudioInput;
using dovrane::test::PulseFixture;

namespace {

/// Everything the input delivered, with the peaks of each buffer.
struct Recorder
{
    QList<QByteArray> buffers;
    QList<ChannelPeaks> peaks;
    bool offThread = false;

    void attach(QtAudioInput& input, QObject* context)
    {
        QObject::connect(&input, &AudioInput::bufferReady, context, [this](const QByteArray& b) {
            offThread = offThread || QThread::currentThread() != qApp->thread();
            buffers.append(b);
            peaks.append(dovrane::channelPeaks(b));
        });
    }
    void clear()
    {
        buffers.clear();
        peaks.clear();
    }
};

bool samePeaks(ChannelPeaks p, int left, int right)
{
    return p.left == left && p.right == right;
}

/// Waits for a buffer whose peaks are (left, right), then for n more, and tells
/// whether all n had those peaks too.
bool settlesOn(Recorder& rec, int left, int right, int n = 10)
{
    rec.clear();
    const bool seen = QTest::qWaitFor(
        [&] { return !rec.peaks.isEmpty() && samePeaks(rec.peaks.last(), left, right); }, 8000);
    if (!seen) {
        qWarning() << "never saw peaks" << left << right;
        return false;
    }
    const qsizetype from = rec.peaks.size();
    if (!QTest::qWaitFor([&] { return rec.peaks.size() >= from + n; }, 8000))
        return false;
    for (qsizetype i = from; i < from + n; ++i) {
        if (!samePeaks(rec.peaks.at(i), left, right)) {
            qWarning() << "buffer" << i << "had peaks" << rec.peaks.at(i).left
                       << rec.peaks.at(i).right << "instead of" << left << right;
            return false;
        }
    }
    return true;
}

} // namespace

class TstCapture : public QObject
{
    Q_OBJECT
public:
    explicit TstCapture(PulseFixture& pulse) : m_pulse(pulse) {}

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void listsThePipeSource();
    void buffersAreWholeAndSteady();
    void peaksOfAToneFollowEachChannel_data();
    void peaksOfAToneFollowEachChannel();
    void negativeFullScaleStaysNegative();
    void stalledSourceDeliversNothing();
    void stopEndsDeliveryAndStartResumes();
    void deviceNumberWithoutDeviceFailsToStart_data();
    void deviceNumberWithoutDeviceFailsToStart();
    void vanishedDeviceDeliversNothingUntilItReturns();

private:
    PulseFixture& m_pulse;
    int m_index = -1;
    std::unique_ptr<QtAudioInput> m_input;
    Recorder m_rec;
};

void TstCapture::initTestCase()
{
    QtAudioInput input;
    // The device list fills in asynchronously after the backend connects.
    QTRY_VERIFY_WITH_TIMEOUT(input.deviceCount() > 0, 10000);
    for (int i = 0; i < input.deviceCount(); ++i) {
        if (input.deviceName(i) == m_pulse.sourceDescription())
            m_index = i;
    }
    QVERIFY2(m_index >= 0, "the test source is not among the inputs");
}

void TstCapture::init()
{
    m_pulse.clearQueue();
    m_pulse.playSilence();
    m_input = std::make_unique<QtAudioInput>();
    m_rec = {};
    m_rec.attach(*m_input, this);
    m_input->selectDevice(m_index);
}

void TstCapture::cleanup()
{
    m_input.reset();
}

void TstCapture::listsThePipeSource()
{
    QCOMPARE(m_input->deviceName(m_index), QStringLiteral("Dovrane Test Input"));
    QVERIFY(m_index < m_input->deviceCount());
    QCOMPARE(m_input->deviceName(m_input->deviceCount()), QString());
    QCOMPARE(m_input->deviceName(-1), QString());
    QCOMPARE(m_input->selectedDevice(), m_index);
}

void TstCapture::buffersAreWholeAndSteady()
{
    m_pulse.playTone(8000, 8000);
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(m_input->isCapturing());
    QVERIFY(m_input->errorString().isEmpty());

    // Let the first burst (what sat in the pipe) pass, then count.
    QTest::qWait(700);
    m_rec.clear();
    QElapsedTimer clock;
    clock.start();
    QTest::qWait(4000);
    const double seconds = clock.elapsed() / 1000.0;
    const double rate = m_rec.buffers.size() / seconds;
    qInfo("%lld buffers in %.2f s: %.1f per second", qlonglong(m_rec.buffers.size()), seconds,
          rate);
    QVERIFY2(rate >= 30 && rate <= 56, qPrintable(QString::number(rate)));
    for (const QByteArray& b : std::as_const(m_rec.buffers))
        QCOMPARE(b.size(), AudioInput::kBufferBytes);
    QVERIFY2(!m_rec.offThread, "a buffer arrived off the thread that owns the input");
}

void TstCapture::peaksOfAToneFollowEachChannel_data()
{
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("right");
    QTest::newRow("louder left") << 20000 << 3000;
    QTest::newRow("louder right") << 1200 << 32767;
    QTest::newRow("right only") << 0 << 5000;
    QTest::newRow("silence") << 0 << 0;
}

void TstCapture::peaksOfAToneFollowEachChannel()
{
    QFETCH(int, left);
    QFETCH(int, right);
    m_pulse.playTone(left, right);
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    // A 441 Hz sine holds its exact crest, +amplitude, in every buffer, and its
    // trough is no larger, so the peak keeps the positive sign.
    QVERIFY(settlesOn(m_rec, left, right));
}

void TstCapture::negativeFullScaleStaysNegative()
{
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(settlesOn(m_rec, 0, 0, 3));
    m_pulse.queueSamples(PulseFixture::constantFrames(-32768, 1000, PulseFixture::kRate / 2));
    QTRY_VERIFY_WITH_TIMEOUT(std::any_of(m_rec.peaks.cbegin(), m_rec.peaks.cend(),
                                         [](ChannelPeaks p) { return samePeaks(p, -32768, 1000); }),
                             8000);
}

void TstCapture::stalledSourceDeliversNothing()
{
    m_pulse.playTone(4000, 4000);
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(settlesOn(m_rec, 4000, 4000, 3));
    m_pulse.playNothing();
    QTest::qWait(500); // what is already on its way still arrives
    m_rec.clear();
    QTest::qWait(1000);
    QCOMPARE(m_rec.buffers.size(), 0);
    QVERIFY(m_input->isCapturing());
    m_pulse.playTone(4000, 4000);
    QVERIFY(settlesOn(m_rec, 4000, 4000, 3));
}

void TstCapture::stopEndsDeliveryAndStartResumes()
{
    m_pulse.playTone(3000, 6000);
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(settlesOn(m_rec, 3000, 6000, 3));
    m_input->stop();
    QVERIFY(!m_input->isCapturing());
    m_rec.clear();
    QTest::qWait(500);
    QCOMPARE(m_rec.buffers.size(), 0);
    m_input->stop(); // stopping twice is harmless

    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(settlesOn(m_rec, 3000, 6000, 3));
    // Starting while capturing restarts cleanly.
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(settlesOn(m_rec, 3000, 6000, 3));
}

void TstCapture::deviceNumberWithoutDeviceFailsToStart_data()
{
    QTest::addColumn<int>("offset"); // from the device count
    QTest::addColumn<bool>("negative");
    QTest::newRow("just past the end") << 0 << false;
    QTest::newRow("far past the end") << 1000 << false;
    QTest::newRow("negative") << 0 << true;
}

void TstCapture::deviceNumberWithoutDeviceFailsToStart()
{
    QFETCH(int, offset);
    QFETCH(bool, negative);
    m_input->selectDevice(negative ? -1 : m_input->deviceCount() + offset);
    QVERIFY(!m_input->start());
    QVERIFY(!m_input->isCapturing());
    QVERIFY2(m_input->errorString().contains(QLatin1String("does not exist")),
             qPrintable(m_input->errorString()));
    QTest::qWait(300);
    QCOMPARE(m_rec.buffers.size(), 0);
    m_input->stop();

    // The right number afterwards works.
    m_input->selectDevice(m_index);
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(m_input->errorString().isEmpty());
}

void TstCapture::vanishedDeviceDeliversNothingUntilItReturns()
{
    m_pulse.playTone(2500, 2500);
    QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
    QVERIFY(settlesOn(m_rec, 2500, 2500, 3));
    const int before = m_input->deviceCount();

    QVERIFY(m_pulse.unloadSource());
    QTRY_COMPARE_WITH_TIMEOUT(m_input->deviceCount(), before - 1, 10000);
    QTest::qWait(2000); // the input checks its device once a second
    m_rec.clear();
    QTest::qWait(1000);
    QCOMPARE(m_rec.buffers.size(), 0);
    QVERIFY(m_input->isCapturing());

    QVERIFY(m_pulse.reloadSource());
    QTRY_COMPARE_WITH_TIMEOUT(m_input->deviceCount(), before, 10000);
    QVERIFY(settlesOn(m_rec, 2500, 2500, 3));
    m_input->stop();
}

DOVRANE_PULSE_TEST_MAIN(TstCapture)
#include "tst_capture.moc"
