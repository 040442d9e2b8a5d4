#include "AccountFile.h"

#include "Account.h"
#include "DelimitedReader.h"
#include "SettingsTextFile.h"

#include <QFile>
#include <QFileInfo>

namespace dovrane::AccountFile {

bool read(const QString& path, Account& account)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    DelimitedReader reader(file.readAll());
    file.close();
    QString values[] = {account.facility(), account.userName(), account.password()};
    for (QString& value : values) {
        // Whole lines: "WXYZ Radio, Studio 1" is one facility name.
        const std::optional<QString> field = reader.nextLine();
        if (!field)
            break;
        value = *field;
    }
    account.set(values[0], values[1], values[2]);
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
                             const QString& password, Account& account)
{
    account.set(facility, userName, password);
    QString error;
    if (!write(path, facility, userName, password, &error))
        return error;
    return std::nullopt;
}

} // namespace dovrane::AccountFile
