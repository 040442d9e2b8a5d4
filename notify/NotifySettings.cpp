#include "NotifySettings.h"

#include <QFileInfo>
#include <QUrl>

namespace dovrane {

namespace {
QString key(const char* name)
{
    return QStringLiteral("notify/") + QLatin1String(name);
}
} // namespace

QString NotifySettings::securityName(Security security)
{
    switch (security) {
    case Security::None:
        return QStringLiteral("none");
    case Security::StartTls:
        return QStringLiteral("starttls");
    case Security::Tls:
        return QStringLiteral("tls");
    }
    return {};
}

NotifySettings NotifySettings::load(const QSettings& file)
{
    NotifySettings s;
    s.smtpServer = file.value(key("smtp_server")).toString().trimmed();
    s.smtpPort = file.value(key("smtp_port"), s.smtpPort).toInt();
    const QString security = file.value(key("smtp_security")).toString().trimmed().toLower();
    for (Security each : {Security::None, Security::StartTls, Security::Tls})
        if (security == securityName(each))
            s.smtpSecurity = each;
    s.smtpUser = file.value(key("smtp_user")).toString();
    s.smtpPassword = file.value(key("smtp_password")).toString();
    s.smtpSender = file.value(key("smtp_sender")).toString().trimmed();
    s.smtpCaFile = file.value(key("smtp_ca_file")).toString().trimmed();
    s.gsm = file.value(key("gsm"), false).toBool();
    for (const QString& url : file.value(key("webhooks")).toString().split(QLatin1Char(' ')))
        if (!url.trimmed().isEmpty())
            s.webhooks << url.trimmed();
    s.hook = file.value(key("hook")).toString().trimmed();
    s.repeatMinutes = file.value(key("repeat_minutes"), 0).toInt();
    s.retryFirstSeconds = file.value(key("retry_first_seconds"), s.retryFirstSeconds).toInt();
    s.capPerMinute = file.value(key("cap_per_minute"), s.capPerMinute).toInt();
    s.capHoldMinutes = file.value(key("cap_hold_minutes"), s.capHoldMinutes).toInt();
    s.endSubjectSaysEnd =
        file.value(key("end_subject_says_end"), false).toString() == QLatin1String("yes");
    return s;
}

void NotifySettings::save(QSettings& file) const
{
    file.setValue(key("smtp_server"), smtpServer);
    file.setValue(key("smtp_port"), smtpPort);
    file.setValue(key("smtp_security"), securityName(smtpSecurity));
    file.setValue(key("smtp_user"), smtpUser);
    file.setValue(key("smtp_password"), smtpPassword);
    file.setValue(key("smtp_sender"), smtpSender);
    file.setValue(key("smtp_ca_file"), smtpCaFile);
    file.setValue(key("gsm"), gsm);
    file.setValue(key("webhooks"), webhooks.join(QLatin1Char(' ')));
    file.setValue(key("hook"), hook);
    file.setValue(key("repeat_minutes"), repeatMinutes);
    file.setValue(key("retry_first_seconds"), retryFirstSeconds);
    file.setValue(key("cap_per_minute"), capPerMinute);
    file.setValue(key("cap_hold_minutes"), capHoldMinutes);
    file.setValue(key("end_subject_says_end"),
                  endSubjectSaysEnd ? QStringLiteral("yes") : QStringLiteral("no"));
}

QStringList NotifySettings::problems() const
{
    QStringList out;
    if (smtp()) {
        if (smtpPort < 1 || smtpPort > 65535)
            out << QStringLiteral("[notify] SMTP port %1 is not 1 to 65535").arg(smtpPort);
        if (!smtpSender.contains(QLatin1Char('@')))
            out << QStringLiteral("[notify] the SMTP sender needs an e-mail address");
        if (!smtpCaFile.isEmpty() && !QFileInfo(smtpCaFile).isReadable())
            out << QStringLiteral("[notify] SMTP certificate file %1 cannot be read")
                       .arg(smtpCaFile);
    }
    for (const QString& url : webhooks) {
        const QUrl u(url);
        if (!u.isValid() ||
            (u.scheme() != QLatin1String("http") && u.scheme() != QLatin1String("https")) ||
            u.host().isEmpty())
            out << QStringLiteral("[notify] webhook %1 is not an http or https address").arg(url);
    }
    if (!hook.isEmpty() && !QFileInfo(hook).isExecutable())
        out << QStringLiteral("[notify] hook %1 is not an executable program").arg(hook);
    if (repeatMinutes < 0 || repeatMinutes > 1440)
        out << QStringLiteral("[notify] repeat minutes %1 is not 0 to 1440").arg(repeatMinutes);
    if (retryFirstSeconds < 1 || retryFirstSeconds > 600)
        out << QStringLiteral("[notify] first retry after %1 s is not 1 to 600")
                   .arg(retryFirstSeconds);
    if (capPerMinute < 0 || capPerMinute > 600)
        out << QStringLiteral("[notify] cap_per_minute %1 is not 0 to 600").arg(capPerMinute);
    if (capHoldMinutes < 1 || capHoldMinutes > 1440)
        out << QStringLiteral("[notify] cap_hold_minutes %1 is not 1 to 1440").arg(capHoldMinutes);
    return out;
}

} // namespace dovrane
