#include "SettingsTextFile.h"

#include "TextField.h"
#include "TimeOfDay.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>

namespace dovrane {

bool writeSettingsLines(const QString& path, const QStringList& lines,
                        QFileDevice::Permissions permissions, QString* errorText)
{
    QByteArray content;
    for (const QString& line : lines)
        content += TextField::encode(line) + "\r\n";

    // A new file is created empty first with its permissions, which the save then
    // keeps, so a password file is never readable by others, not even for a moment.
    if (!QFile::exists(path)) {
        QFile fresh(path);
        if (fresh.open(QIODevice::WriteOnly))
            fresh.setPermissions(permissions);
    }
    QSaveFile file(path);
    file.setDirectWriteFallback(true);
    errno = 0;
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok)
        ok = file.write(content) == content.size() && file.commit();
    if (!ok && errorText) {
        const int err = errno;
        *errorText = err != 0
                         ? systemErrorText(err)
                         : QStringLiteral("%1 %2").arg(int(file.error())).arg(file.errorString());
    }
    if (!ok)
        file.cancelWriting();
    return ok;
}

} // namespace dovrane
