#pragma once

#include "AudioInput.h"

#include <QStringList>

namespace dovrane::test {

/// An input that captures nothing by itself: tests push buffers of silence, tones
/// or chosen samples through it, and decide whether start() fails.
class FakeAudioInput final : public AudioInput
{
    Q_OBJECT
public:
    explicit FakeAudioInput(QStringList devices = {QStringLiteral("Test input")},
                            QObject* parent = nullptr);

    [[nodiscard]] int deviceCount() const override { return int(m_devices.size()); }
    [[nodiscard]] QString deviceName(int index) const override { return m_devices.value(index); }
    void selectDevice(int index) override { m_selected = index; }
    [[nodiscard]] int selectedDevice() const override { return m_selected; }
    [[nodiscard]] bool start() override;
    void stop() override;
    [[nodiscard]] bool isCapturing() const override { return m_capturing; }
    [[nodiscard]] QString errorString() const override { return m_error; }

    /// The next n starts fail with this description.
    void failNextStarts(int n, const QString& description = QStringLiteral("Device busy"));
    [[nodiscard]] int startCalls() const { return m_startCalls; }
    [[nodiscard]] int stopCalls() const { return m_stopCalls; }

    /// Delivers one buffer (only while capturing, as a real input would).
    void push(const QByteArray& buffer);

    /// 1024 frames with every left sample = left and every right sample = right.
    [[nodiscard]] static QByteArray constantBuffer(qint16 left, qint16 right);
    /// 1024 frames of a sine of the given peak amplitude and frequency, both channels.
    [[nodiscard]] static QByteArray toneBuffer(int amplitude, double hz = 1000.0);
    [[nodiscard]] static QByteArray silenceBuffer() { return constantBuffer(0, 0); }

private:
    QStringList m_devices;
    int m_selected = 0;
    bool m_capturing = false;
    int m_failures = 0;
    int m_startCalls = 0;
    int m_stopCalls = 0;
    QString m_error;
    QString m_failDescription;
};

} // namespace dovrane::test
