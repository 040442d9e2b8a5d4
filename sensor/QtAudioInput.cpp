#include "QtAudioInput.h"

#include <QAudioSource>
#include <QLoggingCategory>
#include <QMediaDevices>
#include <QTimer>

#include <algorithm>

Q_LOGGING_CATEGORY(lcAudio, "dovrane.audio")

namespace dovrane {

namespace {

constexpr int kDeviceWatchMs = 1000;
/// Buffers the backend hands over per wake-up (about 93 ms): fewer wake-ups of
/// the audio and UI threads, and still well inside one 100 ms alarm tick.
constexpr int kBackendBuffers = 4;
/// Failed reopens before the operator is told. The backend tries to reach a
/// vanished server once, three seconds after losing it; this leaves it time.
constexpr int kPollsBeforeReport = 10;

QAudioFormat captureFormat()
{
    QAudioFormat format;
    format.setSampleRate(AudioInput::kSampleRate);
    format.setChannelCount(AudioInput::kChannels);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

QString describe(QAudio::Error error)
{
    switch (error) {
    case QAudio::NoError:
        return QStringLiteral("No error");
    case QAudio::OpenError:
        return QStringLiteral("The sound input could not be opened");
    case QAudio::IOError:
        return QStringLiteral("The sound input stopped delivering data");
    case QAudio::UnderrunError:
        return QStringLiteral("The sound input ran out of data");
    case QAudio::FatalError:
        return QStringLiteral("The sound input is not available");
    }
    return QStringLiteral("Unknown sound input error");
}

} // namespace

QtAudioInput::QtAudioInput(QObject* parent) : AudioInput(parent), m_devices(new QMediaDevices(this))
{
    setObjectName(QStringLiteral("WaveIn"));
    connect(m_devices, &QMediaDevices::audioInputsChanged, this, &QtAudioInput::devicesChanged);
    // Qt 6.4's PulseAudio backend updates the device list but does not always say
    // so, and the server moves a stream whose source is removed to another source,
    // so capture would go on from a device nobody chose. A slow poll catches it.
    m_watch = new QTimer(this);
    m_watch->setInterval(kDeviceWatchMs);
    connect(m_watch, &QTimer::timeout, this, &QtAudioInput::devicesChanged);
}

QtAudioInput::~QtAudioInput()
{
    stop();
}

int QtAudioInput::deviceCount() const
{
    return int(QMediaDevices::audioInputs().size());
}

QString QtAudioInput::deviceName(int index) const
{
    const QList<QAudioDevice> devices = QMediaDevices::audioInputs();
    if (index < 0 || index >= devices.size())
        return {};
    return devices.at(index).description();
}

bool QtAudioInput::start()
{
    stop();
    const QList<QAudioDevice> devices = QMediaDevices::audioInputs();
    if (m_selected < 0 || m_selected >= devices.size()) {
        m_error = missingDeviceText(m_selected, devices.size());
        return false;
    }
    const QAudioDevice device = devices.at(m_selected);
    if (!device.isFormatSupported(captureFormat())) {
        m_error =
            QStringLiteral("%1 cannot capture 44100 Hz 16-bit stereo").arg(device.description());
        return false;
    }
    if (!open(device))
        return false;
    m_device = device;
    m_capturing = true;
    m_watch->start();
    m_error.clear();
    qCInfo(lcAudio) << "capturing from" << device.description();
    return true;
}

void QtAudioInput::stop()
{
    close();
    m_watch->stop();
    m_capturing = false;
    m_failed = false;
    m_failedPolls = 0;
    m_device = {};
}

bool QtAudioInput::isCapturing() const
{
    return m_capturing;
}

bool QtAudioInput::open(const QAudioDevice& device)
{
    m_source = std::make_unique<QAudioSource>(device, captureFormat());
    // The backend's buffer is also the size of each hand-over. One buffer per
    // hand-over costs some 86 thread wake-ups a second; a few buffers at a time
    // delay the level test by less than one alarm tick. Buffers the UI thread
    // falls behind on wait in the server.
    m_source->setBufferSize(kBackendBuffers * kBufferBytes);
    m_io = m_source->start();
    if (!m_io || m_source->error() != QAudio::NoError) {
        m_error = QStringLiteral("%1: %2").arg(device.description(), describe(m_source->error()));
        m_source.reset();
        m_io = nullptr;
        return false;
    }
    connect(m_io, &QIODevice::readyRead, this, &QtAudioInput::readAvailable);
    // The source is replaced from the poll, never from inside its own signal.
    connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (m_failed || !m_source || state != QAudio::StoppedState ||
            m_source->error() == QAudio::NoError)
            return;
        m_failed = true;
        m_failedPolls = 0;
        qCWarning(lcAudio) << "capture stopped:" << describe(m_source->error())
                           << "- retrying every second";
    });
    return true;
}

void QtAudioInput::close()
{
    if (m_source) {
        m_source->disconnect(this);
        if (m_io)
            m_io->disconnect(this);
        m_source->stop();
        m_source.reset();
    }
    m_io = nullptr;
    m_pending.clear();
}

void QtAudioInput::devicesChanged()
{
    if (!m_capturing)
        return;
    const QList<QAudioDevice> devices = QMediaDevices::audioInputs();
    const bool present =
        std::any_of(devices.cbegin(), devices.cend(),
                    [this](const QAudioDevice& d) { return d.id() == m_device.id(); });
    if (m_failed) {
        if (present)
            reopenAfterError();
    } else if (!present && m_source) {
        // Deliver nothing (silence to the level test) until the device is back.
        qCWarning(lcAudio) << m_device.description() << "disappeared; capture paused";
        close();
    } else if (present && !m_source) {
        if (open(m_device)) {
            qCInfo(lcAudio) << m_device.description() << "is back; capture resumed";
        } else {
            // From now on retried quietly, as after an error of the source.
            qCWarning(lcAudio) << "cannot resume capture:" << m_error << "- retrying every second";
            m_failed = true;
            m_failedPolls = 1;
        }
    }
}

void QtAudioInput::reopenAfterError()
{
    // While the backend has no server a new source fails at once (FatalError)
    // without waiting for anything, so retrying every poll costs nothing. The
    // device list is not cleared when the server goes, so it cannot tell when the
    // server is back; the attempt itself does.
    close(); // a part buffer from before the outage must not join the new stream
    if (open(m_device)) {
        const bool reported = m_failedPolls >= kPollsBeforeReport;
        m_failed = false;
        m_failedPolls = 0;
        m_error.clear();
        qCInfo(lcAudio) << m_device.description() << "capture is back";
        if (reported)
            Q_EMIT captureRegained(
                QStringLiteral("%1: capture is back").arg(m_device.description()));
        return;
    }
    if (++m_failedPolls == kPollsBeforeReport) {
        const QString lost = m_error + QStringLiteral("; capture resumes when the sound server "
                                                      "is back, or else after Dovrane is "
                                                      "restarted");
        qCWarning(lcAudio) << "capture not back after" << m_failedPolls << "attempts:" << lost;
        Q_EMIT captureLost(lost);
    }
}

void QtAudioInput::readAvailable()
{
    QIODevice* const io = m_io;
    if (!io)
        return;
    m_pending.append(io->readAll());
    qsizetype offset = 0;
    while (m_pending.size() - offset >= kBufferBytes) {
        Q_EMIT bufferReady(m_pending.mid(offset, kBufferBytes));
        offset += kBufferBytes;
        if (m_io != io) // stopped or restarted from a handler of the buffer
            return;
    }
    m_pending.remove(0, offset);
}

} // namespace dovrane
