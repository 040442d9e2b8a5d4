#include "ConnectionProfile.h"

#include "DelimitedReader.h"
#include "SerialProfile.h"
#include "SettingsTextFile.h"

#include <QFile>

#include <limits>

namespace dovrane::ConnectionProfile {

bool read(const QString& path, SerialProfile& profile)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    DelimitedReader reader(file.readAll());
    file.close();
    const std::optional<qint64> port = reader.nextNumber();
    if (!port || *port < std::numeric_limits<qint16>::min() ||
        *port > std::numeric_limits<qint16>::max())
        return false;
    profile.setComPort(static_cast<qint16>(*port));
    const std::optional<QString> rate = reader.nextField();
    if (!rate)
        return false;
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
