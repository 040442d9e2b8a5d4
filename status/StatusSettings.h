#pragma once

#include <QHostAddress>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace dovrane {

/// [status] of Dovrane.ini: the remote status endpoint (/metrics for Prometheus,
/// /status and the status page). Off when the section is absent.
struct StatusSettings
{
    static constexpr quint16 kDefaultPort = 9877;

    bool enabled = false;
    /// host:port, [v6-address]:port or localhost:port.
    QString listen = QStringLiteral("127.0.0.1:9877");
    /// Bearer token; required beyond loopback, and always asked for when set.
    QString token;

    /// The port when listen is not set: kDefaultPort, except for a template instance
    /// (dovrane@NAME keeps its data in Dovrane-NAME), which gets one of 9878..10877
    /// from its name, so that instances do not collide.
    [[nodiscard]] static quint16 defaultPort(const QString& settingsPath);

    [[nodiscard]] static StatusSettings load(const QSettings& file);
    void save(QSettings& file) const;
    [[nodiscard]] QStringList problems() const;

    /// The address and port in listen; false when it names neither.
    [[nodiscard]] bool address(QHostAddress* host, quint16* port) const;

    friend bool operator==(const StatusSettings&, const StatusSettings&) = default;
};

} // namespace dovrane
