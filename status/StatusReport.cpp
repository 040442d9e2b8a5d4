#include "StatusReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

namespace dovrane {

namespace {

QString timeOfDay(qint32 seconds)
{
    return QTime::fromMSecsSinceStartOfDay(std::clamp(seconds, 0, 86399) * 1000)
        .toString(QStringLiteral("HH:mm:ss"));
}

/// A label value with backslash, quote and line feed escaped.
QByteArray label(const QString& value)
{
    QByteArray out = value.toUtf8();
    out.replace('\\', "\\\\").replace('"', "\\\"").replace('\n', "\\n");
    return out;
}

class Exposition
{
public:
    void family(const char* name, const char* type, const char* help)
    {
        m_text +=
            QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
    }
    void sample(const char* name, double value, const QByteArray& labels = {})
    {
        m_text += name;
        if (!labels.isEmpty())
            m_text += '{' + labels + '}';
        m_text += ' ';
        if (std::isinf(value))
            m_text += value < 0 ? "-Inf" : "+Inf";
        else
            m_text += QByteArray::number(value, 'g', 15);
        m_text += '\n';
    }
    void gauge(const char* name, const char* help, double value)
    {
        family(name, "gauge", help);
        sample(name, value);
    }
    void counter(const char* name, const char* help, quint64 value)
    {
        family(name, "counter", help);
        sample(name, static_cast<double>(value));
    }
    [[nodiscard]] QByteArray text() const { return m_text; }

private:
    QByteArray m_text;
};

QJsonValue isoOrNull(const std::optional<QDateTime>& moment)
{
    return moment && moment->isValid() ? QJsonValue(moment->toString(Qt::ISODate))
                                       : QJsonValue(QJsonValue::Null);
}

} // namespace

QString StatusFacts::state() const
{
    if (inputLost && monitoring)
        return QStringLiteral("INPUT LOST");
    if (alarm)
        return QStringLiteral("ALARM");
    if (monitoring)
        return suspendedUntil.isValid() ? QStringLiteral("SUSPENDED")
                                        : QStringLiteral("MONITORING");
    // Stopped by hand, or a start that failed, while the schedule says to listen:
    // never the calm IDLE of a station off duty.
    return windowActive ? QStringLiteral("NOT MONITORING (scheduled window)")
                        : QStringLiteral("IDLE");
}

std::optional<double> peakDbfs(qint16 peak)
{
    if (peak == 0)
        return std::nullopt;
    return 20.0 * std::log10(std::abs(static_cast<double>(peak)) / 32768.0);
}

QString withoutContacts(const QString& line)
{
    static const QRegularExpression address(QStringLiteral("\\S+@\\S+"));
    static const QRegularExpression number(QStringLiteral("\\+?\\d[\\d ,*#()./-]{3,}\\d"));
    QString out = line.mid(9); // after "hh:mm:ss "
    out.replace(address, QStringLiteral("[address]")).replace(number, QStringLiteral("[number]"));
    return line.left(9) + out;
}

QByteArray metricsText(const StatusFacts& f)
{
    Exposition e;
    e.gauge("dovrane_monitoring", "1 while the input is monitored for silence.", f.monitoring);
    e.gauge("dovrane_alarm_active", "1 while the silence alarm is raised.", f.alarm);
    e.gauge("dovrane_input_lost", "1 while the sound input is lost.", f.inputLost);
    e.gauge("dovrane_schedule_window_active",
            "1 while the weekly schedule says the input should be monitored.", f.windowActive);
    e.gauge("dovrane_not_monitoring_in_window",
            "1 while the schedule says the input should be monitored and it is not.",
            f.notMonitoringInWindow);
    e.gauge("dovrane_alarm_acknowledged", "1 while the alarm under way has been acknowledged.",
            f.acknowledged);
    e.gauge("dovrane_alarms_suspended", "1 while alarms are suspended for maintenance.",
            f.suspendedUntil.isValid());
    if (f.suspendedUntil.isValid())
        e.gauge("dovrane_alarms_suspended_until_timestamp_seconds",
                "Unix time when suspended alarms come back.",
                static_cast<double>(f.suspendedUntil.toSecsSinceEpoch()));
    e.family("dovrane_fault_active", "gauge", "1 while a fault beside silence lasts, by kind.");
    for (const char* kind :
         {"input_lost", "channel_loss", "phase_reversed", "hum", "noise", "loop"})
        e.sample("dovrane_fault_active", f.activeFaults.contains(QLatin1String(kind)),
                 QByteArray("kind=\"") + kind + '"');
    e.gauge("dovrane_outbox_pending", "Notifications waiting in the outbox to go out.",
            f.outboxPending);
    e.counter("dovrane_outbox_lost_total", "Notifications the outbox gave up on.",
              quint64(std::max(0, f.outboxLost)));
    if (f.humDbfs)
        e.gauge("dovrane_hum_dbfs", "Mains hum under the programme in dBFS (lowest of 10 s).",
                *f.humDbfs);
    e.gauge("dovrane_silence_seconds", "Seconds of silence at the last alarm tick.", f.silenceSecs);
    e.family("dovrane_level_dbfs", "gauge", "Peak of the last captured buffer in dBFS.");
    e.sample("dovrane_level_dbfs", peakDbfs(f.peakLeft).value_or(-INFINITY), "channel=\"left\"");
    e.sample("dovrane_level_dbfs", peakDbfs(f.peakRight).value_or(-INFINITY), "channel=\"right\"");
    e.counter("dovrane_buffers_total", "Sound buffers captured.", f.buffers);
    e.counter("dovrane_capture_errors_total", "Times the sound input was lost.", f.captureErrors);
    e.counter("dovrane_alarms_total", "Silence alarms raised.", f.alarms);
    e.family("dovrane_notifications_total", "counter",
             "Notifications attempted, by path and result.");
    for (auto it = f.notifications.cbegin(); it != f.notifications.cend(); ++it)
        e.sample("dovrane_notifications_total", static_cast<double>(it.value()),
                 "path=\"" + label(it.key().first) + "\",result=\"" + label(it.key().second) + '"');
    if (f.lastAlarm.isValid())
        e.gauge("dovrane_last_alarm_timestamp_seconds", "Unix time of the last silence alarm.",
                static_cast<double>(f.lastAlarm.toSecsSinceEpoch()));
    e.family("dovrane_next_schedule_change_seconds", "gauge",
             "Seconds until the weekly schedule next starts or stops monitoring.");
    if (f.nextStart)
        e.sample("dovrane_next_schedule_change_seconds",
                 static_cast<double>(f.now.secsTo(*f.nextStart)), "change=\"start\"");
    if (f.nextStop)
        e.sample("dovrane_next_schedule_change_seconds",
                 static_cast<double>(f.now.secsTo(*f.nextStop)), "change=\"stop\"");
    e.gauge("dovrane_status_listening",
            "1 while this station holds its status port; 0 while it tries to get it back.",
            f.statusListening);
    if (!f.inputs.isEmpty()) {
        // The main input's series above stay as they are; the named inputs get their
        // own, with the input's name as a label.
        const auto perInput = [&](const char* name, const char* help, auto value) {
            e.family(name, "gauge", help);
            for (const InputFacts& i : f.inputs)
                e.sample(name, double(value(i)), "input=\"" + label(i.name) + '"');
        };
        perInput("dovrane_input_watched", "1 while the named input is watched.",
                 [](const InputFacts& i) { return i.watched; });
        perInput("dovrane_input_up", "1 while the named input's source delivers (0: stream down).",
                 [](const InputFacts& i) { return i.up; });
        perInput("dovrane_input_alarm_active", "1 while the named input's silence alarm is raised.",
                 [](const InputFacts& i) { return i.alarm; });
        perInput("dovrane_input_silence_seconds", "Seconds of silence on the named input.",
                 [](const InputFacts& i) { return i.silenceSecs; });
        e.family("dovrane_input_level_dbfs", "gauge", "Peak of the named input's last buffer.");
        for (const InputFacts& i : f.inputs)
            for (const auto& [channel, peak] :
                 {std::pair("left", i.peakLeft), std::pair("right", i.peakRight)})
                e.sample("dovrane_input_level_dbfs", peakDbfs(peak).value_or(-INFINITY),
                         "input=\"" + label(i.name) + "\",channel=\"" + channel + '"');
        e.family("dovrane_input_fault_active", "gauge",
                 "1 while a fault of the named input lasts, by kind.");
        for (const InputFacts& i : f.inputs)
            for (const char* kind : {"stream_down", "input_lost", "channel_loss", "phase_reversed"})
                e.sample("dovrane_input_fault_active", i.activeFaults.contains(QLatin1String(kind)),
                         "input=\"" + label(i.name) + "\",kind=\"" + kind + '"');
    }
    e.family("dovrane_build_info", "gauge", "Always 1; the version is in the label.");
    e.sample("dovrane_build_info", 1, "version=\"" + label(f.version) + '"');
    return e.text();
}

QByteArray statusJson(const StatusFacts& f)
{
    const auto level = [](qint16 peak) {
        const std::optional<double> db = peakDbfs(peak);
        return db ? QJsonValue(std::round(*db * 10) / 10) : QJsonValue(QJsonValue::Null);
    };
    QJsonArray notifications;
    for (auto it = f.notifications.cbegin(); it != f.notifications.cend(); ++it)
        notifications.append(QJsonObject{{QStringLiteral("path"), it.key().first},
                                         {QStringLiteral("result"), it.key().second},
                                         {QStringLiteral("count"), double(it.value())}});
    QJsonObject schedule{{QStringLiteral("today"), f.windowToday},
                         {QStringLiteral("windowActive"), f.windowActive},
                         {QStringLiteral("nextStart"), isoOrNull(f.nextStart)},
                         {QStringLiteral("nextStop"), isoOrNull(f.nextStop)}};
    if (f.windowToday) {
        schedule.insert(QStringLiteral("start"), timeOfDay(f.todayStart));
        schedule.insert(QStringLiteral("stop"), timeOfDay(f.todayStop));
    }
    QJsonObject root{
        {QStringLiteral("facility"), f.facility},
        {QStringLiteral("version"), f.version},
        {QStringLiteral("now"), f.now.toString(Qt::ISODate)},
        {QStringLiteral("state"), f.state()},
        {QStringLiteral("monitoring"), f.monitoring},
        {QStringLiteral("notMonitoringInWindow"), f.notMonitoringInWindow},
        {QStringLiteral("alarmActive"), f.alarm},
        {QStringLiteral("inputLost"), f.inputLost},
        {QStringLiteral("silenceSeconds"), f.silenceSecs},
        {QStringLiteral("levelDbfs"), QJsonObject{{QStringLiteral("left"), level(f.peakLeft)},
                                                  {QStringLiteral("right"), level(f.peakRight)}}},
        {QStringLiteral("buffersTotal"), double(f.buffers)},
        {QStringLiteral("captureErrorsTotal"), double(f.captureErrors)},
        {QStringLiteral("alarmsTotal"), double(f.alarms)},
        {QStringLiteral("notifications"), notifications},
        {QStringLiteral("lastAlarm"), isoOrNull(f.lastAlarm)},
        {QStringLiteral("schedule"), schedule},
        {QStringLiteral("log"), QJsonArray::fromStringList(f.logTail)},
        {QStringLiteral("suspendedUntil"),
         isoOrNull(f.suspendedUntil.isValid() ? std::optional(f.suspendedUntil) : std::nullopt)},
        {QStringLiteral("acknowledged"), f.acknowledged},
        {QStringLiteral("outbox"), QJsonObject{{QStringLiteral("pending"), f.outboxPending},
                                               {QStringLiteral("lost"), f.outboxLost}}},
        {QStringLiteral("activeFaults"), QJsonArray::fromStringList(f.activeFaults)},
        {QStringLiteral("latestClips"), QJsonArray::fromStringList(f.latestClips)},
        {QStringLiteral("statusListening"), f.statusListening},
    };
    if (f.humDbfs)
        root.insert(QStringLiteral("humDbfs"),
                    std::isfinite(*f.humDbfs) ? QJsonValue(*f.humDbfs) : QJsonValue());
    if (!f.inputs.isEmpty()) {
        QJsonArray inputs;
        for (const InputFacts& i : f.inputs)
            inputs.append(QJsonObject{
                {QStringLiteral("name"), i.name},
                {QStringLiteral("source"), i.source},
                {QStringLiteral("state"), i.state},
                {QStringLiteral("watched"), i.watched},
                {QStringLiteral("up"), i.up},
                {QStringLiteral("alarmActive"), i.alarm},
                {QStringLiteral("notify"), i.notify},
                {QStringLiteral("silenceSeconds"), i.silenceSecs},
                {QStringLiteral("levelDbfs"),
                 QJsonObject{{QStringLiteral("left"), level(i.peakLeft)},
                             {QStringLiteral("right"), level(i.peakRight)}}},
                {QStringLiteral("description"), i.description},
                {QStringLiteral("title"), i.title},
                {QStringLiteral("downReason"), i.downReason},
                {QStringLiteral("bufferMs"),
                 i.bufferMs < 0 ? QJsonValue() : QJsonValue(i.bufferMs)},
                {QStringLiteral("activeFaults"), QJsonArray::fromStringList(i.activeFaults)},
                {QStringLiteral("suspendedUntil"),
                 isoOrNull(i.suspendedUntil.isValid() ? std::optional(i.suspendedUntil)
                                                      : std::nullopt)},
            });
        root.insert(QStringLiteral("inputs"), inputs);
    }
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

} // namespace dovrane
