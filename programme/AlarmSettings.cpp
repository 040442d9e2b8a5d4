#include "AlarmSettings.h"

#include <QRegularExpression>
#include <QTime>

namespace dovrane {

std::optional<DateException> AlarmSettings::parseException(const QString& text)
{
    static const QRegularExpression re(QStringLiteral(
        R"(^\s*(\d{4}-\d{2}-\d{2})\s+(?:(off)|(\d{1,2}:\d{2})\s*-\s*(\d{1,2}:\d{2}))\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    DateException e;
    e.date = QDate::fromString(m.captured(1), Qt::ISODate);
    e.off = !m.captured(2).isEmpty();
    if (!e.off) {
        const QTime start = QTime::fromString(m.captured(3), QStringLiteral("H:mm"));
        const QTime stop = QTime::fromString(m.captured(4), QStringLiteral("H:mm"));
        if (!start.isValid() || !stop.isValid())
            return std::nullopt;
        e.startSecs = start.msecsSinceStartOfDay() / 1000;
        e.stopSecs = stop.msecsSinceStartOfDay() / 1000;
    }
    if (!e.date.isValid())
        return std::nullopt;
    return e;
}

QString AlarmSettings::exceptionText(const DateException& e)
{
    const QString day = e.date.toString(Qt::ISODate);
    if (e.off)
        return day + QStringLiteral(" off");
    const auto hm = [](qint32 s) {
        return QTime::fromMSecsSinceStartOfDay(s * 1000).toString(QStringLiteral("HH:mm"));
    };
    return day + QLatin1Char(' ') + hm(e.startSecs) + QLatin1Char('-') + hm(e.stopSecs);
}

std::optional<DateException> AlarmSettings::exceptionFor(const QDate& date) const
{
    for (const DateException& e : exceptions) {
        if (e.date == date)
            return e;
    }
    return std::nullopt;
}

namespace {

/// Entries that cannot be read are kept as invalid dates, so problems() names them.
QString parseExceptions(AlarmSettings& s, const QString& text)
{
    s.exceptions.clear();
    for (const QString& item : text.split(u',', Qt::SkipEmptyParts))
        s.exceptions << AlarmSettings::parseException(item).value_or(DateException{});
    return {};
}

QString formatExceptions(const AlarmSettings& s)
{
    QStringList texts;
    for (const DateException& e : s.exceptions)
        texts << AlarmSettings::exceptionText(e);
    return texts.join(QLatin1String(", "));
}

QString parseSuspendUntil(AlarmSettings& s, const QString& text)
{
    s.suspendUntil = QDateTime::fromString(text, Qt::ISODate);
    return s.suspendUntil.isValid() || text.isEmpty() ? QString()
                                                      : QStringLiteral("not a date and time");
}

QString formatSuspendUntil(const AlarmSettings& s)
{
    return s.suspendUntil.isValid() ? s.suspendUntil.toString(Qt::ISODate) : QString();
}

} // namespace

const SettingsTable<AlarmSettings>& AlarmSettings::table()
{
    using S = AlarmSettings;
    using D = DetectorSetting;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("alarms");
        t.number("band_low_hz", at<&S::bandLowHz>, 0, 22050, "Hz",
                 "Lower edge of the measured band; 0 and 0: the raw peak, as always")
            .was("bandLowHz");
        t.number("band_high_hz", at<&S::bandHighHz>, 0, 22050, "Hz",
                 "Upper edge of the measured band")
            .was("bandHighHz");
        t.flag("notch_pilot", at<&S::notchPilot>, "Leave 18.5-19.5 kHz (the stereo pilot) out")
            .was("notchPilot");
        t.flag("hum", in<&S::hum, &D::enabled>, "Raise Hum when mains hum is all there is");
        t.number("hum_delay_secs", in<&S::hum, &D::delaySecs>, 1, 86400, "s",
                 "How long hum must last")
            .was("humDelaySecs");
        t.flag("noise", in<&S::noise, &D::enabled>, "Raise Noise when only noise is left");
        t.number("noise_delay_secs", in<&S::noise, &D::delaySecs>, 1, 86400, "s",
                 "How long noise must last")
            .was("noiseDelaySecs");
        t.flag("loop", in<&S::loop, &D::enabled>, "Raise Loop when the programme repeats");
        t.number("loop_delay_secs", in<&S::loop, &D::delaySecs>, 1, 86400, "s",
                 "How long the loop must last")
            .was("loopDelaySecs");
        t.number("loop_window_secs", at<&S::loopWindowSecs>, 4, 60, "s",
                 "How far back a repeat is looked for")
            .was("loopWindowSecs");
        t.number("release_secs", at<&S::releaseSecs>, 0, 3600, "s",
                 "Sound must last this long before an alarm ends")
            .was("releaseSecs");
        t.number("cooldown_minutes", at<&S::cooldownMinutes>, 0, 1440, "min",
                 "A new alarm this soon after the last end is the same incident")
            .was("cooldownMinutes");
        t.number("max_per_hour", at<&S::maxPerHour>, 0, 3600, "",
                 "Alarm notifications per hour at most; 0: no limit")
            .was("maxPerHour");
        t.custom("exceptions", parseExceptions, formatExceptions,
                 "yyyy-MM-dd off or yyyy-MM-dd HH:mm-HH:mm, separated by commas",
                 "Dates that do not follow the weekly schedule");
        t.custom("suspend_until", parseSuspendUntil, formatSuspendUntil,
                 "yyyy-MM-ddTHH:mm:ss, at most 31 days ahead",
                 "Alarms suspended until then (for tools that edit the file and send SIGHUP)")
            .was("suspendUntil");
        return t;
    }();
    return t;
}

QStringList AlarmSettings::problems() const
{
    QStringList p;
    if ((bandLowHz != 0 || bandHighHz != 0) && bandLowHz >= bandHighHz)
        p << table()
                 .key("band_low_hz")
                 .problem(QStringLiteral("not below band_high_hz"), QString::number(bandLowHz));
    for (const DateException& e : exceptions) {
        if (!e.date.isValid())
            p << table()
                     .key("exceptions")
                     .problem(QStringLiteral("one cannot be read"), formatExceptions(*this));
    }
    if (suspendUntil > QDateTime::currentDateTime().addDays(kMaxSuspendDays))
        p << table()
                 .key("suspend_until")
                 .problem(QStringLiteral("more than %1 days ahead").arg(kMaxSuspendDays),
                          suspendUntil.toString(Qt::ISODate));
    return p;
}

} // namespace dovrane
