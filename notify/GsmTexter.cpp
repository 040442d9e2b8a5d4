#include "GsmTexter.h"

#include "FloodCap.h"

#include "Clock.h"
#include "Outbox.h"
#include "SerialPort.h"
#include "SerialProfile.h"
#include "TextField.h"

#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcGsm, "dovrane.gsm")

namespace dovrane {

GsmTexter::GsmTexter(Outbox& outbox, const SerialProfile& profile, Clock& clock, SerialPort& port,
                     QObject* parent)
    : QObject(parent), m_outbox(outbox), m_profile(profile), m_clock(clock), m_port(port)
{
    m_poll = m_clock.createTimer(this);
    m_poll->setObjectName(QStringLiteral("tmrGsmPoll"));
    m_poll->setInterval(kPollMs);
    connect(m_poll, &ClockTimer::timeout, this, &GsmTexter::poll);
    m_outbox.addChannel(QStringLiteral("sms"), [this](const QString& id, const QJsonObject& p) {
        m_queue.enqueue({id, p.value(QStringLiteral("number")).toString(),
                         p.value(QStringLiteral("text")).toString()});
        startNext();
    });
}

void GsmTexter::post(const QString& number, const QString& text)
{
    const auto summary = [this, number](const QString& told) { send(number, told); };
    if (m_outbox.cap().admit(QStringLiteral("sms|") + number, summary))
        send(number, text);
}

void GsmTexter::send(const QString& number, const QString& text)
{
    m_outbox.post(QStringLiteral("sms"),
                  {{QStringLiteral("number"), number}, {QStringLiteral("text"), text}},
                  QStringLiteral("text message to %1").arg(number));
}

void GsmTexter::startNext()
{
    if (m_step != Step::Idle || m_queue.isEmpty())
        return;
    m_port.setCommPort(m_profile.comPort());
    if (!m_port.setSettings(m_profile.baudRate().trimmed() + QStringLiteral(",N,8,1")) ||
        !m_port.open()) {
        // The pager may hold the line; the outbox tries again later.
        m_step = Step::Mode;
        finish(false, m_port.lastErrorDescription());
        return;
    }
    m_opened = true;
    expect(Step::Mode, "AT+CMGF=1\r", kReplySecs);
}

void GsmTexter::expect(Step step, const QByteArray& bytes, double seconds)
{
    m_step = step;
    m_reply.clear();
    m_deadline = m_clock.now().addMSecs(qint64(seconds * 1000));
    if (!m_port.write(bytes)) {
        finish(false, m_port.lastErrorDescription());
        return;
    }
    m_poll->start();
}

void GsmTexter::poll()
{
    m_reply += m_port.readAll();
    const Job& job = m_queue.head();
    if (m_reply.contains("ERROR")) {
        finish(false, QStringLiteral("the modem answered ERROR"));
    } else if (m_step == Step::Mode && m_reply.contains("OK")) {
        const QString number = QString(job.number).remove(QLatin1Char('"')).simplified();
        expect(Step::Prompt, "AT+CMGS=\"" + TextField::encode(number) + "\"\r", kReplySecs);
    } else if (m_step == Step::Prompt && m_reply.contains('>')) {
        QByteArray text = TextField::encode(job.text);
        text.replace('\x1a', ' ').replace('\x1b', ' ');
        // What came with the prompt may already hold the answer to the text.
        const QByteArray rest = m_reply.mid(m_reply.indexOf('>') + 1);
        expect(Step::Sent, text + '\x1a', kSentSecs);
        m_reply.prepend(rest);
    } else if (m_step == Step::Sent && m_reply.contains("+CMGS:") &&
               m_reply.indexOf("OK", m_reply.indexOf("+CMGS:")) >= 0) {
        finish(true, {});
    } else if (m_clock.now() > m_deadline) {
        finish(false, QStringLiteral("no answer from the modem"));
    }
}

void GsmTexter::finish(bool ok, const QString& why)
{
    m_poll->stop();
    if (m_opened)
        m_port.close();
    m_opened = false;
    m_step = Step::Idle;
    const Job job = m_queue.dequeue();
    if (!ok)
        qCWarning(lcGsm).noquote() << "text message to" << job.number << "not sent:" << why;
    m_outbox.done(job.id, ok, why);
    startNext();
}

} // namespace dovrane
