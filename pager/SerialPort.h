#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace dovrane {

/// Flow control of the serial line.
enum class Handshaking
{
    None = 0,
    XonXoff = 1,
    RtsCts = 2,
    RtsCtsXonXoff = 3
};

/// The serial line to the modem, seen as a property set applied one by one and a
/// last step that opens the port. The real one is QSerialPort; tests use an
/// in-memory port or a modem simulator on a pseudo-terminal.
class SerialPort : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialPort() override = default;

    virtual void setCommPort(int portNumber) = 0;
    /// "9600,N,8,1" style; false (and lastError set) when the text is not valid.
    [[nodiscard]] virtual bool setSettings(const QString& settings) = 0;
    virtual void setDtrEnable(bool on) = 0;
    virtual void setRtsEnable(bool on) = 0;
    virtual void setEofEnable(bool on) = 0;
    virtual void setHandshaking(Handshaking mode) = 0;
    virtual void setInBufferSize(int bytes) = 0;
    virtual void setInputLen(int chars) = 0;
    virtual void setInputModeText(bool text) = 0;
    virtual void setNullDiscard(bool discard) = 0;
    virtual void setOutBufferSize(int bytes) = 0;
    virtual void setRThreshold(int chars) = 0;

    /// Opens the port with the properties set so far. Fails when the port does not
    /// exist, is in use (here or by another program) or is already open.
    [[nodiscard]] virtual bool open() = 0;
    virtual void close() = 0;
    [[nodiscard]] virtual bool isOpen() const = 0;
    [[nodiscard]] virtual bool write(const QByteArray& data) = 0;
    /// Everything received since the last call.
    [[nodiscard]] virtual QByteArray readAll() = 0;

    /// Number and description of the last failure.
    [[nodiscard]] virtual int lastErrorNumber() const = 0;
    [[nodiscard]] virtual QString lastErrorDescription() const = 0;
};

} // namespace dovrane
