#include "WindowSettings.h"

#include <QFileInfo>

namespace dovrane {

namespace {

const QString kAlarmSound = QStringLiteral("window/alarm_sound");

bool means(const QString& value, const char* word)
{
    return value.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

} // namespace

WindowSettings WindowSettings::load(const QSettings& file)
{
    WindowSettings s;
    s.alarmSound = file.value(kAlarmSound).toString().trimmed();
    return s;
}

void WindowSettings::save(QSettings& file) const
{
    if (alarmSound.isEmpty())
        file.remove(kAlarmSound);
    else
        file.setValue(kAlarmSound, alarmSound);
}

bool WindowSettings::silent() const
{
    return alarmSound.isEmpty() || means(alarmSound, "no");
}

bool WindowSettings::beep() const
{
    return means(alarmSound, "yes");
}

QStringList WindowSettings::problems() const
{
    if (silent() || beep())
        return {};
    const QFileInfo file(alarmSound);
    if (!file.isFile() || !file.isReadable())
        return {QStringLiteral("[window] alarm_sound: \"%1\" is neither yes, no nor a sound "
                               "file that can be read")
                    .arg(alarmSound)};
    return {};
}

} // namespace dovrane
