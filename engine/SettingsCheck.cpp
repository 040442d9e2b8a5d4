#include "SettingsCheck.h"

#include "DetectorSettings.h"
#include "NocSettings.h"
#include "NotifySettings.h"
#include "PresetSettings.h"
#include "Settings.h"
#include "StatusSettings.h"
#include "TrustSettings.h"

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
    // Each section adds its own: problems << settings.read<XSettings>().problems();
    problems << settings.read<SnmpSettings>().problems();
    problems << settings.read<HeartbeatSettings>().problems();
    problems << settings.read<TrustSettings>().problems();
    problems << settings.read<DetectorSettings>().problems();
    problems << settings.read<StatusSettings>().problems();
    problems << settings.read<StatusSettings>().warnings();
    problems << settings.read<NotifySettings>().problems();
    problems << settings.read<PresetSettings>().problems();
    return problems;
}

} // namespace dovrane
