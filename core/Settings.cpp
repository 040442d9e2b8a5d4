#include "Settings.h"

#include <QFile>

namespace dovrane {

bool Settings::finish(QSettings& file, QString* why)
{
    file.sync();
    if (file.status() != QSettings::NoError) {
        if (why)
            *why = QStringLiteral("%1 cannot be written").arg(file.fileName());
        return false;
    }
    QFile::setPermissions(file.fileName(), QFile::ReadOwner | QFile::WriteOwner);
    return true;
}

} // namespace dovrane
