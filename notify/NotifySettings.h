#pragma once

#include "SettingsTable.h"

namespace dovrane {

/// The [notify] section of Dovrane.ini: how the alarm reaches people beyond the
/// sendmail program and the pager. Absent, nothing changes.
struct NotifySettings
{
    enum class Security
    {
        None,
        StartTls,
        Tls, ///< TLS from the first byte (usually port 465)
    };

    /// Mail goes straight to this SMTP server when set, else to the sendmail program.
    QString smtpServer;
    int smtpPort = 587;
    Security smtpSecurity = Security::StartTls;
    QString smtpUser;
    QString smtpPassword;
    QString smtpSender;
    /// Certificate authorities to trust for the server instead of the system's.
    QString smtpCaFile;

    /// The modem is a GSM modem: the alarm sends text messages to the call list.
    bool gsm = false;
    QStringList webhooks;
    /// Program run on each event (no shell), with DOVRANE_* in its environment.
    QString hook;
    /// Minutes between repeated notifications of an alarm nobody acknowledged; 0 off.
    int repeatMinutes = 0;
    /// Seconds before the first retry of a failed notification.
    int retryFirstSeconds = 30;
    /// Messages per path and recipient in any minute before the rest are held back
    /// (0: no cap), and the minutes after which one summary tells the held ones.
    int capPerMinute = 5;
    int capHoldMinutes = 10;
    /// The mail of the alarm's end says so in its subject ("WXYZ Alarm ended"), so
    /// on a phone the all-clear does not look like a second alarm.
    bool endSubjectSaysEnd = false;

    [[nodiscard]] bool smtp() const { return !smtpServer.isEmpty(); }
    [[nodiscard]] static const SettingsTable<NotifySettings>& table();
    [[nodiscard]] QStringList problems() const;
    [[nodiscard]] static QString securityName(Security security);
};

} // namespace dovrane
