#include "FakeAudioInput.h"

#include <QtEndian>

#include <cmath>
#include <numbers>

namespace dovrane::test {

FakeAudioInput::FakeAudioInput(QStringList devices, QObject* parent)
    : AudioInput(parent), m_devices(std::move(devices))
{
    setObjectName(QStringLiteral("WaveIn"));
}

bool FakeAudioInput::start()
{
    ++m_startCalls;
    if (m_failures > 0) {
        --m_failures;
        m_error = m_failDescription;
        return false;
    }
    if (m_selected < 0 || m_selected >= m_devices.size()) {
        m_error = QStringLiteral("Sound input device %1 does not exist").arg(m_selected);
        return false;
    }
    m_capturing = true;
    m_error.clear();
    return true;
}

void FakeAudioInput::stop()
{
    ++m_stopCalls;
    m_capturing = false;
}

void FakeAudioInput::failNextStarts(int n, const QString& description)
{
    m_failures = n;
    m_failDescription = description;
}

void FakeAudioInput::push(const QByteArray& buffer)
{
    if (m_capturing)
        Q_EMIT bufferReady(buffer);
}

QByteArray FakeAudioInput::constantBuffer(qint16 left, qint16 right)
{
    QByteArray out(kBufferBytes, '\0');
    auto* p = reinterpret_cast<uchar*>(out.data());
    for (int i = 0; i < kBufferBytes / 4; ++i) {
        qToLittleEndian<qint16>(left, p + 4 * i);
        qToLittleEndian<qint16>(right, p + 4 * i + 2);
    }
    return out;
}

QByteArray FakeAudioInput::toneBuffer(int amplitude, double hz)
{
    QByteArray out(kBufferBytes, '\0');
    auto* p = reinterpret_cast<uchar*>(out.data());
    for (int i = 0; i < kBufferBytes / 4; ++i) {
        const auto v = static_cast<qint16>(
            std::lround(amplitude * std::sin(2.0 * std::numbers::pi * hz * i / kSampleRate)));
        qToLittleEndian<qint16>(v, p + 4 * i);
        qToLittleEndian<qint16>(v, p + 4 * i + 2);
    }
    return out;
}

} // namespace dovrane::test
