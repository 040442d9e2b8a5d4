#include "ScheduleSettings.h"

namespace dovrane {

std::optional<bool> readYesNo(const QSettings& file, const QString& key, QStringList* problems)
{
    if (!file.contains(key))
        return std::nullopt;
    const QString value = file.value(key).toString().trimmed().toLower();
    for (const char* yes : {"yes", "true", "on", "1"})
        if (value == QLatin1String(yes))
            return true;
    for (const char* no : {"no", "false", "off", "0"})
        if (value == QLatin1String(no))
            return false;
    const QString section = key.section(QLatin1Char('/'), 0, 0);
    problems->append(QStringLiteral("[%1] %2: %3 is neither yes nor no")
                         .arg(section, key.section(QLatin1Char('/'), 1), value));
    return std::nullopt;
}

ScheduleSettings ScheduleSettings::load(const QSettings& file)
{
    ScheduleSettings s;
    s.aroundTheClock =
        readYesNo(file, QStringLiteral("schedule/around_the_clock"), &s.unreadable).value_or(false);
    s.resumeInWindow = readYesNo(file, QStringLiteral("schedule/resume_in_window"), &s.unreadable);
    return s;
}

void ScheduleSettings::save(QSettings& file) const
{
    const auto yesNo = [](bool on) { return on ? QStringLiteral("yes") : QStringLiteral("no"); };
    file.setValue(QStringLiteral("schedule/around_the_clock"), yesNo(aroundTheClock));
    if (resumeInWindow)
        file.setValue(QStringLiteral("schedule/resume_in_window"), yesNo(*resumeInWindow));
    else
        file.remove(QStringLiteral("schedule/resume_in_window"));
}

} // namespace dovrane
