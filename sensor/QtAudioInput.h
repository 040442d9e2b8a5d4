#pragma once

#include "AudioInput.h"

#include <QAudioDevice>

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
/// comes back.
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

    int m_selected = 0;
    QMediaDevices* m_devices = nullptr;
    QTimer* m_watch = nullptr;
    bool m_capturing = false;
    /// The device being captured; kept while it is gone so it can be reopened.
    QAudioDevice m_device;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;
    QByteArray m_pending;
    QString m_error;
};

} // namespace dovrane
