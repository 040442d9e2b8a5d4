#include "InputChoice.h"

#include "AudioInput.h"

#include <QFileInfo>
#include <QSettings>

namespace dovrane::InputChoice {

void remember(const QString& settingsPath, const AudioInput& input, int index)
{
    if (index < 0 || index >= input.deviceCount())
        return;
    QSettings settings(settingsPath, QSettings::IniFormat);
    settings.setValue(QStringLiteral("input/device_name"), input.deviceName(index));
    settings.setValue(QStringLiteral("input/device_id"), input.deviceId(index));
}

int resolve(const QString& settingsPath, const AudioInput& input, int stored, QString* explanation)
{
    if (!QFileInfo::exists(settingsPath) || input.deviceCount() == 0)
        return stored;
    const QSettings settings(settingsPath, QSettings::IniFormat);
    const QString id = settings.value(QStringLiteral("input/device_id")).toString();
    const QString name = settings.value(QStringLiteral("input/device_name")).toString();
    if (id.isEmpty() || input.deviceId(stored) == id)
        return stored;
    const QString there = input.deviceName(stored).isEmpty()
                              ? QStringLiteral("no device")
                              : QStringLiteral("\"%1\"").arg(input.deviceName(stored));
    for (int i = 0; i < input.deviceCount(); ++i) {
        if (input.deviceId(i) == id) {
            *explanation = QStringLiteral("Input device changed: device %1 is now %2; monitoring "
                                          "\"%3\" (now device %4) as chosen in Preferences")
                               .arg(stored)
                               .arg(there, name)
                               .arg(i);
            return i;
        }
    }
    *explanation = QStringLiteral("Input device changed: \"%1\" chosen in Preferences is gone; "
                                  "device %2 is %3")
                       .arg(name)
                       .arg(stored)
                       .arg(there);
    return stored;
}

} // namespace dovrane::InputChoice
