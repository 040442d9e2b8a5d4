#pragma once

#include "AudioInput.h"

#include <QList>

#include <condition_variable>
#include <mutex>
#include <utility>

struct pa_context;
struct pa_operation;
struct pa_stream;
struct pa_threaded_mainloop;

class QTimer;

namespace dovrane {

/// Capture through libpulse's asynchronous API on a pa_threaded_mainloop, so that
/// a sound server that goes away (killed, restarted, the session ended) is reached
/// again however long it was gone.
///
/// Devices are the server's sources in index order without the monitors of sinks,
/// which is how the Qt Multimedia backend numbered them (the number is stored in
/// DVParams.dat). The list comes from the pulse thread and is kept current by a
/// subscription, so deviceCount() and deviceName() never wait on the server. Until
/// this input has its own list they answer from the last list any input of this
/// process received (empty in a fresh process); start() waits up to a few seconds
/// for the connection and its list, and fails when the server is not there.
///
/// While capturing, a lost server connection or a lost source (removed, or the
/// server gone) keeps capture "on" but delivers nothing, which the level test
/// hears as silence. The connection is retried once a second for as long as it
/// takes; capture resumes as soon as the same source (by name) is there again.
/// captureLost() is sent once per outage that lasts longer than a few seconds and
/// captureRegained() once buffers flow again after it.
///
/// Everything the pulse thread learns reaches this object through queued calls on
/// its own thread; the pulse objects are touched only with the mainloop lock held.
class PulseAudioInput final : public AudioInput
{
    Q_OBJECT
public:
    explicit PulseAudioInput(QObject* parent = nullptr);
    ~PulseAudioInput() override;

    [[nodiscard]] int deviceCount() const override;
    [[nodiscard]] QString deviceName(int index) const override;
    [[nodiscard]] QString deviceId(int index) const override;
    void selectDevice(int index) override { m_selected = index; }
    [[nodiscard]] int selectedDevice() const override { return m_selected; }
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] bool isCapturing() const override { return m_capturing; }
    [[nodiscard]] QString errorString() const override { return m_error; }

    struct Source
    {
        QString name;
        QString description;
    };

private:
    /// The libpulse callbacks; they run on the pulse thread with the lock held.
    struct Pulse;

    // Owner thread; they take the mainloop lock themselves.
    void openContext();
    void closeContext();
    [[nodiscard]] bool openStream(QString* error);
    void closeStream();
    void closeStreamLocked();

    // Owner thread, reached through queued calls from the pulse thread.
    void contextLost(quint64 generation, const QString& why);
    void sourcesChanged(quint64 generation);
    void streamLost(quint64 generation, const QString& why);
    void received(quint64 generation, const QByteArray& data);

    void retry();
    void beginOutage(const QString& why);
    void updateRetryTimer();
    [[nodiscard]] bool sourcePresent() const;

    /// The current connection is up and has given its device list.
    [[nodiscard]] bool listed() const;
    [[nodiscard]] bool contextHasFailed() const;

    // Mainloop lock held (mostly on the pulse thread).
    void requestSources();
    void publishSources();
    void contextFailed(const QString& why);

    int m_selected = 0;
    bool m_capturing = false;
    QString m_error;
    /// The source being captured; kept through an outage to find it again.
    QString m_sourceName;
    QString m_sourceDescription;
    /// Bytes of the current stream not yet handed on as a whole buffer.
    QByteArray m_pending;
    /// Capture is on but nothing has been delivered since it was lost.
    bool m_outage = false;
    int m_outageTicks = 0;
    bool m_lostReported = false;
    /// The current connection has given a list: losing it is worth a warning, while
    /// the failed attempts after it are not.
    bool m_serverReached = false;
    QTimer* m_retry = nullptr;

    // Written by the owner thread with the mainloop lock held, read by both.
    pa_threaded_mainloop* m_mainloop = nullptr;
    pa_context* m_context = nullptr;
    pa_stream* m_stream = nullptr;
    /// Bumped whenever the context or stream is replaced, so that what the pulse
    /// thread sent about an earlier one is recognised and dropped.
    quint64 m_contextGeneration = 0;
    quint64 m_streamGeneration = 0;

    // Pulse thread only (and the owner while it tears the context down).
    pa_operation* m_listing = nullptr;
    QList<std::pair<quint32, Source>> m_incoming;
    bool m_relist = false;

    /// The device list and the connection's outcome, for any thread.
    struct Shared
    {
        mutable std::mutex mutex;
        std::condition_variable changed;
        QList<Source> sources;
        quint64 listedGeneration = 0;
        quint64 failedGeneration = 0;
        QString failure;
    };
    Shared m_shared;
};

} // namespace dovrane
