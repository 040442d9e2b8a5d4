#include "NotifySettings.h"

#include "OutsideText.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace dovrane {

namespace {

QString parseSecurity(NotifySettings& s, const QString& text)
{
    using Security = NotifySettings::Security;
    for (Security each : {Security::None, Security::StartTls, Security::Tls})
        if (text.compare(NotifySettings::securityName(each), Qt::CaseInsensitive) == 0) {
            s.smtpSecurity = each;
            return {};
        }
    return QStringLiteral("not a kind of security");
}

QString formatSecurity(const NotifySettings& s)
{
    return NotifySettings::securityName(s.smtpSecurity);
}

/// Webhook addresses are separated by blanks (and commas, as in the other lists).
QString parseWebhooks(NotifySettings& s, const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    s.webhooks = text.split(separators, Qt::SkipEmptyParts);
    return {};
}

QString formatWebhooks(const NotifySettings& s)
{
    return s.webhooks.join(QLatin1Char(' '));
}

} // namespace

const SettingsTable<NotifySettings>& NotifySettings::table()
{
    using S = NotifySettings;
    static const SettingsTable<S> t = [] {
        SettingsTable<S> t("notify");
        t.text("smtp_server", at<&S::smtpServer>,
               "Mail goes straight to this SMTP server when set, else to the sendmail program");
        t.number("smtp_port", at<&S::smtpPort>, 1, 65535, "", "The SMTP server's port");
        t.custom("smtp_security", parseSecurity, formatSecurity, "none, starttls, tls",
                 "starttls, or tls from the first byte (usually port 465)");
        t.text("smtp_user", at<&S::smtpUser>, "User name at the SMTP server");
        t.text("smtp_password", at<&S::smtpPassword>, "Password at the SMTP server").hidden();
        t.text("smtp_sender", at<&S::smtpSender>, "The mails' From address")
            .accepts("an e-mail address");
        t.text("smtp_ca_file", at<&S::smtpCaFile>,
               "Certificate authorities to trust instead of the system's")
            .accepts("a readable file");
        t.flag("gsm", at<&S::gsm>, "The modem is a GSM modem: the alarm texts the call list");
        t.custom("webhooks", parseWebhooks, formatWebhooks, "http or https addresses",
                 "Addresses that get each event as JSON, separated by blanks")
            .hidden();
        t.text("hook", at<&S::hook>, "Program run on each event (no shell)")
            .accepts("an executable program");
        t.number("repeat_minutes", at<&S::repeatMinutes>, 0, 1440, "min",
                 "Repeat the notifications of an alarm nobody acknowledged; 0 off");
        t.number("retry_first_seconds", at<&S::retryFirstSeconds>, 1, 600, "s",
                 "Wait before the first retry of a failed notification");
        t.number("cap_per_minute", at<&S::capPerMinute>, 0, 600, "",
                 "Messages a minute per path and recipient before the rest are held; 0 no cap");
        t.number("cap_hold_minutes", at<&S::capHoldMinutes>, 1, 1440, "min",
                 "After this long, one summary tells the messages held back");
        t.flag("end_subject_says_end", at<&S::endSubjectSaysEnd>,
               "The mail at the end of an alarm says so in its subject");
        return t;
    }();
    return t;
}

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

QStringList NotifySettings::problems() const
{
    QStringList out;
    const auto problem = [&out](const char* key, const char* what, const QString& got) {
        out << table().key(key).problem(QLatin1String(what), got);
    };
    if (smtp() && !smtpSender.contains(QLatin1Char('@')))
        problem("smtp_sender", "the SMTP server needs a sender address", smtpSender);
    if (smtp() && !smtpCaFile.isEmpty() && !QFileInfo(smtpCaFile).isReadable())
        problem("smtp_ca_file", "cannot be read", smtpCaFile);
    for (const QString& url : webhooks) {
        const QUrl u(url);
        if (!u.isValid() ||
            (u.scheme() != QLatin1String("http") && u.scheme() != QLatin1String("https")) ||
            u.host().isEmpty())
            problem("webhooks", "one is not an http or https address", OutsideText::url(u));
    }
    if (!hook.isEmpty() && !QFileInfo(hook).isExecutable())
        problem("hook", "not an executable program", hook);
    return out;
}

} // namespace dovrane
