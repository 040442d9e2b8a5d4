#include "FakeSerialPort.h"

namespace dovrane::test {

bool FakeSerialPort::fail(int number, const char* description)
{
    m_errorNumber = number;
    m_errorDescription = QString::fromLatin1(description);
    return false;
}

bool FakeSerialPort::setSettings(const QString& settings)
{
    properties << QStringLiteral("Settings=") + settings;
    // Like the real port: rate, parity, data bits, stop bits and nothing more.
    return settings.count(QLatin1Char(',')) == 3 || fail(380, "Invalid property value");
}

bool FakeSerialPort::open()
{
    if (m_open)
        return fail(8005, "Port already open");
    if (failOpen)
        return fail(8002, "Invalid port number");
    return m_open = true;
}

bool FakeSerialPort::write(const QByteArray& data)
{
    if (!m_open)
        return fail(8018, "Operation valid only when the port is open");
    if (failWrites)
        return fail(8020, "Error writing comm device");
    written += data;
    if (data.startsWith("AT") && data.endsWith('\r'))
        m_input += autoReply;
    return true;
}

} // namespace dovrane::test
