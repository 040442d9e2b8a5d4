#pragma once

#include "SettingsTable.h"

namespace dovrane {

/// [snmp]: Dovrane as an AgentX subagent of the machine's snmpd, so the site's
/// access rules and users apply, and traps to the managers listed here.
struct SnmpSettings
{
    bool enabled = false;
    /// The master agent's AgentX socket; empty for net-snmp's own default.
    QString agentxSocket;
    /// Where traps go besides the master agent: "udp:host:port" or "host:port".
    QStringList trapSinks;
    QString trapCommunity = QStringLiteral("public");

    [[nodiscard]] static const SettingsTable<SnmpSettings>& table();
    [[nodiscard]] QStringList problems() const;
};

/// [heartbeat]: a request every few seconds to a push monitor (Healthchecks,
/// Uptime Kuma...) saying whether Dovrane monitors, is in alarm, or idles.
struct HeartbeatSettings
{
    QString url;
    int intervalSecs = 60;
    bool post = false;
    /// At most the interval: the shorter of the two is used.
    int timeoutSecs = 10;

    [[nodiscard]] bool enabled() const { return !url.isEmpty(); }
    [[nodiscard]] static const SettingsTable<HeartbeatSettings>& table();
    [[nodiscard]] QStringList problems() const;
};

/// What the NOC is told when it asks or is called.
struct NocStatus
{
    bool monitoring = false;
    bool alarm = false;
    qint32 silenceSecs = 0;
    /// Peaks in tenths of a dBFS; -960 for digital silence.
    qint32 levelLeft = -960;
    qint32 levelRight = -960;
    QString facility;

    /// "alarm", "monitoring" or "idle".
    [[nodiscard]] QString state() const
    {
        return alarm ? QStringLiteral("alarm")
                     : (monitoring ? QStringLiteral("monitoring") : QStringLiteral("idle"));
    }
    /// A 16-bit sample peak in tenths of a dBFS.
    static qint32 tenthsDbfs(int peak);
};

} // namespace dovrane
