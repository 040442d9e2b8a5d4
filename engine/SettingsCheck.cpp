#include "SettingsCheck.h"

#include "NotifySettings.h"
#include "Settings.h"

#include <QFileInfo>

namespace dovrane {

QStringList settingsProblems(const Settings& settings)
{
    const QSettings file(settings.path(), QSettings::IniFormat);
    if (file.status() == QSettings::FormatError)
        return {QStringLiteral("not in the INI format")};
    if (!QFileInfo(settings.path()).isReadable())
        return {QStringLiteral("cannot be read")};
    QStringList problems;
    problems << settings.read<NotifySettings>().problems();
    return problems;
}

} // namespace dovrane
