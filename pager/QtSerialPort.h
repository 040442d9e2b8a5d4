#pragma once

#include "DataPaths.h"
#include "SerialPort.h"

#include <QSerialPort>

namespace dovrane {

/// The modem line through QSerialPort. Port number n is the device that
/// DataPaths::serialDevice(n) names. Properties are kept until open() applies them.
class QtSerialPort final : public SerialPort
{
    Q_OBJECT
public:
    explicit QtSerialPort(DataPaths paths, QObject* parent = nullptr);
    ~QtSerialPort() override;

    void setCommPort(int portNumber) override;
    [[nodiscard]] bool setSettings(const QString& settings) override;
    void setDtrEnable(bool on) override { m_dtr = on; }
    void setRtsEnable(bool on) override { m_rts = on; }
    void setEofEnable(bool) override {}
    void setHandshaking(Handshaking mode) override { m_handshaking = mode; }
    void setInBufferSize(int bytes) override { m_inBufferSize = bytes; }
    void setInputLen(int) override {}
    void setInputModeText(bool) override {}
    void setNullDiscard(bool discard) override { m_nullDiscard = discard; }
    void setOutBufferSize(int) override {}
    void setRThreshold(int) override {}

    [[nodiscard]] bool open() override;
    void close() override;
    [[nodiscard]] bool isOpen() const override { return m_port.isOpen(); }
    [[nodiscard]] bool write(const QByteArray& data) override;
    [[nodiscard]] QByteArray readAll() override;

    [[nodiscard]] int lastErrorNumber() const override { return m_errorNumber; }
    [[nodiscard]] QString lastErrorDescription() const override { return m_errorDescription; }

private:
    void setError(int number, const QString& description);

    DataPaths m_paths;
    QSerialPort m_port;
    int m_portNumber = 0;
    qint32 m_baudRate = 9600;
    QSerialPort::Parity m_parity = QSerialPort::NoParity;
    QSerialPort::DataBits m_dataBits = QSerialPort::Data8;
    QSerialPort::StopBits m_stopBits = QSerialPort::OneStop;
    bool m_settingsValid = true;
    bool m_dtr = false;
    bool m_rts = false;
    Handshaking m_handshaking = Handshaking::None;
    int m_inBufferSize = 1024;
    bool m_nullDiscard = false;
    int m_errorNumber = 0;
    QString m_errorDescription;
};

} // namespace dovrane
