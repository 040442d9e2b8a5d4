#include "AccountFile.h"

#include "AppState.h"
#include "DelimitedReader.h"
#include "SettingsTextFile.h"

#include <QFile>
#include <QFileInfo>

namespace dovrane::AccountFile {

bool read(const QString& path, AppState& state)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    DelimitedReader reader(file.readAll());
    file.close();
    for (QString* target : {&state.Facility, &state.UserName, &state.Password}) {
        const std::optional<QString> field = reader.nextField();
        if (!field)
            break;
        *target = *field;
    }
    return true;
}

bool write(const QString& path, const QString& facility, const QString& userName,
           const QString& password, QString* errorText)
{
    constexpr QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner;
    // A file made by hand may be readable by others; the replacement keeps the
    // permissions of the file it replaces, so tighten them first.
    constexpr QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                          QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    const QFileInfo existing(path);
    if (existing.isFile() && (existing.permissions() & others))
        QFile::setPermissions(path, ownerOnly);
    return writeSettingsLines(path, {facility, userName, password}, ownerOnly, errorText);
}

std::optional<QString> apply(const QString& path, const QString& facility, const QString& userName,
                             const QString& password, AppState& state)
{
    state.Facility = facility;
    state.UserName = userName;
    state.Password = password;
    QString error;
    if (!write(path, facility, userName, password, &error))
        return error;
    return std::nullopt;
}

} // namespace dovrane::AccountFile
