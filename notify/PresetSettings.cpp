#include "PresetSettings.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <algorithm>

namespace dovrane {

namespace {

struct Fields
{
    const char* name;
    const char* title;
    const char* url; ///< label, nullptr when unused; likewise token and target
    const char* token;
    const char* target;
    const char* apiBase;
};

constexpr std::array<Fields, PresetSettings::kServices.size()> kFields{{
    {"telegram", "Telegram", nullptr, "bot token", "chat id", "https://api.telegram.org"},
    {"pushover", "Pushover", nullptr, "app token", "user key", "https://api.pushover.net"},
    {"ntfy", "ntfy", "topic address", "access token", nullptr, nullptr},
    {"discord", "Discord", "webhook address", nullptr, nullptr, nullptr},
    {"slack", "Slack", "webhook address", nullptr, nullptr, nullptr},
    {"teams", "Microsoft Teams", "workflow address", nullptr, nullptr, nullptr},
}};

const Fields& fields(PresetSettings::Service s)
{
    return kFields[size_t(s)];
}

/// Tokens and ids travel in addresses and headers: printable ASCII without blanks.
bool plain(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() > 0x20 && c.unicode() < 0x7f; });
}

bool httpUrl(const QString& text)
{
    const QUrl url(text, QUrl::StrictMode);
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QByteArray json(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

QJsonObject PresetRequest::toJson() const
{
    QJsonArray list;
    for (const auto& [name, value] : headers)
        list.append(QJsonArray{QString::fromLatin1(name), QString::fromLatin1(value)});
    return {{QStringLiteral("method"), method},
            {QStringLiteral("url"), url.toString(QUrl::FullyEncoded)},
            {QStringLiteral("headers"), list},
            {QStringLiteral("body"), QString::fromUtf8(body)}};
}

PresetRequest PresetRequest::fromJson(const QJsonObject& json)
{
    PresetRequest r;
    r.method = json.value(QStringLiteral("method")).toString();
    r.url = QUrl(json.value(QStringLiteral("url")).toString(), QUrl::StrictMode);
    for (const QJsonValue header : json.value(QStringLiteral("headers")).toArray())
        r.headers.append({header[0].toString().toLatin1(), header[1].toString().toLatin1()});
    r.body = json.value(QStringLiteral("body")).toString().toUtf8();
    return r;
}

QString PresetSettings::name(Service s)
{
    return QLatin1String(fields(s).name);
}

QString PresetSettings::title(Service s)
{
    return QLatin1String(fields(s).title);
}

QString PresetSettings::tokenLabel(Service s)
{
    return QLatin1String(fields(s).token);
}

QString PresetSettings::targetLabel(Service s)
{
    return QLatin1String(fields(s).target);
}

QString PresetSettings::urlLabel(Service s)
{
    return QLatin1String(fields(s).url);
}

PresetSettings::TextFields PresetSettings::textFields(Service s)
{
    const Fields& f = fields(s);
    return {{{&Preset::url, f.url ? "url" : nullptr},
             {&Preset::token, f.token},
             {&Preset::target, f.target},
             {&Preset::apiBase, f.apiBase ? "api base" : nullptr}}};
}

QString PresetSettings::defaultApiBase(Service s)
{
    return QLatin1String(fields(s).apiBase);
}

PresetRequest PresetSettings::request(Service service, const Preset& p, const QString& text)
{
    PresetRequest r;
    QString base = p.apiBase.isEmpty() ? defaultApiBase(service) : p.apiBase;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QByteArray kJson = "application/json";
    switch (service) {
    case Service::Telegram:
        r.url = QUrl(base + QStringLiteral("/bot") + p.token + QStringLiteral("/sendMessage"));
        r.headers = {{"Content-Type", kJson}};
        r.body = json({{QStringLiteral("chat_id"), p.target}, {QStringLiteral("text"), text}});
        break;
    case Service::Pushover:
        r.url = QUrl(base + QStringLiteral("/1/messages.json"));
        r.headers = {{"Content-Type", "application/x-www-form-urlencoded"}};
        r.body = "token=" + QUrl::toPercentEncoding(p.token) +
                 "&user=" + QUrl::toPercentEncoding(p.target) +
                 "&message=" + QUrl::toPercentEncoding(text);
        break;
    case Service::Ntfy:
        r.url = QUrl(p.url);
        r.headers = {{"Content-Type", "text/plain; charset=utf-8"}};
        if (!p.token.isEmpty())
            r.headers.append({"Authorization", "Bearer " + p.token.toLatin1()});
        r.body = text.toUtf8();
        break;
    case Service::Discord:
        r.url = QUrl(p.url);
        r.headers = {{"Content-Type", kJson}};
        r.body = json({{QStringLiteral("content"), text}});
        break;
    case Service::Slack:
        r.url = QUrl(p.url);
        r.headers = {{"Content-Type", kJson}};
        r.body = json({{QStringLiteral("text"), text}});
        break;
    case Service::Teams: {
        // The workflow template "post to a channel when a webhook request is received"
        // takes a message with Adaptive Card attachments and nothing simpler.
        const QJsonObject card{
            {QStringLiteral("$schema"),
             QStringLiteral("http://adaptivecards.io/schemas/adaptive-card.json")},
            {QStringLiteral("type"), QStringLiteral("AdaptiveCard")},
            {QStringLiteral("version"), QStringLiteral("1.4")},
            {QStringLiteral("body"),
             QJsonArray{QJsonObject{{QStringLiteral("type"), QStringLiteral("TextBlock")},
                                    {QStringLiteral("text"), text},
                                    {QStringLiteral("wrap"), true}}}}};
        r.url = QUrl(p.url);
        r.headers = {{"Content-Type", kJson}};
        r.body = json(
            {{QStringLiteral("type"), QStringLiteral("message")},
             {QStringLiteral("attachments"),
              QJsonArray{QJsonObject{{QStringLiteral("contentType"),
                                      QStringLiteral("application/vnd.microsoft.card.adaptive")},
                                     {QStringLiteral("content"), card}}}}});
        break;
    }
    }
    return r;
}

namespace {

template <PresetSettings::Service S> bool& enabled(PresetSettings& s)
{
    return s[S].enabled;
}
template <PresetSettings::Service S, QString PresetSettings::Preset::*F>
QString& field(PresetSettings& s)
{
    return s[S].*F;
}

} // namespace

const SettingsTable<PresetSettings>& PresetSettings::table()
{
    using P = Preset;
    using enum Service;
    static const SettingsTable<PresetSettings> t = [] {
        SettingsTable<PresetSettings> t("presets");
        t.flag("telegram_enabled", enabled<Telegram>, "Send each event to a Telegram chat");
        t.text("telegram_bot_token", field<Telegram, &P::token>, "The bot's token").hidden();
        t.text("telegram_chat_id", field<Telegram, &P::target>, "The chat's id");
        t.text("telegram_api_base", field<Telegram, &P::apiBase>,
               "Another server (a proxy); empty for api.telegram.org")
            .accepts("empty, or an http or https address");
        t.flag("pushover_enabled", enabled<Pushover>, "Send each event through Pushover");
        t.text("pushover_app_token", field<Pushover, &P::token>, "The app's token").hidden();
        t.text("pushover_user_key", field<Pushover, &P::target>, "The user or group key").hidden();
        t.text("pushover_api_base", field<Pushover, &P::apiBase>,
               "Another server; empty for api.pushover.net")
            .accepts("empty, or an http or https address");
        t.flag("ntfy_enabled", enabled<Ntfy>, "Send each event to an ntfy topic");
        t.text("ntfy_url", field<Ntfy, &P::url>, "The topic's address")
            .accepts("an http or https address")
            .hidden();
        t.text("ntfy_access_token", field<Ntfy, &P::token>,
               "Access token; empty for an open "
               "topic")
            .hidden();
        t.flag("discord_enabled", enabled<Discord>, "Send each event to a Discord webhook");
        t.text("discord_url", field<Discord, &P::url>, "The webhook's address")
            .accepts("an http or https address")
            .hidden();
        t.flag("slack_enabled", enabled<Slack>, "Send each event to a Slack webhook");
        t.text("slack_url", field<Slack, &P::url>, "The webhook's address")
            .accepts("an http or https address")
            .hidden();
        t.flag("teams_enabled", enabled<Teams>, "Send each event to a Microsoft Teams workflow");
        t.text("teams_url", field<Teams, &P::url>, "The workflow's address")
            .accepts("an http or https address")
            .hidden();
        return t;
    }();
    return t;
}

QStringList PresetSettings::problems() const
{
    QStringList out;
    const auto problem = [&out](Service service, const char* label, const char* what,
                                const QString& got) {
        const QString key = QStringLiteral("%1_%2").arg(
            name(service), QString::fromLatin1(label).replace(u' ', u'_'));
        out << table().key(key.toLatin1().constData()).problem(QLatin1String(what), got);
    };
    for (Service service : kServices) {
        const Preset& p = (*this)[service];
        const Fields& f = fields(service);
        if (!p.enabled)
            continue;
        if (f.url && !httpUrl(p.url))
            problem(service, "url", "not an http or https address", p.url);
        if (f.apiBase && !p.apiBase.isEmpty() && !httpUrl(p.apiBase))
            problem(service, "api base", "not an http or https address", p.apiBase);
        for (auto [field, label] :
             {std::pair{&Preset::token, f.token}, {&Preset::target, f.target}}) {
            if (!label)
                continue;
            const QString& value = p.*field;
            if (value.isEmpty() && service != Service::Ntfy) // ntfy's topic may be open
                problem(service, label, "needed", value);
            else if (!plain(value))
                problem(service, label, "holds blanks or characters beyond ASCII", value);
        }
    }
    return out;
}

} // namespace dovrane
