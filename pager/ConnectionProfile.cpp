#include "ConnectionProfile.h"

#include "DelimitedReader.h"
#include "SerialProfile.h"
#include "SettingsTextFile.h"

#include <QFile>

#include <limits>

namespace dovrane::ConnectionProfile {

bool read(const QString& path, SerialProfile& profile, QString* why)
{
    auto fail = [why](const QString& reason) {
        if (why)
            *why = reason;
        return false;
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return fail(file.errorString());
    const QByteArray content = file.readAll();
    file.close();
    if (content.isEmpty())
        return fail(QStringLiteral("the file is empty"));
    DelimitedReader reader(content);
    const std::optional<qint64> port = reader.nextNumber();
    if (!port || *port < std::numeric_limits<qint16>::min() ||
        *port > std::numeric_limits<qint16>::max())
        return fail(QStringLiteral("the first line is not a port number"));
    profile.setComPort(static_cast<qint16>(*port));
    // The rate is the whole second line: "9600,N,8,1" stays as it is, and the call
    // that uses it fails with its error instead of quietly dialling at 9600.
    const std::optional<QString> rate = reader.nextLine();
    if (!rate)
        return fail(QStringLiteral("there is no baud rate line"));
    profile.setBaudRate(*rate);
    return true;
}

bool write(const QString& path, int comPort, const QString& baudRate, QString* errorText)
{
    // Numeric print style: a blank for the sign, the digits, a trailing blank.
    const QString portText =
        comPort < 0 ? QStringLiteral("%1 ").arg(comPort) : QStringLiteral(" %1 ").arg(comPort);
    return writeSettingsLines(
        path, {portText, baudRate},
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther, errorText);
}

} // namespace dovrane::ConnectionProfile
