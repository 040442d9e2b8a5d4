#include "SmtpTransport.h"

#include "Clock.h"
#include "MailFormat.h"
#include "OutsideText.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QPointer>

#include <curl/curl.h>

Q_LOGGING_CATEGORY(lcSmtp, "dovrane.smtp")

namespace dovrane {

namespace {

constexpr long kConnectTimeoutSecs = 20;
constexpr long kTimeoutSecs = 60;

struct Reader
{
    QByteArray data;
    qsizetype offset = 0;
};

size_t readChunk(char* buffer, size_t size, size_t count, void* user)
{
    auto* reader = static_cast<Reader*>(user);
    const qsizetype n =
        std::min<qsizetype>(qsizetype(size * count), reader->data.size() - reader->offset);
    memcpy(buffer, reader->data.constData() + reader->offset, size_t(n));
    reader->offset += n;
    return size_t(n);
}

int progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<std::atomic_bool*>(user)->load() ? 1 : 0;
}

/// "Name <a@b>" or "a@b" to "<a@b>".
QByteArray envelopeAddress(const QString& sender)
{
    const qsizetype open = sender.lastIndexOf(QLatin1Char('<'));
    const QString address =
        open >= 0 ? sender.mid(open + 1).section(QLatin1Char('>'), 0, 0) : sender.trimmed();
    return '<' + address.toUtf8() + '>';
}

} // namespace

SmtpTransport::SmtpTransport(Clock& clock, QObject* parent) : MailTransport(parent), m_clock(clock)
{
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("smtp"));
}

SmtpTransport::~SmtpTransport()
{
    // A transfer under way stops at its next progress call; what it carried stays
    // in the outbox for the next start.
    m_abort = true;
    // finished() deletes the worker only if the thread ever ran.
    if (!m_thread.isRunning() && !m_thread.isFinished())
        delete m_worker;
    m_thread.quit();
    m_thread.wait();
}

bool SmtpTransport::signOn()
{
    if (m_settings.smtpServer.isEmpty()) {
        Q_EMIT failed(kFailed, QStringLiteral("No SMTP server set"));
        return false;
    }
    m_session = 1;
    return true;
}

void SmtpTransport::send(const MailMessage& message)
{
    QStringList recipients;
    for (const QString& address : message.recipients)
        if (const QString safe = MailFormat::safeRecipient(address); !safe.isEmpty())
            recipients << safe;
    if (recipients.isEmpty()) {
        Q_EMIT failed(65, QStringLiteral("No usable e-mail address in %1")
                              .arg(message.recipients.join(QStringLiteral(", "))));
        Q_EMIT finished(false);
        return;
    }
    MailFormat::Envelope envelope;
    envelope.from = m_settings.smtpSender;
    envelope.date = m_clock.now();
    envelope.messageId = QStringLiteral("%1.%2.%3@dovrane")
                             .arg(envelope.date.toMSecsSinceEpoch())
                             .arg(QCoreApplication::applicationPid())
                             .arg(++m_count);
    const QByteArray bytes =
        MailFormat::compose(recipients, message.subject, message.body, envelope);
    if (!m_thread.isRunning()) {
        // libcurl, OpenSSL and the thread only once a mail goes this way: a station
        // that never mails through SMTP does not carry them.
        static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
        Q_UNUSED(initialised);
        m_thread.start();
    }
    const NotifySettings settings = m_settings;
    QPointer<SmtpTransport> self(this);
    QMetaObject::invokeMethod(m_worker, [this, self, settings, recipients, bytes] {
        const QString why = transfer(settings, recipients, bytes);
        QMetaObject::invokeMethod(self.data(), [self, why] {
            if (!self)
                return;
            if (!why.isEmpty())
                Q_EMIT self->failed(kFailed, why);
            else
                Q_EMIT self->delivered();
            Q_EMIT self->finished(why.isEmpty());
        });
    });
}

QString SmtpTransport::transfer(const NotifySettings& s, const QStringList& recipients,
                                const QByteArray& message)
{
    CURL* curl = curl_easy_init();
    if (!curl)
        return QStringLiteral("SMTP: libcurl could not start");
    const bool tls = s.smtpSecurity == NotifySettings::Security::Tls;
    const QByteArray url =
        QStringLiteral("%1://%2:%3")
            .arg(tls ? QStringLiteral("smtps") : QStringLiteral("smtp"), s.smtpServer)
            .arg(s.smtpPort)
            .toUtf8();
    const QByteArray from = envelopeAddress(s.smtpSender);
    const QByteArray user = s.smtpUser.toUtf8();
    const QByteArray password = s.smtpPassword.toUtf8();
    const QByteArray caFile = s.smtpCaFile.toUtf8();
    curl_slist* rcpt = nullptr;
    for (const QString& to : recipients)
        rcpt = curl_slist_append(rcpt, ('<' + to.toUtf8() + '>').constData());
    Reader reader{message, 0};
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_USE_SSL,
                     s.smtpSecurity == NotifySettings::Security::None ? long(CURLUSESSL_NONE)
                                                                      : long(CURLUSESSL_ALL));
    if (!caFile.isEmpty())
        curl_easy_setopt(curl, CURLOPT_CAINFO, caFile.constData());
    if (!user.isEmpty()) {
        curl_easy_setopt(curl, CURLOPT_USERNAME, user.constData());
        curl_easy_setopt(curl, CURLOPT_PASSWORD, password.constData());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readChunk);
    curl_easy_setopt(curl, CURLOPT_READDATA, &reader);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_CRLF, 1L); // the message has LF line ends
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSecs);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, kTimeoutSecs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &m_abort);
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    const CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (code == CURLE_OK) {
        qCInfo(lcSmtp) << "sent through" << url;
        return {};
    }
    return QStringLiteral("SMTP server %1:%2 refused or unreachable: %3")
        .arg(s.smtpServer)
        .arg(s.smtpPort)
        .arg(OutsideText::redacted(QString::fromUtf8(error[0] ? error : curl_easy_strerror(code))));
}

} // namespace dovrane
