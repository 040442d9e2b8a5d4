#pragma once

#include <QObject>
#include <QString>

namespace dovrane {

/// The modem connection: serial port number (1 = COM1) and the baud rate text as
/// stored. Read from Connection.dat at start-up and changed by the connection
/// window; the dialer reads it at every call.
class SerialProfile : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    [[nodiscard]] qint16 comPort() const { return m_comPort; }
    [[nodiscard]] QString baudRate() const { return m_baudRate; }

    void setComPort(qint16 port)
    {
        if (port == m_comPort)
            return;
        m_comPort = port;
        Q_EMIT changed();
    }
    void setBaudRate(const QString& rate)
    {
        if (rate == m_baudRate)
            return;
        m_baudRate = rate;
        Q_EMIT changed();
    }

Q_SIGNALS:
    void changed();

private:
    qint16 m_comPort = 0;
    QString m_baudRate;
};

} // namespace dovrane
