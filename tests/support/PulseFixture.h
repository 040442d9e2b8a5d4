#pragma once

#include <QByteArray>
#include <QString>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace dovrane::test {

/// A private PulseAudio server with one capture source ("Dovrane Test Input") fed
/// from a fifo, for integration tests that capture real audio. start() must run
/// before any QCoreApplication or QMediaDevices exists, because the audio backend
/// reads PULSE_SERVER once; DOVRANE_PULSE_TEST_MAIN does that. A writer thread
/// feeds the fifo at real-time pace in 10 ms chunks of silence, a steady tone, a
/// constant sample pair, or nothing at all (which stalls the source so that no
/// buffers arrive). The server and its folder go away in stop(), in the destructor,
/// and (through the launcher's watchdog) when the process dies.
class PulseFixture
{
public:
    static constexpr int kRate = 44100;
    static constexpr int kChunkFrames = 441;
    /// 441 Hz: 100 samples a cycle, so every cycle holds the exact crest.
    static constexpr double kToneHz = 441.0;

    PulseFixture();
    ~PulseFixture();
    PulseFixture(const PulseFixture&) = delete;
    PulseFixture& operator=(const PulseFixture&) = delete;

    /// Starts the server, points this process at it and starts feeding silence.
    [[nodiscard]] bool start();
    void stop();
    [[nodiscard]] QString errorString() const { return m_error; }

    [[nodiscard]] QString sourceDescription() const { return m_sourceDescription; }

    /// The source's number in the input's device list (which fills in after the
    /// backend connects), or -1.
    template <class Input> [[nodiscard]] int indexIn(const Input& input) const
    {
        if (!QTest::qWaitFor([&] { return input.deviceCount() > 0; }, 10000))
            return -1;
        for (int i = 0; i < input.deviceCount(); ++i) {
            if (input.deviceName(i) == m_sourceDescription)
                return i;
        }
        return -1;
    }

    void playTone(int leftAmplitude, int rightAmplitude)
    {
        play(Background::Tone, leftAmplitude, rightAmplitude);
    }
    void playSilence() { playTone(0, 0); }
    /// Every frame the same sample pair, written exactly as given.
    void playConstant(qint16 left, qint16 right) { play(Background::Constant, left, right); }
    void playNothing() { play(Background::Nothing, 0, 0); }

    /// Removes the capture source from the server, as unplugging a card would.
    [[nodiscard]] bool unloadSource();
    /// Loads the source again under the same name (plugging the card back in).
    [[nodiscard]] bool reloadSource();

    /// Ends the server the way `pulseaudio -k` does; clients lose their connection.
    [[nodiscard]] bool killServer();
    /// Starts a new server on the same socket, folder and configuration, with the
    /// same source fed from a fresh fifo; the writer thread carries on into it.
    [[nodiscard]] bool startServerAgain();
    /// killServer() then startServerAgain() right away: a sound server restart.
    [[nodiscard]] bool restartServer();

private:
    enum class Background
    {
        Tone,
        Constant,
        Nothing
    };

    void play(Background what, int left, int right);
    [[nodiscard]] bool openFifo();
    void run();
    /// Fills one chunk (m_mutex held); false when nothing is to be fed.
    bool nextChunk(QByteArray& chunk);

    QString m_script;
    QString m_dir;
    QString m_fifo;
    QString m_sourceName;
    QString m_sourceDescription;
    QString m_error;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    Background m_background = Background::Tone;
    int m_bgLeft = 0;
    int m_bgRight = 0;
    qint64 m_phase = 0;
    bool m_quit = false;
    int m_fd = -1;
    std::thread m_writer;
};

} // namespace dovrane::test

/// main() for a QtTest class whose constructor takes a PulseFixture&: the server is
/// up and PULSE_SERVER set before the application object exists. Exit code 77
/// (a skip for CTest) when pulseaudio is not installed.
#define DOVRANE_PULSE_TEST_MAIN(TestClass)                                                         \
    int main(int argc, char* argv[])                                                               \
    {                                                                                              \
        dovrane::test::PulseFixture pulse;                                                         \
        if (!pulse.start()) {                                                                      \
            qWarning("PulseAudio test server: %s", qPrintable(pulse.errorString()));               \
            return pulse.errorString().contains(QLatin1String("not installed")) ? 77 : 1;          \
        }                                                                                          \
        QCoreApplication app(argc, argv);                                                          \
        TestClass test(pulse);                                                                     \
        QTEST_SET_MAIN_SOURCE_PATH                                                                 \
        return QTest::qExec(&test, argc, argv);                                                    \
    }
