#include "StatusSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace dovrane {

const SettingsTable<StatusSettings>& StatusSettings::table()
{
    using S = StatusSettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("status");
        t.flag("enabled", at<&S::enabled>, "Serve /metrics, /status and the status page");
        t.text("listen", at<&S::listen>, "Where to listen")
            .accepts("host:port, [v6-address]:port or localhost:port; port 1 to 65535");
        t.text("token", at<&S::token>, "Bearer token asked of every client; needed beyond loopback")
            .accepts("empty, or at least 16 characters")
            .hidden();
        return t;
    }();
    return t;
}

StatusSettings StatusSettings::forInstance(const QString& settingsPath) const
{
    static const QLatin1String kInstance("Dovrane-");
    StatusSettings s = *this;
    const QString folder = QFileInfo(settingsPath).absoluteDir().dirName();
    if (listen != StatusSettings{}.listen || !folder.startsWith(kInstance) ||
        folder.size() == kInstance.size())
        return s;
    const QByteArray name = folder.mid(kInstance.size()).toUtf8();
    s.listen = QStringLiteral("127.0.0.1:%1").arg(kDefaultPort + 1 + qChecksum(name) % 1000);
    return s;
}

bool StatusSettings::address(QHostAddress* host, quint16* port) const
{
    const QUrl url(QStringLiteral("http://") + listen);
    if (!url.isValid() || url.port() < 0 || !url.path().isEmpty() || !url.userInfo().isEmpty())
        return false;
    const QHostAddress parsed = url.host() == QLatin1String("localhost")
                                    ? QHostAddress(QHostAddress::LocalHost)
                                    : QHostAddress(url.host());
    if (parsed.isNull())
        return false;
    *host = parsed;
    *port = static_cast<quint16>(url.port());
    return true;
}

QStringList StatusSettings::problems() const
{
    QStringList out;
    if (!token.isEmpty() && token.size() < kMinTokenLength)
        out << table().key("token").problem(
            QStringLiteral("shorter than %1 characters").arg(kMinTokenLength), token);
    if (!enabled)
        return out;
    QHostAddress host;
    quint16 port = 0;
    if (!address(&host, &port) || port == 0)
        out << table().key("listen").problem(QStringLiteral("not address:port"), listen);
    else if (!host.isLoopback() && token.trimmed().isEmpty())
        out << table().key("listen").problem(
            QStringLiteral("reaches other machines and needs a token"), listen);
    return out;
}

} // namespace dovrane
