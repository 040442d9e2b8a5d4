#include "SettingsSections.h"

#include "AlarmSettings.h"
#include "DetectorSettings.h"
#include "InputChoice.h"
#include "NamedInputSettings.h"
#include "NocSettings.h"
#include "NotifySettings.h"
#include "PresetSettings.h"
#include "ScheduleSettings.h"
#include "Settings.h"
#include "StatusSettings.h"
#include "WindowSettings.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

namespace dovrane {

void declareSections(Settings& settings)
{
    // In the order of the README's tables.
    settings.declare<StatusSettings>();
    settings.declare<NotifySettings>();
    settings.declare<PresetSettings>();
    settings.declare<AlarmSettings>();
    settings.declare<DetectorSettings>();
    settings.declare<SnmpSettings>();
    settings.declare<HeartbeatSettings>();
    settings.declare<ScheduleSettings>();
    settings.declare<InputSettings>();
    settings.declare<WindowSettings>();
    settings.declareFamily<NamedInputSettings>("input");
}

QString secretsExposed(const QString& path)
{
    const QFileInfo info(path);
    if (!info.exists() || !(info.permissions() & (QFile::ReadGroup | QFile::ReadOther)))
        return {};
    // Addresses count too: a chat webhook's or heartbeat's path is its password.
    static const QRegularExpression secret(
        QStringLiteral("(token|password|secret|community|webhooks|_address|url)$"));
    const QSettings file(path, QSettings::IniFormat);
    QStringList held;
    for (const QString& key : file.allKeys()) {
        if (!secret.match(key).hasMatch() || file.value(key).toString().trimmed().isEmpty())
            continue;
        const qsizetype slash = key.indexOf(QLatin1Char('/'));
        held << (slash < 0 ? key
                           : QStringLiteral("[%1] %2").arg(key.left(slash), key.mid(slash + 1)));
    }
    if (held.isEmpty())
        return {};
    return QStringLiteral("other users can read it, and it holds secrets: %1 (chmod 600 it)")
        .arg(held.join(QStringLiteral(", ")));
}

} // namespace dovrane
