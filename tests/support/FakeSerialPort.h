#pragma once

#include "SerialPort.h"

#include <QStringList>

namespace dovrane::test {

/// An in-memory modem line: records every property set ("Name=value", in order)
/// and every byte written, and answers as the test says.
class FakeSerialPort final : public SerialPort
{
    Q_OBJECT
public:
    using SerialPort::SerialPort;

    void setCommPort(int n) override { set("CommPort", n); }
    [[nodiscard]] bool setSettings(const QString& settings) override;
    void setDtrEnable(bool on) override { set("DTREnable", on); }
    void setRtsEnable(bool on) override { set("RTSEnable", on); }
    void setEofEnable(bool on) override { set("EOFEnable", on); }
    void setHandshaking(Handshaking mode) override { set("Handshaking", int(mode)); }
    void setInBufferSize(int bytes) override { set("InBufferSize", bytes); }
    void setInputLen(int chars) override { set("InputLen", chars); }
    void setInputModeText(bool text) override { set("InputMode", text ? 0 : 1); }
    void setNullDiscard(bool discard) override { set("NullDiscard", discard); }
    void setOutBufferSize(int bytes) override { set("OutBufferSize", bytes); }
    void setRThreshold(int chars) override { set("RThreshold", chars); }
    [[nodiscard]] bool open() override;
    void close() override { m_open = false; }
    [[nodiscard]] bool isOpen() const override { return m_open; }
    [[nodiscard]] bool write(const QByteArray& data) override;
    [[nodiscard]] QByteArray readAll() override { return std::exchange(m_input, {}); }
    [[nodiscard]] int lastErrorNumber() const override { return m_errorNumber; }
    [[nodiscard]] QString lastErrorDescription() const override { return m_errorDescription; }

    QStringList properties;
    QByteArray written; ///< every byte written while open
    /// Queued as input after every "AT...\r" written, as a modem answers; empty: silent.
    QByteArray autoReply;
    bool failOpen = false;   ///< opens fail as for a missing port
    bool failWrites = false; ///< writes fail as on a line that went away

private:
    void set(const char* name, int value)
    {
        properties << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(value);
    }
    bool fail(int number, const char* description);

    bool m_open = false;
    QByteArray m_input;
    int m_errorNumber = 0;
    QString m_errorDescription;
};

} // namespace dovrane::test
