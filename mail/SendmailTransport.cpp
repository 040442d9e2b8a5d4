#include "SendmailTransport.h"

#include "Clock.h"
#include "MailFormat.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QSysInfo>

#include <algorithm>

namespace dovrane {

Q_LOGGING_CATEGORY(lcMail, "dovrane.mail")

namespace {

constexpr int kExitWaitMs = 2000;

const QRegularExpression& plainAtom()
{
    static const QRegularExpression atom(QStringLiteral("^[A-Za-z0-9._-]+$"));
    return atom;
}

QString hostName()
{
    const QString host = QSysInfo::machineHostName();
    return plainAtom().match(host).hasMatch() ? host : QStringLiteral("localhost");
}

QString defaultFrom()
{
    QString user = qEnvironmentVariable("USER");
    if (user.isEmpty())
        user = qEnvironmentVariable("LOGNAME");
    const QString host = QSysInfo::machineHostName();
    if (!plainAtom().match(user).hasMatch() || !plainAtom().match(host).hasMatch())
        return {};
    return QStringLiteral("Dovrane <%1@%2>").arg(user, host);
}

} // namespace

SendmailTransport::SendmailTransport(Clock& clock, QObject* parent)
    : MailTransport(parent), m_clock(clock), m_from(defaultFrom())
{
    m_watchdog = m_clock.createTimer(this);
    connect(m_watchdog, &ClockTimer::timeout, this, [this] {
        m_watchdog->stop();
        if (m_process && m_process->state() != QProcess::NotRunning) {
            m_timedOut = true;
            m_process->kill();
        }
    });
}

SendmailTransport::~SendmailTransport()
{
    if (!m_queue.isEmpty())
        qCWarning(lcMail) << m_queue.size()
                          << "queued message(s) left in the outbox for the next start";
    if (m_process) {
        // The program ends with us. Waiting for it here, briefly, reaps it and keeps
        // QProcess from waiting up to 30 s on its own when it is deleted.
        m_process->disconnect(this);
        m_process->kill();
        m_process->waitForFinished(kExitWaitMs);
    }
}

QString SendmailTransport::findProgram()
{
    const QString onPath = QStandardPaths::findExecutable(QStringLiteral("sendmail"));
    if (!onPath.isEmpty())
        return onPath;
    for (const QString& candidate :
         {QStringLiteral("/usr/sbin/sendmail"), QStringLiteral("/usr/lib/sendmail")}) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isExecutable())
            return candidate;
    }
    return {};
}

bool SendmailTransport::signOn()
{
    m_program = findProgram();
    if (m_program.isEmpty()) {
        fail(kNoProgram, QStringLiteral("No mail program found (looked for sendmail on PATH, "
                                        "/usr/sbin/sendmail and /usr/lib/sendmail); "
                                        "install a sendmail-compatible program such as msmtp"));
        return false;
    }
    m_session = ++m_nextSession;
    qCDebug(lcMail) << "signed on, mail program" << m_program;
    return true;
}

void SendmailTransport::signOff()
{
    m_session = 0;
}

int SendmailTransport::pending() const
{
    return int(m_queue.size()) + (m_process ? 1 : 0);
}

void SendmailTransport::send(const MailMessage& message)
{
    QStringList recipients;
    for (const QString& address : message.recipients) {
        const QString safe = MailFormat::safeRecipient(address);
        if (safe.isEmpty()) {
            fail(kBadAddress, QStringLiteral("Not a usable e-mail address: \"%1\"")
                                  .arg(MailFormat::oneLine(address).trimmed()));
        } else {
            recipients.append(safe);
        }
    }
    if (recipients.isEmpty()) {
        Q_EMIT finished(false);
        return;
    }

    QString program = m_program.isEmpty() ? findProgram() : m_program;
    if (program.isEmpty()) {
        fail(kNoProgram, QStringLiteral("No mail program found; the message to %1 was not sent")
                             .arg(recipients.join(QStringLiteral(", "))));
        Q_EMIT finished(false);
        return;
    }

    ++m_messageCount;
    MailFormat::Envelope envelope;
    envelope.from = m_from;
    envelope.date = m_clock.now();
    envelope.messageId = QStringLiteral("%1.%2.%3@%4")
                             .arg(envelope.date.toMSecsSinceEpoch())
                             .arg(QCoreApplication::applicationPid())
                             .arg(m_messageCount)
                             .arg(hostName());
    m_queue.enqueue(Job{program, MailFormat::arguments(recipients),
                        MailFormat::compose(recipients, message.subject, message.body, envelope)});
    startNext();
}

void SendmailTransport::startNext()
{
    if (m_process || m_queue.isEmpty())
        return;
    const Job job = m_queue.dequeue();
    m_timedOut = false;
    m_errorText.clear();
    m_process = new QProcess(this);
    m_process->setProgram(job.program);
    m_process->setArguments(job.arguments);
    m_process->setStandardOutputFile(QProcess::nullDevice());

    QProcess* process = m_process;
    const QByteArray input = job.input;
    const QString program = job.program;
    connect(process, &QProcess::started, this, [process, input] {
        process->write(input);
        process->closeWriteChannel();
    });
    connect(process, &QProcess::readyReadStandardError, this, [this, process] {
        const QByteArray chunk = process->readAllStandardError();
        if (process == m_process && m_errorText.size() < kErrorTextLimit)
            m_errorText += chunk.left(kErrorTextLimit - m_errorText.size());
    });
    connect(process, &QProcess::errorOccurred, this,
            [this, process, program](QProcess::ProcessError e) {
                if (e != QProcess::FailedToStart || process != m_process)
                    return;
                fail(kStartFailed, QStringLiteral("Mail program %1 could not be started: %2")
                                       .arg(program, process->errorString()));
                Q_EMIT finished(false);
                finishJob();
            });
    connect(
        process, &QProcess::finished, this,
        [this, process, program](int exitCode, QProcess::ExitStatus status) {
            if (process != m_process)
                return;
            const QByteArray rest = process->readAllStandardError();
            m_errorText += rest.left(std::max<qsizetype>(0, kErrorTextLimit - m_errorText.size()));
            const QString errors =
                MailFormat::oneLine(QString::fromLocal8Bit(m_errorText)).simplified();
            if (m_timedOut) {
                fail(kTimedOut,
                     QStringLiteral("Mail program %1 did not finish within %2 s and was stopped")
                         .arg(program)
                         .arg(m_timeLimitMs / 1000.0));
            } else if (status == QProcess::CrashExit) {
                fail(kCrashed, QStringLiteral("Mail program %1 crashed").arg(program));
            } else if (exitCode != 0) {
                fail(exitCode,
                     QStringLiteral("Mail program %1 failed: %2")
                         .arg(program,
                              errors.isEmpty() ? QStringLiteral("no explanation given") : errors));
            } else {
                Q_EMIT delivered();
            }
            Q_EMIT finished(!m_timedOut && status == QProcess::NormalExit && exitCode == 0);
            finishJob();
        });

    m_watchdog->setInterval(m_timeLimitMs);
    m_watchdog->start();
    m_process->start(QIODevice::ReadWrite);
}

void SendmailTransport::finishJob()
{
    m_watchdog->stop();
    if (m_process) {
        m_process->disconnect(this);
        m_process->deleteLater();
        m_process = nullptr;
    }
    startNext();
}

void SendmailTransport::fail(int number, const QString& description)
{
    qCWarning(lcMail).noquote() << number << description;
    Q_EMIT failed(number, description);
}

} // namespace dovrane
