#pragma once

#include "SettingsTable.h"

#include <QHostAddress>
#include <QSslConfiguration>

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
    /// PEM certificate chain and private key; both set: the port speaks TLS only.
    QString tlsCert;
    QString tlsKey;

    /// The shortest token taken: one that can be guessed guards nothing.
    static constexpr int kMinTokenLength = 16;

    [[nodiscard]] static const SettingsTable<StatusSettings>& table();
    /// A template instance (dovrane@NAME keeps its data in Dovrane-NAME) left at the
    /// default address gets one of 9878..10877 from its name, so instances do not
    /// collide; any other folder, or an address set by hand, stays as it is.
    [[nodiscard]] StatusSettings forInstance(const QString& settingsPath) const;
    [[nodiscard]] QStringList problems() const;
    /// What works but should not be left so: a token sent in clear beyond loopback.
    [[nodiscard]] QStringList warnings() const;
    /// The certificate and key read as TLS settings; false with why when they cannot be.
    [[nodiscard]] bool tls(QSslConfiguration* out, QString* why) const;

    /// The address and port in listen; false when it names neither.
    [[nodiscard]] bool address(QHostAddress* host, quint16* port) const;

    friend bool operator==(const StatusSettings&, const StatusSettings&) = default;
};

} // namespace dovrane
