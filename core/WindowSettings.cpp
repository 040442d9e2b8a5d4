#include "WindowSettings.h"

#include <QFileInfo>

namespace dovrane {

namespace {

bool means(const QString& value, const char* word)
{
    return value.compare(QLatin1String(word), Qt::CaseInsensitive) == 0;
}

} // namespace

const SettingsTable<WindowSettings>& WindowSettings::table()
{
    using S = WindowSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("window");
        t.text("alarm_sound", at<&S::alarmSound>,
               "Sound while an alarm waits for acknowledgement in the window")
            .accepts("no, yes (the desktop's beep) or a sound file");
        return t;
    }();
    return t;
}

bool WindowSettings::silent() const
{
    return alarmSound.trimmed().isEmpty() || means(alarmSound.trimmed(), "no");
}

bool WindowSettings::beep() const
{
    return means(alarmSound.trimmed(), "yes");
}

QStringList WindowSettings::problems() const
{
    if (silent() || beep())
        return {};
    const QFileInfo file(alarmSound.trimmed());
    if (!file.isFile() || !file.isReadable())
        return {table()
                    .key("alarm_sound")
                    .problem(QStringLiteral("not a sound file that can be read"), alarmSound)};
    return {};
}

} // namespace dovrane
