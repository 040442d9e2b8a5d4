#include "NocSettings.h"

#include <QUrl>

#include <algorithm>
#include <cmath>

namespace dovrane {

const SettingsTable<SnmpSettings>& SnmpSettings::table()
{
    using S = SnmpSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("snmp");
        t.flag("enabled", at<&S::enabled>, "Answer as an AgentX subagent of the machine's snmpd");
        t.text("agentx", at<&S::agentxSocket>,
               "The master agent's AgentX socket; empty for net-snmp's default");
        t.list("traps", at<&S::trapSinks>, "Where traps go besides the master agent")
            .accepts("udp:host:port or host:port, separated by commas");
        t.text("community", at<&S::trapCommunity>, "Community of the traps").hidden();
        return t;
    }();
    return t;
}

QStringList SnmpSettings::problems() const
{
    QStringList out;
    for (const QString& sink : trapSinks) {
        const QString hostPort = sink.startsWith(QLatin1String("udp:")) ? sink.mid(4) : sink;
        bool ok = false;
        const int port = hostPort.section(QLatin1Char(':'), -1).toInt(&ok);
        if (!hostPort.contains(QLatin1Char(':')) || !ok || port < 1 || port > 65535)
            out << table().key("traps").problem(QStringLiteral("one is not host:port"), sink);
    }
    if (!trapSinks.isEmpty() && trapCommunity.isEmpty())
        out << table().key("community").problem(QStringLiteral("empty"), trapCommunity);
    return out;
}

namespace {

QString parseMethod(HeartbeatSettings& s, const QString& text)
{
    s.post = text.compare(QLatin1String("POST"), Qt::CaseInsensitive) == 0;
    if (!s.post && text.compare(QLatin1String("GET"), Qt::CaseInsensitive) != 0)
        return QStringLiteral("not a request method");
    return {};
}

QString formatMethod(const HeartbeatSettings& s)
{
    return s.post ? QStringLiteral("POST") : QStringLiteral("GET");
}

} // namespace

const SettingsTable<HeartbeatSettings>& HeartbeatSettings::table()
{
    using S = HeartbeatSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("heartbeat");
        t.text("url", at<&S::url>, "The push monitor's address; empty: no heartbeat")
            .accepts("an http or https address")
            .hidden();
        t.number("interval", at<&S::intervalSecs>, 5, 86400, "s", "Time between two requests");
        t.custom("method", parseMethod, formatMethod, "GET, POST", "The request method");
        t.number("timeout", at<&S::timeoutSecs>, 1, 86400, "s",
                 "A request unanswered this long (at most the interval) has failed");
        return t;
    }();
    return t;
}

QStringList HeartbeatSettings::problems() const
{
    QStringList out;
    if (!enabled())
        return out;
    const QUrl parsed(url, QUrl::StrictMode);
    if (!parsed.isValid() ||
        (parsed.scheme() != QLatin1String("http") && parsed.scheme() != QLatin1String("https")))
        out << table().key("url").problem(QStringLiteral("not an http or https address"), url);
    return out;
}

qint32 NocStatus::tenthsDbfs(int peak)
{
    if (peak <= 0)
        return -960;
    return static_cast<qint32>(std::lround(200.0 * std::log10(peak / 32768.0)));
}

} // namespace dovrane
