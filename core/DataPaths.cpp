#include "DataPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>
#include <sys/stat.h>

namespace dovrane {

bool DataPaths::makeFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !makeFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(clean).constData(), S_IRWXU) == 0 ||
           (errno == EEXIST && QFileInfo(clean).isDir());
}

DataPaths DataPaths::fromEnvironment()
{
    const QString overridden = qEnvironmentVariable("DOVRANE_DATA_DIR");
    if (!overridden.isEmpty())
        return DataPaths(overridden);
#ifdef Q_OS_WIN
    return DataPaths(QStringLiteral("C:/Dovrane"));
#else
    QString base = qEnvironmentVariable("XDG_DATA_HOME");
    if (base.isEmpty())
        base = QDir::homePath() + QStringLiteral("/.local/share");
    return DataPaths(base + QStringLiteral("/Dovrane"));
#endif
}

DataPaths::DataPaths(QString dataDir) : m_dataDir(QDir::cleanPath(dataDir)) {}

QString DataPaths::logsDir() const
{
    // A folder copied from an older installation may spell it "Logs"; that one
    // holds the history, so it is used rather than a second folder beside it.
    QString lower = file(QStringLiteral("logs"));
    QString capital = file(QStringLiteral("Logs"));
    if (!QFileInfo(lower).isDir() && QFileInfo(capital).isDir())
        return capital;
    return lower;
}

QString DataPaths::file(const QString& name) const
{
    return m_dataDir + QLatin1Char('/') + name;
}

QString DataPaths::serialDevice(int portNumber) const
{
    QString link = file(QStringLiteral("COM%1").arg(portNumber));
    if (QFileInfo::exists(link) || QFileInfo(link).isSymLink())
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

} // namespace dovrane
