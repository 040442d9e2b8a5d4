#pragma once

#include "AudioInput.h"

#include <QAudioDevice>
#include <QPointer>

#include <memory>

class QAudioSource;
class QIODevice;
class QMediaDevices;
class QTimer;

namespace dovrane {

/// Capture through Qt Multimedia (PulseAudio or PipeWire on Linux). Devices are
/// numbered in the order of QMediaDevices::audioInputs(). The source runs in push
/// mode on the thread that owns this object, with a backend buffer of four buffers
/// (about 93 ms, under one alarm tick), handed on one 4096-byte buffer at a time.
/// When the device disappears while capturing, capture stays "on" but delivers
/// nothing (which the level test sees as silence) and resumes if the same device
/// comes back. The same holds when the sound server itself goes away: the source
/// is reopened once a second until the server takes it again. Qt 6.4 reconnects to
/// a restarted server only if it is back within about three seconds; after a longer
/// outage no source opens again in this process, which captureLost() reports.
class QtAudioInput final : public AudioInput
{
    Q_OBJECT
public:
    explicit QtAudioInput(QObject* parent = nullptr);
    ~QtAudioInput() override;

    [[nodiscard]] int deviceCount() const override;
    [[nodiscard]] QString deviceName(int index) const override;
    void selectDevice(int index) override { m_selected = index; }
    [[nodiscard]] int selectedDevice() const override { return m_selected; }
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] bool isCapturing() const override;
    [[nodiscard]] QString errorString() const override { return m_error; }

private:
    [[nodiscard]] bool open(const QAudioDevice& device);
    void close();
    void readAvailable();
    void devicesChanged();
    /// Drops a source that stopped with an error and opens it again.
    void reopenAfterError();

    int m_selected = 0;
    QMediaDevices* m_devices = nullptr;
    QTimer* m_watch = nullptr;
    bool m_capturing = false;
    /// The device being captured; kept while it is gone so it can be reopened.
    QAudioDevice m_device;
    std::unique_ptr<QAudioSource> m_source;
    /// Owned by the source, which deletes it when the server connection fails.
    QPointer<QIODevice> m_io;
    QByteArray m_pending;
    QString m_error;
    /// The source stopped with an error, or could not be reopened: retried quietly
    /// from the poll until a new one opens.
    bool m_failed = false;
    /// Failed reopens since then.
    int m_failedPolls = 0;
};

} // namespace dovrane
