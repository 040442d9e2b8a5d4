#pragma once

#include <QString>

namespace dovrane {

/// Where Dovrane keeps its files: DOVRANE_DATA_DIR when set, else
/// $XDG_DATA_HOME/Dovrane (~/.local/share/Dovrane); C:\Dovrane on Windows.
class DataPaths
{
public:
    /// The folder named by the environment (see above).
    [[nodiscard]] static DataPaths fromEnvironment();
    /// Makes path and every missing folder above it, each readable by its owner
    /// only (0700): the alarm logs, clips and outbox name stations, numbers and
    /// addresses. A folder that exists keeps its mode. False when path cannot be made.
    static bool makeFolder(const QString& path);
    explicit DataPaths(QString dataDir);

    [[nodiscard]] QString dataDir() const { return m_dataDir; }
    /// The one log folder: "logs", or "Logs" when only that spelling exists.
    [[nodiscard]] QString logsDir() const;
    [[nodiscard]] QString file(const QString& name) const;

    [[nodiscard]] QString paramsFile() const { return file(QStringLiteral("DVParams.dat")); }
    [[nodiscard]] QString connectionFile() const { return file(QStringLiteral("Connection.dat")); }
    [[nodiscard]] QString callListFile() const { return file(QStringLiteral("CallList.dat")); }
    [[nodiscard]] QString addressBookFile() const
    {
        return file(QStringLiteral("AddressBook.dat"));
    }
    [[nodiscard]] QString userFile() const { return file(QStringLiteral("User.dat")); }
    /// Dovrane's own settings, for what goes beyond the data files above.
    [[nodiscard]] QString settingsFile() const { return file(QStringLiteral("Dovrane.ini")); }

    /// Device for serial port number n: "<data folder>/COMn" when that path exists
    /// (usually a link to a device), otherwise /dev/ttyS<n-1>.
    [[nodiscard]] QString serialDevice(int portNumber) const;

private:
    QString m_dataDir;
};

} // namespace dovrane
