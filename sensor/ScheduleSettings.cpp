#include "ScheduleSettings.h"

namespace dovrane {

namespace {

QString parseResume(ScheduleSettings& s, const QString& text)
{
    if (text.trimmed().isEmpty()) {
        s.resumeInWindow.reset();
        return {};
    }
    s.resumeInWindow = parseFlag(text);
    return s.resumeInWindow ? QString() : QStringLiteral("neither yes nor no");
}

QString formatResume(const ScheduleSettings& s)
{
    return !s.resumeInWindow   ? QString()
           : *s.resumeInWindow ? QStringLiteral("yes")
                               : QStringLiteral("no");
}

} // namespace

const SettingsTable<ScheduleSettings>& ScheduleSettings::table()
{
    using S = ScheduleSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("schedule");
        t.flag("around_the_clock", at<&S::aroundTheClock>,
               "Monitor every day, all day, whatever the weekly schedule says");
        t.custom("resume_in_window", parseResume, formatResume, "yes, no, or empty",
                 "Started inside a scheduled window, monitor at once (empty: yes headless, no "
                 "in the window program)");
        return t;
    }();
    return t;
}

} // namespace dovrane
