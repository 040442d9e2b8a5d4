#include "InputChoice.h"

#include "AudioInput.h"

#include <QFileInfo>

namespace dovrane {

const SettingsTable<InputSettings>& InputSettings::table()
{
    using S = InputSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("input");
        t.text("device_name", at<&S::deviceName>, "The input chosen in Preferences, by name");
        t.text("device_id", at<&S::deviceId>, "The same input by the sound server's id");
        return t;
    }();
    return t;
}

} // namespace dovrane

namespace dovrane::InputChoice {

void remember(const QString& settingsPath, const AudioInput& input, int index)
{
    if (index < 0 || index >= input.deviceCount())
        return;
    std::optional<IniFile> file = IniFile::read(settingsPath);
    if (!file)
        return;
    InputSettings::table().save({input.deviceName(index), input.deviceId(index)}, *file);
    file->save(settingsPath, nullptr);
}

int resolve(const QString& settingsPath, const AudioInput& input, int stored, QString* explanation)
{
    if (!QFileInfo::exists(settingsPath) || input.deviceCount() == 0)
        return stored;
    const std::optional<IniFile> file = IniFile::read(settingsPath);
    const InputSettings chosen =
        file ? InputSettings::table().load(*file, nullptr) : InputSettings{};
    const QString& id = chosen.deviceId;
    const QString& name = chosen.deviceName;
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
