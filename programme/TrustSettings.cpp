#include "TrustSettings.h"

#include <QRegularExpression>
#include <QTime>

namespace dovrane {

namespace {

const QString kGroup = QStringLiteral("alarms/");

DetectorSetting loadDetector(const QSettings& file, const QString& name, int delaySecs = 30)
{
    DetectorSetting d;
    d.delaySecs = delaySecs;
    d.enabled = file.value(kGroup + name, false).toBool();
    d.delaySecs = file.value(kGroup + name + QStringLiteral("DelaySecs"), d.delaySecs).toInt();
    return d;
}

void saveDetector(QSettings& file, const QString& name, const DetectorSetting& d)
{
    file.setValue(kGroup + name, d.enabled);
    file.setValue(kGroup + name + QStringLiteral("DelaySecs"), d.delaySecs);
}

} // namespace

std::optional<DateException> TrustSettings::parseException(const QString& text)
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

QString TrustSettings::exceptionText(const DateException& e)
{
    const QString day = e.date.toString(Qt::ISODate);
    if (e.off)
        return day + QStringLiteral(" off");
    const auto hm = [](qint32 s) {
        return QTime::fromMSecsSinceStartOfDay(s * 1000).toString(QStringLiteral("HH:mm"));
    };
    return day + QLatin1Char(' ') + hm(e.startSecs) + QLatin1Char('-') + hm(e.stopSecs);
}

std::optional<DateException> TrustSettings::exceptionFor(const QDate& date) const
{
    for (const DateException& e : exceptions) {
        if (e.date == date)
            return e;
    }
    return std::nullopt;
}

TrustSettings TrustSettings::load(const QSettings& file)
{
    TrustSettings s;
    s.bandLowHz = file.value(kGroup + QStringLiteral("bandLowHz"), 0).toInt();
    s.bandHighHz = file.value(kGroup + QStringLiteral("bandHighHz"), 0).toInt();
    s.notchPilot = file.value(kGroup + QStringLiteral("notchPilot"), true).toBool();
    s.hum = loadDetector(file, QStringLiteral("hum"));
    s.noise = loadDetector(file, QStringLiteral("noise"));
    // Electronic music repeats identical bars for half a minute and more; a stuck
    // player is told after a minute.
    s.loop = loadDetector(file, QStringLiteral("loop"), 60);
    s.loopWindowSecs = file.value(kGroup + QStringLiteral("loopWindowSecs"), 20).toInt();
    s.releaseSecs = file.value(kGroup + QStringLiteral("releaseSecs"), 0).toInt();
    s.cooldownMinutes = file.value(kGroup + QStringLiteral("cooldownMinutes"), 0).toInt();
    s.maxPerHour = file.value(kGroup + QStringLiteral("maxPerHour"), 0).toInt();
    // Bad entries are kept as invalid dates, so problems() can name them.
    for (const QString& text : file.value(kGroup + QStringLiteral("exceptions")).toStringList())
        s.exceptions << parseException(text).value_or(DateException{});
    s.suspendUntil = QDateTime::fromString(
        file.value(kGroup + QStringLiteral("suspendUntil")).toString(), Qt::ISODate);
    return s;
}

void TrustSettings::save(QSettings& file) const
{
    file.setValue(kGroup + QStringLiteral("bandLowHz"), bandLowHz);
    file.setValue(kGroup + QStringLiteral("bandHighHz"), bandHighHz);
    file.setValue(kGroup + QStringLiteral("notchPilot"), notchPilot);
    saveDetector(file, QStringLiteral("hum"), hum);
    saveDetector(file, QStringLiteral("noise"), noise);
    saveDetector(file, QStringLiteral("loop"), loop);
    file.setValue(kGroup + QStringLiteral("loopWindowSecs"), loopWindowSecs);
    file.setValue(kGroup + QStringLiteral("releaseSecs"), releaseSecs);
    file.setValue(kGroup + QStringLiteral("cooldownMinutes"), cooldownMinutes);
    file.setValue(kGroup + QStringLiteral("maxPerHour"), maxPerHour);
    QStringList texts;
    for (const DateException& e : exceptions)
        texts << exceptionText(e);
    file.setValue(kGroup + QStringLiteral("exceptions"), texts);
    if (suspendUntil.isValid())
        file.setValue(kGroup + QStringLiteral("suspendUntil"), suspendUntil.toString(Qt::ISODate));
    else
        file.remove(kGroup + QStringLiteral("suspendUntil"));
}

QStringList TrustSettings::problems() const
{
    QStringList p;
    if (bandLowHz != 0 || bandHighHz != 0) {
        if (bandLowHz < 0 || bandHighHz > 22050 || bandLowHz >= bandHighHz)
            p << QStringLiteral("[alarms] bandLowHz and bandHighHz: a band within 0-22050 Hz, "
                                "low below high");
    }
    const auto delay = [&p](const char* name, const DetectorSetting& d) {
        if (d.delaySecs < 1 || d.delaySecs > 86400)
            p << QStringLiteral("[alarms] %1DelaySecs: 1 to 86400 seconds")
                     .arg(QLatin1String(name));
    };
    delay("hum", hum);
    delay("noise", noise);
    delay("loop", loop);
    if (loopWindowSecs < 4 || loopWindowSecs > 60)
        p << QStringLiteral("[alarms] loopWindowSecs: 4 to 60 seconds");
    if (releaseSecs < 0 || releaseSecs > 3600)
        p << QStringLiteral("[alarms] releaseSecs: 0 to 3600 seconds");
    if (cooldownMinutes < 0 || cooldownMinutes > 1440)
        p << QStringLiteral("[alarms] cooldownMinutes: 0 to 1440 minutes");
    if (maxPerHour < 0)
        p << QStringLiteral("[alarms] maxPerHour: 0 (no limit) or more");
    for (const DateException& e : exceptions) {
        if (!e.date.isValid())
            p << QStringLiteral("[alarms] exceptions: each \"yyyy-MM-dd off\" or "
                                "\"yyyy-MM-dd HH:mm-HH:mm\"");
    }
    return p;
}

} // namespace dovrane
