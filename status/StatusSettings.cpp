#include "StatusSettings.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace dovrane {

quint16 StatusSettings::defaultPort(const QString& settingsPath)
{
    static const QLatin1String kInstance("Dovrane-");
    const QString folder = QFileInfo(settingsPath).absoluteDir().dirName();
    if (!folder.startsWith(kInstance) || folder.size() == kInstance.size())
        return kDefaultPort;
    const QByteArray name = folder.mid(kInstance.size()).toUtf8();
    return quint16(kDefaultPort + 1 + qChecksum(name) % 1000);
}

StatusSettings StatusSettings::load(const QSettings& file)
{
    StatusSettings s;
    s.enabled = file.value(QStringLiteral("status/enabled"), s.enabled).toBool();
    s.listen = QStringLiteral("127.0.0.1:%1").arg(defaultPort(file.fileName()));
    s.listen = file.value(QStringLiteral("status/listen"), s.listen).toString().trimmed();
    s.token = file.value(QStringLiteral("status/token")).toString();
    return s;
}

void StatusSettings::save(QSettings& file) const
{
    file.setValue(QStringLiteral("status/enabled"), enabled);
    file.setValue(QStringLiteral("status/listen"), listen);
    file.setValue(QStringLiteral("status/token"), token);
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
    if (!enabled)
        return {};
    QHostAddress host;
    quint16 port = 0;
    if (!address(&host, &port))
        return {QStringLiteral("[status] listen: address \"%1\" is not address:port "
                               "(for example 127.0.0.1:%2)")
                    .arg(listen)
                    .arg(kDefaultPort)};
    if (!host.isLoopback() && token.trimmed().isEmpty())
        return {QStringLiteral("[status] listen: listening on %1 reaches other machines and needs "
                               "a token")
                    .arg(listen)};
    return {};
}

} // namespace dovrane
