#pragma once

#include "SettingsTable.h"

#include <QJsonObject>
#include <QUrl>

#include <array>

namespace dovrane {

/// One HTTP request as a preset sends it, kept whole in the outbox so a retry or
/// the next start sends the very same bytes.
struct PresetRequest
{
    QString method = QStringLiteral("POST");
    QUrl url;
    QList<std::pair<QByteArray, QByteArray>> headers;
    QByteArray body;

    [[nodiscard]] QJsonObject toJson() const;
    [[nodiscard]] static PresetRequest fromJson(const QJsonObject& json);
};

/// The [presets] section of Dovrane.ini: chat and push services that get each
/// event's text. Absent, nothing is sent. The tokens and most addresses here are
/// secrets (a Slack or Discord webhook address is its own password), so nothing
/// outside this file and the outbox names more than the service and its host.
struct PresetSettings
{
    enum class Service
    {
        Telegram,
        Pushover,
        Ntfy,
        Discord,
        Slack,
        Teams,
    };
    static constexpr std::array kServices{Service::Telegram, Service::Pushover, Service::Ntfy,
                                          Service::Discord,  Service::Slack,    Service::Teams};

    struct Preset
    {
        bool enabled = false;
        /// ntfy's topic address; the webhook address of Discord, Slack and Teams.
        QString url;
        /// Telegram's bot token, Pushover's app token, ntfy's access token (optional).
        QString token;
        /// Telegram's chat id, Pushover's user (or group) key.
        QString target;
        /// Telegram and Pushover: another server (a proxy, a compatible self-hosted
        /// one); empty for the service's own.
        QString apiBase;
    };

    std::array<Preset, kServices.size()> presets;

    [[nodiscard]] Preset& operator[](Service s) { return presets[size_t(s)]; }
    [[nodiscard]] const Preset& operator[](Service s) const { return presets[size_t(s)]; }

    /// "telegram", "pushover", ...: the INI key prefix and the outbox channel.
    [[nodiscard]] static QString name(Service service);
    [[nodiscard]] static QString title(Service service);
    /// What the service's token, target and url are called for people ("bot token",
    /// "chat id", "topic address"); empty for a field it does not use.
    [[nodiscard]] static QString tokenLabel(Service service);
    [[nodiscard]] static QString targetLabel(Service service);
    [[nodiscard]] static QString urlLabel(Service service);
    /// url, token, target and apiBase, each with its key name ("bot token" for
    /// telegram_bot_token), nullptr for a field the service does not use.
    using TextFields = std::array<std::pair<QString Preset::*, const char*>, 4>;
    [[nodiscard]] static TextFields textFields(Service service);
    /// The service's own server where apiBase applies; empty where it does not.
    [[nodiscard]] static QString defaultApiBase(Service service);

    /// The request that carries text to the service.
    [[nodiscard]] static PresetRequest request(Service service, const Preset& preset,
                                               const QString& text);

    [[nodiscard]] static const SettingsTable<PresetSettings>& table();
    [[nodiscard]] QStringList problems() const;
};

} // namespace dovrane
