#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

namespace dovrane {

/// The sound-card input: lists the devices, captures 44100 Hz 16-bit stereo from
/// the selected one and hands over one buffer of 4096 bytes (1024 frames) at a
/// time on the thread that owns it. The real one is libpulse (Qt Multimedia where
/// libpulse is missing), made by makeSystemAudioInput(); tests use a generator of
/// silence, tones and gaps.
class AudioInput : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSampleRate = 44100;
    static constexpr int kChannels = 2;
    static constexpr int kBufferBytes = 4096;

    using QObject::QObject;
    ~AudioInput() override = default;

    [[nodiscard]] virtual int deviceCount() const = 0;
    [[nodiscard]] virtual QString deviceName(int index) const = 0;
    /// What names the device however the list is ordered (the sound server's own
    /// name for it); the shown name where there is nothing better.
    [[nodiscard]] virtual QString deviceId(int index) const { return deviceName(index); }
    /// Later starts record from this device (0-based); a number with no device
    /// behind it makes the next start fail.
    virtual void selectDevice(int index) = 0;
    [[nodiscard]] virtual int selectedDevice() const = 0;
    /// false and errorString() set when capture cannot start.
    [[nodiscard]] virtual bool start() = 0;
    virtual void stop() = 0;
    [[nodiscard]] virtual bool isCapturing() const = 0;
    [[nodiscard]] virtual QString errorString() const = 0;

    /// Why a start fails when the selected number names no device.
    [[nodiscard]] static QString missingDeviceText(int selected, qsizetype installed);

Q_SIGNALS:
    /// One filled buffer of kBufferBytes of interleaved little-endian samples.
    void bufferReady(const QByteArray& buffer);
    /// Capture stopped with an error and could not be reopened for a while; sent
    /// once per outage, with a description for the operator. Capture is still
    /// retried and resumes by itself if the source opens again.
    void captureLost(const QString& description);
    /// Capture is back after captureLost(): sent once, with a description for the
    /// operator.
    void captureRegained(const QString& description);
};

/// The peak sample of each channel of an interleaved 16-bit stereo buffer: the
/// sample with the largest magnitude, keeping its sign (so -32768 stays -32768).
struct ChannelPeaks
{
    qint16 left = 0;
    qint16 right = 0;
};
[[nodiscard]] ChannelPeaks channelPeaks(const QByteArray& buffer);

} // namespace dovrane
