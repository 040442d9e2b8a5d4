#include "QtSerialPort.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcSerial, "dovrane.serial")

namespace dovrane {

namespace {
// Error numbers shown to the operator, in the style of the serial control the
// dialer was first written for.
constexpr int kInvalidPortNumber = 8002;
constexpr int kPortAlreadyOpen = 8005;
constexpr int kPortOpenError = 8012;
constexpr int kInvalidSettings = 380;
constexpr int kPortNotOpen = 8018;
constexpr int kWriteFailed = 8020;
} // namespace

QtSerialPort::QtSerialPort(DataPaths paths, QObject* parent)
    : SerialPort(parent), m_paths(std::move(paths))
{
    setObjectName(QStringLiteral("MSComm1"));
}

QtSerialPort::~QtSerialPort()
{
    close();
}

void QtSerialPort::setError(int number, const QString& description)
{
    m_errorNumber = number;
    m_errorDescription = description;
    qCWarning(lcSerial) << number << description;
}

void QtSerialPort::setCommPort(int portNumber)
{
    m_portNumber = portNumber;
}

bool QtSerialPort::setSettings(const QString& settings)
{
    // "<baud>,<parity>,<data bits>,<stop bits>", e.g. "9600,N,8,1".
    const QStringList parts = settings.split(QLatin1Char(','));
    bool ok = parts.size() == 4;
    qint32 baud = 0;
    if (ok)
        baud = parts[0].trimmed().toInt(&ok);
    ok = ok && baud > 0;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    if (ok) {
        const QString p = parts[1].trimmed().toUpper();
        if (p == QLatin1String("N"))
            parity = QSerialPort::NoParity;
        else if (p == QLatin1String("E"))
            parity = QSerialPort::EvenParity;
        else if (p == QLatin1String("O"))
            parity = QSerialPort::OddParity;
        else if (p == QLatin1String("M"))
            parity = QSerialPort::MarkParity;
        else if (p == QLatin1String("S"))
            parity = QSerialPort::SpaceParity;
        else
            ok = false;
    }
    int bits = 0;
    if (ok)
        bits = parts[2].trimmed().toInt(&ok);
    ok = ok && bits >= 5 && bits <= 8;
    QString stop;
    if (ok) {
        stop = parts[3].trimmed();
        ok = stop == QLatin1String("1") || stop == QLatin1String("1.5") ||
             stop == QLatin1String("2");
    }
    if (!ok) {
        m_settingsValid = false;
        setError(kInvalidSettings,
                 QStringLiteral("Invalid property value: settings \"%1\"").arg(settings));
        return false;
    }
    m_settingsValid = true;
    m_baudRate = baud;
    m_parity = parity;
    m_dataBits = static_cast<QSerialPort::DataBits>(bits);
    m_stopBits = stop == QLatin1String("1")     ? QSerialPort::OneStop
                 : stop == QLatin1String("1.5") ? QSerialPort::OneAndHalfStop
                                                : QSerialPort::TwoStop;
    return true;
}

bool QtSerialPort::open()
{
    if (m_port.isOpen()) {
        setError(kPortAlreadyOpen, QStringLiteral("Port already open"));
        return false;
    }
    if (m_portNumber < 1 || m_portNumber > 255) {
        setError(kInvalidPortNumber, QStringLiteral("Invalid port number %1").arg(m_portNumber));
        return false;
    }
    if (!m_settingsValid) {
        setError(kInvalidSettings, QStringLiteral("Invalid property value: settings"));
        return false;
    }
    const QString device = m_paths.serialDevice(m_portNumber);
    m_port.setPortName(device);
    m_port.setBaudRate(m_baudRate);
    m_port.setParity(m_parity);
    m_port.setDataBits(m_dataBits);
    m_port.setStopBits(m_stopBits);
    m_port.setFlowControl(m_handshaking == Handshaking::RtsCts ||
                                  m_handshaking == Handshaking::RtsCtsXonXoff
                              ? QSerialPort::HardwareControl
                          : m_handshaking == Handshaking::XonXoff ? QSerialPort::SoftwareControl
                                                                  : QSerialPort::NoFlowControl);
    m_port.setReadBufferSize(0);
    // QSerialPort opens with TIOCEXCL, so a second open of the device fails.
    if (!m_port.open(QIODevice::ReadWrite)) {
        // A missing device reads as a bad port number, a locked one as a port in use.
        const int number = m_port.error() == QSerialPort::DeviceNotFoundError ? kInvalidPortNumber
                           : m_port.error() == QSerialPort::PermissionError   ? kPortAlreadyOpen
                                                                              : kPortOpenError;
        setError(number, QStringLiteral("Port COM%1 (%2) cannot be opened: %3")
                             .arg(m_portNumber)
                             .arg(device, m_port.errorString()));
        m_port.clearError();
        return false;
    }
    // Lines a device cannot set (pseudo-terminals, some USB adapters) are no reason
    // to give up the call: the modem may not need them.
    if (!m_port.setDataTerminalReady(m_dtr))
        qCInfo(lcSerial) << device << "cannot set DTR";
    if (m_handshaking != Handshaking::RtsCts && !m_port.setRequestToSend(m_rts))
        qCInfo(lcSerial) << device << "cannot set RTS";
    m_port.clearError();
    return true;
}

void QtSerialPort::close()
{
    if (m_port.isOpen()) {
        // Under RTS/CTS flow with CTS down (a modem switched off), output still
        // queued would keep the kernel's close() waiting for up to 30 s on the UI
        // thread; drop it. Lines that cannot be asked (pseudo-terminals) keep it.
        if (m_port.flowControl() == QSerialPort::HardwareControl) {
            m_port.clearError();
            const QSerialPort::PinoutSignals pins = m_port.pinoutSignals();
            if (m_port.error() == QSerialPort::NoError &&
                !pins.testFlag(QSerialPort::ClearToSendSignal))
                m_port.clear(QSerialPort::Output);
        }
        m_port.setDataTerminalReady(false);
        m_port.close();
    }
    m_port.clearError();
}

bool QtSerialPort::write(const QByteArray& data)
{
    if (!m_port.isOpen()) {
        setError(kPortNotOpen, QStringLiteral("Operation valid only when the port is open"));
        return false;
    }
    if (m_port.write(data) != data.size()) {
        setError(kWriteFailed, m_port.errorString());
        m_port.clearError();
        return false;
    }
    // Push the bytes out now; the dialer never blocks waiting for them.
    m_port.flush();
    return true;
}

QByteArray QtSerialPort::readAll()
{
    if (!m_port.isOpen())
        return {};
    m_port.waitForReadyRead(0);
    QByteArray data = m_port.readAll();
    if (!m_nullDiscard)
        return data;
    data.replace('\0', QByteArray());
    return data;
}

} // namespace dovrane
