#include "SettingsCheck.h"

#include "DetectorSettings.h"
#include "NocSettings.h"
#include "NotifySettings.h"
#include "PresetSettings.h"
#include "Settings.h"
#include "StatusSettings.h"
#include "TrustSettings.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>

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
    problems << settings.read<NotifySettings>().problems();
    problems << settings.read<PresetSettings>().problems();
    return problems;
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
