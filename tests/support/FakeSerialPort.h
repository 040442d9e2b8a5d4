#pragma once

#include "SerialPort.h"

#include <QStringList>

namespace dovrane::test {

/// An in-memory modem line: records every property set and every byte written,
/// and answers with whatever the test queues.
class FakeSerialPort final : public SerialPort
{
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    void setCommPort(int portNumber) override
    {
        record(QStringLiteral("CommPort=%1").arg(portNumber));
        m_port = portNumber;
    }
    [[nodiscard]] bool setSettings(const QString& settings) override;
    void setDtrEnable(bool on) override { record(QStringLiteral("DTREnable=%1").arg(on)); }
    void setRtsEnable(bool on) override { record(QStringLiteral("RTSEnable=%1").arg(on)); }
    void setEofEnable(bool on) override { record(QStringLiteral("EOFEnable=%1").arg(on)); }
    void setHandshaking(Handshaking mode) override
    {
        record(QStringLiteral("Handshaking=%1").arg(int(mode)));
    }
    void setInBufferSize(int bytes) override
    {
        record(QStringLiteral("InBufferSize=%1").arg(bytes));
    }
    void setInputLen(int chars) override { record(QStringLiteral("InputLen=%1").arg(chars)); }
    void setInputModeText(bool text) override
    {
        record(QStringLiteral("InputMode=%1").arg(text ? 0 : 1));
    }
    void setNullDiscard(bool discard) override
    {
        record(QStringLiteral("NullDiscard=%1").arg(discard));
    }
    void setOutBufferSize(int bytes) override
    {
        record(QStringLiteral("OutBufferSize=%1").arg(bytes));
    }
    void setRThreshold(int chars) override { record(QStringLiteral("RThreshold=%1").arg(chars)); }

    [[nodiscard]] bool open() override;
    void close() override
    {
        if (m_open)
            record(QStringLiteral("PortOpen=0"));
        m_open = false;
        ++m_closeCount;
    }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    [[nodiscard]] bool write(const QByteArray& data) override;
    [[nodiscard]] QByteArray readAll() override;

    [[nodiscard]] int lastErrorNumber() const override { return m_errorNumber; }
    [[nodiscard]] QString lastErrorDescription() const override { return m_errorDescription; }

    // What the test sees and controls.
    QStringList properties;  ///< "Name=value" in the order they were set
    QByteArray written;      ///< every byte written while open
    QByteArray pendingInput; ///< handed out by the next readAll()
    /// Queued as input after every written command that starts with "AT" and ends
    /// with a carriage return, like a modem answering (e.g. "OK\r\n"); empty = silent.
    QByteArray autoReply;
    bool failOpen = false;   ///< the next opens fail as for a missing port
    bool failWrites = false; ///< writes fail as on a line that went away
    int openCount = 0;
    [[nodiscard]] int closeCount() const { return m_closeCount; }
    [[nodiscard]] int portNumber() const { return m_port; }

private:
    void record(const QString& p) { properties.append(p); }

    bool m_open = false;
    int m_port = 0;
    int m_closeCount = 0;
    int m_errorNumber = 0;
    QString m_errorDescription;
};

} // namespace dovrane::test
