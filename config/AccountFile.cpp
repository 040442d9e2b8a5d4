#include "AccountFile.h"

#include "AppState.h"
#include "DelimitedReader.h"
#include "SettingsTextFile.h"

#include <QFile>

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
    return writeSettingsLines(path, {facility, userName, password},
                              QFile::ReadOwner | QFile::WriteOwner, errorText);
}

} // namespace dovrane::AccountFile
