#pragma once

#include "MailTransport.h"

#include <QByteArray>
#include <QProcess>
#include <QQueue>
#include <QStringList>

namespace dovrane {

class Clock;
class ClockTimer;

/// The mail system of a Unix desktop: the local sendmail-compatible program (sendmail,
/// msmtp, ssmtp, postfix...). Each message runs the program once with the recipients
/// as arguments and the message on its standard input. The program runs without
/// blocking the caller, one message at a time in the order they were sent, and is
/// killed when it takes longer than the time limit. Every failure is reported through
/// failed(); the numbers follow the sendmail exit codes (<sysexits.h>).
class SendmailTransport final : public MailTransport
{
    Q_OBJECT
public:
    static constexpr int kNoProgram = 69;   ///< EX_UNAVAILABLE
    static constexpr int kBadAddress = 65;  ///< EX_DATAERR
    static constexpr int kCrashed = 70;     ///< EX_SOFTWARE
    static constexpr int kStartFailed = 71; ///< EX_OSERR
    static constexpr int kTimedOut = 75;    ///< EX_TEMPFAIL
    static constexpr int kDefaultTimeLimitMs = 60000;
    /// Bytes of the program's error output kept for the report; the rest is read and
    /// dropped, so a program that floods it cannot fill the memory.
    static constexpr int kErrorTextLimit = 512;

    explicit SendmailTransport(Clock& clock, QObject* parent = nullptr);
    ~SendmailTransport() override;

    [[nodiscard]] qint64 sessionId() const override { return m_session; }
    /// Finds the mail program: sendmail on PATH, then /usr/sbin/sendmail, then
    /// /usr/lib/sendmail.
    bool signOn() override;
    void signOff() override;
    void send(const MailMessage& message) override;

    void setTimeLimit(int ms) { m_timeLimitMs = ms; }
    /// The From header; empty leaves it to the mail program. Defaults to
    /// "Dovrane <user@host>" when both are known.
    void setFrom(const QString& from) { m_from = from; }
    [[nodiscard]] QString program() const { return m_program; }
    /// Messages handed over and not finished yet, the running one included.
    [[nodiscard]] int pending() const;

    /// The program that signOn() would use, or empty when there is none.
    [[nodiscard]] static QString findProgram();

private:
    struct Job
    {
        QString program;
        QStringList arguments;
        QByteArray input;
    };

    void startNext();
    void finishJob();
    void fail(int number, const QString& description);

    Clock& m_clock;
    qint64 m_session = 0;
    qint64 m_nextSession = 0;
    QString m_program;
    QString m_from;
    int m_timeLimitMs = kDefaultTimeLimitMs;
    QQueue<Job> m_queue;
    QProcess* m_process = nullptr;
    ClockTimer* m_watchdog = nullptr;
    bool m_timedOut = false;
    QByteArray m_errorText;
    quint64 m_messageCount = 0;
};

} // namespace dovrane
