#include "StatusSettings.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSslCertificate>
#include <QSslKey>
#include <QSslSocket>
#include <QUrl>

namespace {
/// Far more than any PEM private key.
constexpr qint64 kMaxKeyBytes = 64 * 1024;
} // namespace

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
        t.text("tls_cert", at<&S::tlsCert>,
               "PEM certificate chain; with tls_key the port speaks TLS only")
            .accepts("a readable PEM file");
        t.text("tls_key", at<&S::tlsKey>, "PEM private key of tls_cert")
            .accepts("a readable PEM file (RSA, EC or DSA key)");
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
    QSslConfiguration config;
    QString why;
    if ((!tlsCert.isEmpty() || !tlsKey.isEmpty()) && !tls(&config, &why))
        out << why;
    return out;
}

QStringList StatusSettings::warnings() const
{
    QHostAddress host;
    quint16 port = 0;
    if (!enabled || !address(&host, &port) || port == 0 || host.isLoopback() || !tlsCert.isEmpty())
        return {};
    return {table().key("listen").problem(
        QStringLiteral("without tls_cert and tls_key the token crosses the network in clear"),
        listen)};
}

bool StatusSettings::tls(QSslConfiguration* out, QString* why) const
{
    if (tlsCert.isEmpty() || tlsKey.isEmpty()) {
        const bool noCert = tlsCert.isEmpty();
        *why = table()
                   .key(noCert ? "tls_cert" : "tls_key")
                   .problem(noCert ? QStringLiteral("needed with tls_key")
                                   : QStringLiteral("needed with tls_cert"),
                            QString());
        return false;
    }
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(tlsCert, QSsl::Pem);
    if (chain.isEmpty()) {
        *why = table().key("tls_cert").problem(QStringLiteral("no PEM certificate in it"), tlsCert);
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
        *why = table().key("tls_key").problem(QStringLiteral("no PEM private key readable in it"),
                                              tlsKey);
        return false;
    }
    *out = QSslConfiguration::defaultConfiguration();
    out->setLocalCertificateChain(chain);
    out->setPrivateKey(key);
    out->setPeerVerifyMode(QSslSocket::VerifyNone);
    return true;
}

} // namespace dovrane
