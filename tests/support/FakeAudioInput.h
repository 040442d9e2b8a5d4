#pragma once

#include "AudioInput.h"

#include <QStringList>

namespace dovrane::test {

/// An input that captures nothing by itself: tests push buffers through it and
/// decide whether start() fails.
class FakeAudioInput final : public AudioInput
{
    Q_OBJECT
public:
    explicit FakeAudioInput(QStringList devices = {QStringLiteral("Test input")})
        : m_devices(std::move(devices))
    {}

    [[nodiscard]] int deviceCount() const override { return int(m_devices.size()); }
    [[nodiscard]] QString deviceName(int index) const override { return m_devices.value(index); }
    void selectDevice(int index) override { m_selected = index; }
    [[nodiscard]] int selectedDevice() const override { return m_selected; }
    [[nodiscard]] bool start() override;
    void stop() override { m_capturing = false; }
    [[nodiscard]] bool isCapturing() const override { return m_capturing; }
    [[nodiscard]] QString errorString() const override { return m_error; }

    /// The next n starts fail with "Device busy".
    void failNextStarts(int n) { m_failures = n; }
    /// Delivers one buffer (only while capturing, as a real input would).
    void push(const QByteArray& buffer)
    {
        if (m_capturing)
            Q_EMIT bufferReady(buffer);
    }

    /// 1024 frames of a 1 kHz sine (amplitude 0: digital silence), or of one
    /// constant sample pair.
    [[nodiscard]] static QByteArray toneBuffer(int amplitude);
    [[nodiscard]] static QByteArray constantBuffer(qint16 left, qint16 right);
    [[nodiscard]] static QByteArray silenceBuffer() { return constantBuffer(0, 0); }

private:
    QStringList m_devices;
    int m_selected = 0;
    int m_failures = 0;
    bool m_capturing = false;
    QString m_error;
};

} // namespace dovrane::test
