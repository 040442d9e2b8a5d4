#include "FakeAudioInput.h"

#include <QtEndian>

#include <cmath>
#include <numbers>

namespace dovrane::test {

bool FakeAudioInput::start()
{
    m_error.clear();
    if (m_failures > 0) {
        --m_failures;
        m_error = QStringLiteral("Device busy");
    } else if (m_selected < 0 || m_selected >= m_devices.size()) {
        m_error = QStringLiteral("Sound input device %1 does not exist").arg(m_selected);
    }
    m_capturing = m_error.isEmpty();
    return m_capturing;
}

QByteArray FakeAudioInput::constantBuffer(qint16 left, qint16 right)
{
    QByteArray out(kBufferBytes, '\0');
    for (int i = 0; i < kBufferBytes / 4; ++i) {
        qToLittleEndian<qint16>(left, out.data() + 4 * i);
        qToLittleEndian<qint16>(right, out.data() + 4 * i + 2);
    }
    return out;
}

QByteArray FakeAudioInput::toneBuffer(int amplitude)
{
    QByteArray out(kBufferBytes, '\0');
    for (int i = 0; i < kBufferBytes / 4; ++i) {
        const double v = amplitude * std::sin(2.0 * std::numbers::pi * 1000.0 * i / kSampleRate);
        qToLittleEndian<qint16>(qint16(std::lround(v)), out.data() + 4 * i);
        qToLittleEndian<qint16>(qint16(std::lround(v)), out.data() + 4 * i + 2);
    }
    return out;
}

} // namespace dovrane::test
