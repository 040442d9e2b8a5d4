#pragma once

#include "MailTransport.h"
#include "NotifySettings.h"

#include <QThread>

#include <atomic>

namespace dovrane {

class Clock;

/// Mail straight to an SMTP server through libcurl (plain, STARTTLS or TLS, with
/// or without a login). libcurl runs on a thread of its own, one message at a time
/// in send order, so a slow or unreachable server never holds up the caller.
class SmtpTransport final : public MailTransport
{
    Q_OBJECT
public:
    static constexpr int kFailed = 75; ///< EX_TEMPFAIL, as the sendmail program says it

    explicit SmtpTransport(Clock& clock, QObject* parent = nullptr);
    ~SmtpTransport() override;

    void configure(const NotifySettings& settings) { m_settings = settings; }

    [[nodiscard]] qint64 sessionId() const override { return m_session; }
    bool signOn() override;
    void signOff() override { m_session = 0; }
    void send(const MailMessage& message) override;

private:
    /// Runs on the worker thread: one whole SMTP session; empty when it went through.
    [[nodiscard]] QString transfer(const NotifySettings& settings, const QStringList& recipients,
                                   const QByteArray& message);

    Clock& m_clock;
    NotifySettings m_settings;
    qint64 m_session = 0;
    quint64 m_count = 0;
    QThread m_thread;
    QObject* m_worker = nullptr;
    std::atomic_bool m_abort = false;
};

} // namespace dovrane
