#include "FakeSerialPort.h"

namespace dovrane::test {

bool FakeSerialPort::setSettings(const QString& settings)
{
    record(QStringLiteral("Settings=%1").arg(settings));
    // Like the real port: rate, parity, data bits, stop bits and nothing more.
    if (settings.count(QLatin1Char(',')) == 3)
        return true;
    m_errorNumber = 380;
    m_errorDescription = QStringLiteral("Invalid property value");
    return false;
}

bool FakeSerialPort::open()
{
    record(QStringLiteral("PortOpen=1"));
    if (m_open) {
        m_errorNumber = 8005;
        m_errorDescription = QStringLiteral("Port already open");
        return false;
    }
    if (failOpen) {
        m_errorNumber = 8002;
        m_errorDescription = QStringLiteral("Invalid port number");
        return false;
    }
    ++openCount;
    m_open = true;
    return true;
}

bool FakeSerialPort::write(const QByteArray& data)
{
    if (!m_open) {
        m_errorNumber = 8018;
        m_errorDescription = QStringLiteral("Operation valid only when the port is open");
        return false;
    }
    if (failWrites) {
        m_errorNumber = 8020;
        m_errorDescription = QStringLiteral("Error writing comm device");
        return false;
    }
    written += data;
    if (!autoReply.isEmpty() && data.startsWith("AT") && data.endsWith('\r'))
        pendingInput += autoReply;
    return true;
}

QByteArray FakeSerialPort::readAll()
{
    QByteArray out = pendingInput;
    pendingInput.clear();
    return out;
}

} // namespace dovrane::test
