#include "QtAudioInput.h"

#include <QAudioSource>
#include <QLoggingCategory>
#include <QMediaDevices>

Q_LOGGING_CATEGORY(lcAudio, "dovrane.audio")

namespace dovrane {

namespace {

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

QtAudioInput::QtAudioInput(QObject* parent) : AudioInput(parent)
{
    setObjectName(QStringLiteral("WaveIn"));
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
        m_error = devices.isEmpty()
                      ? QStringLiteral("No sound input device is installed")
                      : QStringLiteral("Sound input device %1 does not exist (%2 installed)")
                            .arg(m_selected)
                            .arg(devices.size());
        return false;
    }
    const QAudioDevice device = devices.at(m_selected);
    const QAudioFormat format = captureFormat();
    if (!device.isFormatSupported(format)) {
        m_error =
            QStringLiteral("%1 cannot capture 44100 Hz 16-bit stereo").arg(device.description());
        return false;
    }
    m_source = std::make_unique<QAudioSource>(device, format);
    // Room for several buffers so a busy moment on the UI thread loses nothing.
    m_source->setBufferSize(8 * kBufferBytes);
    m_io = m_source->start();
    if (!m_io || m_source->error() != QAudio::NoError) {
        m_error = QStringLiteral("%1: %2").arg(device.description(), describe(m_source->error()));
        m_source.reset();
        m_io = nullptr;
        return false;
    }
    connect(m_io, &QIODevice::readyRead, this, &QtAudioInput::readAvailable);
    connect(m_source.get(), &QAudioSource::stateChanged, this, [this](QAudio::State state) {
        if (m_source && state == QAudio::StoppedState && m_source->error() != QAudio::NoError)
            qCWarning(lcAudio) << "capture stopped:" << describe(m_source->error());
    });
    m_error.clear();
    qCInfo(lcAudio) << "capturing from" << device.description();
    return true;
}

void QtAudioInput::stop()
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

bool QtAudioInput::isCapturing() const
{
    return m_source != nullptr;
}

void QtAudioInput::readAvailable()
{
    if (!m_io)
        return;
    m_pending.append(m_io->readAll());
    qsizetype offset = 0;
    while (m_pending.size() - offset >= kBufferBytes) {
        Q_EMIT bufferReady(m_pending.mid(offset, kBufferBytes));
        offset += kBufferBytes;
        if (!m_io) // stopped from a handler of the buffer
            return;
    }
    m_pending.remove(0, offset);
}

} // namespace dovrane
