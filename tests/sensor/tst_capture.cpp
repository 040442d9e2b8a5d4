// Capture from a private PulseAudio server (tests/tools/pulse-fixture.sh): whole
// buffers with each channel's own peak, nothing while the source stalls, and a
// server gone for longer than a restart takes: capture comes back by itself and
// the operator is told both ways; stopping and destroying meanwhile is clean. The
// outage lasts DOVRANE_OUTAGE_SECONDS (default 5); scripts/pulse-outage.sh uses 30.

#include "SystemAudioInput.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTest>

using namespace dovrane;

namespace {

const QString kFixture = QStringLiteral(DOVRANE_SOURCE_DIR "/tests/tools/pulse-fixture.sh");
QString gDir; // the server's folder

bool fixture(const QStringList& args, QByteArray* out = nullptr)
{
    QProcess p;
    p.start(QStringLiteral("sh"), QStringList{kFixture} + args);
    const bool ok = p.waitForFinished(30000) && p.exitCode() == 0;
    if (out)
        *out = p.readAllStandardOutput();
    return ok;
}

} // namespace

class tst_Capture : public QObject
{
    Q_OBJECT

    std::unique_ptr<AudioInput> m_input;
    int m_index = -1;
    int m_buffers = 0;
    QList<ChannelPeaks> m_peaks;

    void tone(int left, int right)
    {
        QVERIFY(fixture({"tone", gDir, QString::number(left), QString::number(right)}));
    }

private Q_SLOTS:
    void initTestCase()
    {
        const std::unique_ptr<AudioInput> lister = makeSystemAudioInput();
        QTRY_VERIFY_WITH_TIMEOUT(lister->deviceCount() > 0, 10000);
        for (int i = 0; i < lister->deviceCount(); ++i) {
            if (lister->deviceName(i) == qEnvironmentVariable("DOVRANE_PULSE_DESCRIPTION"))
                m_index = i;
        }
        QVERIFY2(m_index >= 0, "the test source is not among the inputs");
    }
    void init()
    {
        tone(6000, 3000);
        m_input = makeSystemAudioInput();
        m_buffers = 0;
        m_peaks.clear();
        connect(m_input.get(), &AudioInput::bufferReady, this, [this](const QByteArray& b) {
            QCOMPARE(b.size(), AudioInput::kBufferBytes);
            ++m_buffers;
            m_peaks << channelPeaks(b);
        });
        m_input->selectDevice(m_index);
        QVERIFY2(m_input->start(), qPrintable(m_input->errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers >= 10, 8000);
        QCOMPARE(m_peaks.last().left, 6000);
        QCOMPARE(m_peaks.last().right, 3000);
    }
    void cleanup() { m_input.reset(); }

    void stallSilenceAndAMissingDevice()
    {
        QVERIFY(fixture({"stall", gDir})); // nobody writes into the source
        QTest::qWait(1000);
        const int before = m_buffers;
        QTest::qWait(1000);
        QCOMPARE(m_buffers, before);
        tone(0, 0);
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers > before + 5 && m_peaks.last().left == 0, 8000);
        m_input->stop();
        m_input->selectDevice(m_input->deviceCount());
        QVERIFY(!m_input->start());
        QVERIFY(!m_input->errorString().isEmpty());
    }

    void longOutageHealsByItself()
    {
        QSignalSpy lost(m_input.get(), &AudioInput::captureLost);
        QSignalSpy regained(m_input.get(), &AudioInput::captureRegained);
        QVERIFY(fixture({"kill", gDir}));
        const int seconds = qEnvironmentVariableIntValue("DOVRANE_OUTAGE_SECONDS");
        QTest::qWait(500); // what was on its way still arrives
        const int before = m_buffers;
        QTest::qWait((seconds > 0 ? seconds : 5) * 1000 - 500);
        QCOMPARE(m_buffers, before);
        QVERIFY(m_input->isCapturing());
        QCOMPARE(lost.size(), 1);
        QVERIFY(fixture({"revive", gDir}));
        tone(6000, 3000);
        QTRY_VERIFY_WITH_TIMEOUT(m_buffers >= before + 20, 10000);
        QCOMPARE(m_peaks.last().left, 6000);
        QCOMPARE(lost.size(), 1);
        QCOMPARE(regained.size(), 1);
    }

    void stopStartAndDestroyWhileTheServerIsGone()
    {
        QVERIFY(fixture({"kill", gDir}));
        QTest::qWait(1500); // past the loss and one retry
        m_input->stop();
        QVERIFY(!m_input->start());
        QVERIFY(!m_input->isCapturing());
        m_input.reset();
        QVERIFY(!makeSystemAudioInput()->start());
        QVERIFY(fixture({"revive", gDir}));
    }
};

int main(int argc, char* argv[])
{
    // The server must be up and named in the environment before any input exists.
    QByteArray lines;
    if (!fixture({"start", "--owner", QString::number(QCoreApplication::applicationPid())}, &lines))
        return 77; // no pulseaudio here: CTest counts a skip
    for (const QByteArray& line : lines.split('\n')) {
        const QList<QByteArray> kv = line.mid(line.indexOf(' ') + 1).split('=');
        if (line.startsWith("export ") && kv.size() == 2)
            qputenv(kv[0].constData(), QByteArray(kv[1]).replace('\'', ""));
    }
    gDir = qEnvironmentVariable("DOVRANE_PULSE_DIR");
    QCoreApplication app(argc, argv);
    tst_Capture test;
    const int result = QTest::qExec(&test, argc, argv);
    fixture({"stop", gDir});
    return result;
}

#include "tst_capture.moc"
