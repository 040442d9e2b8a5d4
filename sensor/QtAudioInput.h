#pragma once

#include "AudioInput.h"

#include <QAudioDevice>

#include <memory>

class QAudioSource;
class QIODevice;

namespace dovrane {

/// Capture through Qt Multimedia (PulseAudio or PipeWire on Linux). Devices are
/// numbered in the order of QMediaDevices::audioInputs().
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
    void readAvailable();

    int m_selected = 0;
    std::unique_ptr<QAudioSource> m_source;
    QIODevice* m_io = nullptr;
    QByteArray m_pending;
    QString m_error;
};

} // namespace dovrane
