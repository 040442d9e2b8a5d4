#include "StatusSettings.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QUrl>

namespace {
/// Far more than any PEM private key.
constexpr qint64 kMaxKeyBytes = 64 * 1024;
} // namespace

namespace dovrane {

StatusSettings StatusSettings::load(const QSettings& file)
{
    StatusSettings s;
    s.enabled = file.value(QStringLiteral("status/enabled"), s.enabled).toBool();
    s.listen = file.value(QStringLiteral("status/listen"), s.listen).toString().trimmed();
    s.token = file.value(QStringLiteral("status/token")).toString();
    s.tlsCert = file.value(QStringLiteral("status/tls_cert")).toString().trimmed();
    s.tlsKey = file.value(QStringLiteral("status/tls_key")).toString().trimmed();
    return s;
}

void StatusSettings::save(QSettings& file) const
{
    file.setValue(QStringLiteral("status/enabled"), enabled);
    file.setValue(QStringLiteral("status/listen"), listen);
    file.setValue(QStringLiteral("status/token"), token);
    if (!tlsCert.isEmpty() || !tlsKey.isEmpty()) {
        file.setValue(QStringLiteral("status/tls_cert"), tlsCert);
        file.setValue(QStringLiteral("status/tls_key"), tlsKey);
    }
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
    QSslConfiguration config;
    QString why;
    if ((!tlsCert.isEmpty() || !tlsKey.isEmpty()) && !tls(&config, &why))
        return {why};
    return {};
}

QStringList StatusSettings::warnings() const
{
    QHostAddress host;
    quint16 port = 0;
    if (!enabled || !address(&host, &port) || host.isLoopback() || !tlsCert.isEmpty())
        return {};
    return {QStringLiteral("[status] listen: on %1 without tls_cert and tls_key the token "
                           "crosses the network in clear")
                .arg(listen)};
}

bool StatusSettings::tls(QSslConfiguration* out, QString* why) const
{
    if (tlsCert.isEmpty() || tlsKey.isEmpty()) {
        *why = QStringLiteral("[status] %1: needed with %2")
                   .arg(tlsCert.isEmpty() ? QStringLiteral("tls_cert") : QStringLiteral("tls_key"),
                        tlsCert.isEmpty() ? QStringLiteral("tls_key") : QStringLiteral("tls_cert"));
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(tlsCert, QSsl::Pem);
    if (chain.isEmpty()) {
        *why = QStringLiteral("[status] tls_cert: no PEM certificate in \"%1\"").arg(tlsCert);
        return false;
    }
    QFile file(tlsKey);
    QSslKey key;
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray pem = file.read(kMaxKeyBytes);
        for (const QSsl::KeyAlgorithm algorithm : {QSsl::Rsa, QSsl::Ec, QSsl::Dsa}) {
            key = QSslKey(pem, algorithm);
            if (!key.isNull())
                break;
        }
    }
    if (key.isNull()) {
        *why =
            QStringLiteral("[status] tls_key: no PEM private key readable in \"%1\"").arg(tlsKey);
        return false;
    }
    *out = QSslConfiguration::defaultConfiguration();
    out->setLocalCertificateChain(chain);
    out->setPrivateKey(key);
    out->setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}

} // namespace dovrane
