#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace dovrane::test {

/// A private PulseAudio server with one capture source ("Dovrane Test Input") fed
/// from a fifo, for integration tests that capture real audio. start() must run
/// before any QCoreApplication or QMediaDevices exists, because the audio backend
/// reads PULSE_SERVER once; DOVRANE_PULSE_TEST_MAIN does that. A writer thread
/// feeds the fifo at real-time pace in 10 ms chunks: queued segments first, then
/// the background (silence, a steady tone, or nothing at all, which stalls the
/// source so that no buffers arrive). The server and its folder go away in stop(),
/// in the destructor, and (through the launcher's watchdog) when the process dies.
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

    [[nodiscard]] QString sourceName() const { return m_sourceName; }
    [[nodiscard]] QString sourceDescription() const { return m_sourceDescription; }
    [[nodiscard]] QString serverAddress() const { return m_server; }

    /// What is fed while nothing is queued.
    void playTone(int leftAmplitude, int rightAmplitude);
    void playSilence();
    void playNothing();

    void queueTone(int leftAmplitude, int rightAmplitude, double seconds);
    void queueSilence(double seconds);
    /// Interleaved little-endian 16-bit stereo frames, written exactly as given.
    void queueSamples(const QByteArray& frames);
    /// Drops whatever is still queued.
    void clearQueue();
    [[nodiscard]] qint64 queuedFrames() const;
    /// Frames written into the fifo so far.
    [[nodiscard]] qint64 framesWritten() const { return m_framesWritten.load(); }

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

    /// Frames of a constant value on each channel.
    [[nodiscard]] static QByteArray constantFrames(qint16 left, qint16 right, int frames);

private:
    enum class Background
    {
        Silence,
        Tone,
        Nothing
    };
    struct Segment
    {
        QByteArray samples; // when empty: a tone of the amplitudes below
        int left = 0;
        int right = 0;
        qint64 frames = 0;
        qint64 done = 0;
    };

    [[nodiscard]] bool openFifo();
    void run();
    /// Fills one chunk (m_mutex held); false when the background is "nothing" and the queue is
    /// empty.
    bool nextChunk(QByteArray& chunk);
    void toneInto(char* out, int frames, int left, int right);

    QString m_script;
    QString m_dir;
    QString m_server;
    QString m_fifo;
    QString m_sourceName;
    QString m_sourceDescription;
    QString m_error;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Segment> m_queue;
    Background m_background = Background::Silence;
    int m_bgLeft = 0;
    int m_bgRight = 0;
    qint64 m_phase = 0;
    bool m_quit = false;
    int m_fd = -1;
    std::thread m_writer;
    std::atomic<qint64> m_framesWritten{0};
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
