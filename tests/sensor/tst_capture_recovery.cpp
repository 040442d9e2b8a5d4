// Capture through the system's sound input while the private PulseAudio server under
// it is ended and started again, as a crash, `pulseaudio -k` or a service restart does.
// tst_pulse_recovery covers an outage long enough to be reported.
#include "PulseFixture.h"
#include "SystemAudioInput.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using dovrane::AudioInput;
using dovrane::ChannelPeaks;
using dovrane::test::PulseFixture;

namespace {

constexpr int kLeft = 5000;
constexpr int kRight = 2500;

/// Whether every buffer is whole and carries the steady tone: a buffer that joined
/// a part from before an outage, or lost a byte, would show other peaks.
bool allToneBuffers(const QList<QByteArray>& buffers)
{
    for (qsizetype i = 0; i < buffers.size(); ++i) {
        const QByteArray& b = buffers.at(i);
        const ChannelPeaks p = dovrane::channelPeaks(b);
        if (b.size() != AudioInput::kBufferBytes || p.left != kLeft || p.right != kRight) {
            qWarning() << "buffer" << i << "of" << b.size() << "bytes had peaks" << p.left
                       << p.right;
            return false;
        }
    }
    return true;
}

void expectOutageMessages(bool comesBack)
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("capture stopped")));
    if (comesBack)
        QTest::ignoreMessage(QtInfoMsg, QRegularExpression(QStringLiteral("capture is back")));
}

} // namespace

class TstCaptureRecovery : public QObject
{
    Q_OBJECT
public:
    explicit TstCaptureRecovery(PulseFixture& pulse) : m_pulse(pulse) {}

private Q_SLOTS:
    void initTestCase()
    {
        m_index = m_pulse.indexIn(*dovrane::makeSystemAudioInput());
        QVERIFY2(m_index >= 0, "the test source is not among the inputs");
    }
    void init()
    {
        m_pulse.playTone(kLeft, kRight);
        m_input = dovrane::makeSystemAudioInput();
        m_buffers.clear();
        connect(m_input.get(), &AudioInput::bufferReady, this,
                [this](const QByteArray& b) { m_buffers.append(b); });
        m_input->selectDevice(m_index);
    }
    void cleanup() { m_input.reset(); }

    void restartedServerResumesCapture()
    {
        QSignalSpy lost(m_input.get(), &AudioInput::captureLost);
        QVERIFY(startCapturing());
        expectOutageMessages(true);
        QVERIFY2(m_pulse.restartServer(), qPrintable(m_pulse.errorString()));
        QVERIFY(m_input->isCapturing());
        QTest::qWait(500); // what arrived before the server went
        m_buffers.clear();
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers.size() >= 20, 20000);
        QVERIFY(allToneBuffers(m_buffers));
        QVERIFY2(m_input->errorString().isEmpty(), qPrintable(m_input->errorString()));
        QCOMPARE(lost.size(), 0);

        // A second outage is handled the same way.
        expectOutageMessages(true);
        QVERIFY2(m_pulse.restartServer(), qPrintable(m_pulse.errorString()));
        QTest::qWait(500);
        m_buffers.clear();
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers.size() >= 20, 20000);
        QVERIFY(allToneBuffers(m_buffers));
    }

    void stopDuringTheOutageEndsTheRetries()
    {
        QVERIFY(startCapturing());
        expectOutageMessages(false);
        QVERIFY2(m_pulse.killServer(), qPrintable(m_pulse.errorString()));
        QTest::qWait(500); // the input learns that its source stopped
        m_input->stop();
        QVERIFY2(m_pulse.startServerAgain(), qPrintable(m_pulse.errorString()));
        m_buffers.clear();
        QTest::qWait(3000); // the input would have been back within this
        QCOMPARE(m_buffers.size(), 0);
        QVERIFY(!m_input->isCapturing());

        // The server is usable again: capture starts when asked.
        QVERIFY(QTest::qWaitFor([&] { return m_input->start(); }, 15000));
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers.size() >= 10, 8000);
        QVERIFY(allToneBuffers(m_buffers.mid(5)));
    }

private:
    /// Starts capture of the tone and waits until it flows.
    [[nodiscard]] bool startCapturing()
    {
        if (!m_input->start()) {
            qWarning() << "start failed:" << m_input->errorString();
            return false;
        }
        return QTest::qWaitFor([&] { return m_buffers.size() >= 10; }, 8000) &&
               allToneBuffers(m_buffers.mid(5));
    }

    PulseFixture& m_pulse;
    int m_index = -1;
    std::unique_ptr<AudioInput> m_input;
    QList<QByteArray> m_buffers;
};

DOVRANE_PULSE_TEST_MAIN(TstCaptureRecovery)
#include "tst_capture_recovery.moc"
