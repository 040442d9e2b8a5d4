#include "NocSettings.h"

#include <QUrl>

#include <algorithm>
#include <cmath>

namespace dovrane {

SnmpSettings SnmpSettings::load(const QSettings& file)
{
    SnmpSettings s;
    s.enabled = file.value(QStringLiteral("snmp/enabled"), false).toBool();
    s.agentxSocket = file.value(QStringLiteral("snmp/agentx")).toString().trimmed();
    for (const QString& sink : file.value(QStringLiteral("snmp/traps")).toStringList())
        if (!sink.trimmed().isEmpty())
            s.trapSinks << sink.trimmed();
    s.trapCommunity = file.value(QStringLiteral("snmp/community"), s.trapCommunity).toString();
    return s;
}

void SnmpSettings::save(QSettings& file) const
{
    file.setValue(QStringLiteral("snmp/enabled"), enabled);
    file.setValue(QStringLiteral("snmp/agentx"), agentxSocket);
    // An empty list would be written as "@Invalid()"; no sinks is an empty value.
    file.setValue(QStringLiteral("snmp/traps"),
                  trapSinks.isEmpty() ? QVariant(QString()) : QVariant(trapSinks));
    file.setValue(QStringLiteral("snmp/community"), trapCommunity);
}

QStringList SnmpSettings::problems() const
{
    QStringList out;
    for (const QString& sink : trapSinks) {
        const QString hostPort = sink.startsWith(QLatin1String("udp:")) ? sink.mid(4) : sink;
        bool ok = false;
        const int port = hostPort.section(QLatin1Char(':'), -1).toInt(&ok);
        if (!hostPort.contains(QLatin1Char(':')) || !ok || port < 1 || port > 65535)
            out << QStringLiteral("[snmp] traps: \"%1\" is not host:port").arg(sink);
    }
    if (!trapSinks.isEmpty() && trapCommunity.isEmpty())
        out << QStringLiteral("[snmp] community: empty");
    return out;
}

HeartbeatSettings HeartbeatSettings::load(const QSettings& file)
{
    HeartbeatSettings s;
    s.url = file.value(QStringLiteral("heartbeat/url")).toString().trimmed();
    s.intervalSecs = file.value(QStringLiteral("heartbeat/interval"), s.intervalSecs).toInt();
    s.post = file.value(QStringLiteral("heartbeat/method"))
                 .toString()
                 .compare(QLatin1String("POST"), Qt::CaseInsensitive) == 0;
    s.timeoutSecs =
        file.value(QStringLiteral("heartbeat/timeout"), std::min(s.timeoutSecs, s.intervalSecs))
            .toInt();
    return s;
}

void HeartbeatSettings::save(QSettings& file) const
{
    file.setValue(QStringLiteral("heartbeat/url"), url);
    file.setValue(QStringLiteral("heartbeat/interval"), intervalSecs);
    file.setValue(QStringLiteral("heartbeat/method"), post ? "POST" : "GET");
    file.setValue(QStringLiteral("heartbeat/timeout"), timeoutSecs);
}

QStringList HeartbeatSettings::problems() const
{
    QStringList out;
    if (!enabled())
        return out;
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() ||
        (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")))
        out << QStringLiteral("[heartbeat] url: not an http or https address");
    if (intervalSecs < 5 || intervalSecs > 86400)
        out << QStringLiteral("[heartbeat] interval: 5 to 86400 seconds");
    if (timeoutSecs < 1 || timeoutSecs > intervalSecs)
        out << QStringLiteral("[heartbeat] timeout: 1 second to the interval");
    return out;
}

qint32 NocStatus::tenthsDbfs(int peak)
{
    if (peak <= 0)
        return -960;
    return static_cast<qint32>(std::lround(200.0 * std::log10(peak / 32768.0)));
}

} // namespace dovrane
