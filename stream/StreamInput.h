#pragma once

#include "StreamSource.h"

#include <memory>
#include <thread>

namespace dovrane {

/// A network stream (Icecast/Shoutcast over http or https, HLS, RTSP, RTP described by an
/// SDP file or address, SRT) or a file, decoded with FFmpeg on a worker thread and
/// handed over as the sound card's buffers: 44100 Hz 16-bit stereo in 4096 bytes.
///
/// Mono is measured on both sides. Of more than two channels the front left and
/// right (the first two where the layout names none) are measured as they are, not
/// folded down, so a silent centre or surround channel is not heard; description()
/// says so.
///
/// The stream is paced to the wall clock. What a server sends at once on connecting
/// (Icecast's burst, the segments a live HLS playlist already holds) is the past: a
/// monitor listens at the live edge, so of it at most 3 s are kept and handed over in
/// real time, the rest skipped; bufferedAtStartMs() says how much was kept, since it
/// delays every alarm by that much.
///
/// An outage (no connection, an HTTP error, a web page or other bytes that are not
/// audio, no decoded audio for noDataSecs, the end of the stream) is announced once
/// with streamDown() and captureLost(); the connection is retried after 1 s, doubling
/// to 60 s, and streamUp() (with captureRegained() after a loss) says when audio flows
/// again. Every text from the server is redacted; the address shows no user,
/// password or query.
class StreamInput final : public StreamSource
{
    Q_OBJECT
public:
    struct Options
    {
        QString url;
        /// Connecting and reading give up after this long without audio.
        int noDataSecs = 5;
        int firstRetryMs = 1000;
        int maxRetryMs = 60000;
    };

    explicit StreamInput(Options options, QObject* parent = nullptr);
    ~StreamInput() override;

    [[nodiscard]] int deviceCount() const override { return 1; }
    /// The address as scheme://host[:port]/path, or the file's path.
    [[nodiscard]] QString deviceName(int index) const override;
    void selectDevice(int index) override { m_selected = index; }
    [[nodiscard]] int selectedDevice() const override { return m_selected; }
    /// Starts the worker and returns at once; false only for an address it cannot use.
    [[nodiscard]] bool start() override;
    /// Returns within a second even while the worker waits on the network.
    void stop() override;
    [[nodiscard]] bool isCapturing() const override { return m_shared != nullptr; }
    [[nodiscard]] QString errorString() const override { return m_error; }

    /// "MP3, 44100 Hz, 2 channels, 128 kbit/s" once audio has flowed.
    [[nodiscard]] QString description() const override { return m_description; }
    /// The last ICY StreamTitle.
    [[nodiscard]] QString title() const override { return m_title; }
    [[nodiscard]] bool isUp() const override { return m_up; }
    /// Audio that arrived ahead of real time when the current (or, once stopped, the
    /// last) connection began.
    [[nodiscard]] int bufferedAtStartMs() const override;
    /// Buffers dropped because this object's thread did not take them in time, or
    /// skipped because the source ran ahead of real time for good.
    [[nodiscard]] qint64 droppedBuffers() const { return m_dropped; }

    /// The address fit for a log: "https://host:8000/live", never user, password or
    /// query; a plain path stays as it is.
    [[nodiscard]] static QString shownSource(const QString& url);

private:
    struct Shared;
    class Worker;
    friend class Worker;

    void drain(const std::shared_ptr<Shared>& shared);
    void wentDown(const QString& why);
    void cameUp(const QString& description);
    void newTitle(const QString& title);

    Options m_options;
    int m_selected = 0;
    QString m_error;
    QString m_description;
    QString m_title;
    bool m_up = false;
    bool m_downReported = false;
    qint64 m_dropped = 0;
    /// The last connection's, once stopped.
    int m_bufferedAtStartMs = 0;
    std::shared_ptr<Shared> m_shared;
    std::thread m_thread;
};

} // namespace dovrane
