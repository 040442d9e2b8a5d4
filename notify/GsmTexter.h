#pragma once

#include <QDateTime>
#include <QObject>
#include <QQueue>
#include <QString>

namespace dovrane {

class Clock;
class ClockTimer;
class Outbox;
class SerialPort;
class SerialProfile;

/// Text messages through a GSM modem on the pager's serial line, one number after
/// another: AT+CMGF=1, AT+CMGS="<number>", the text after the ">" prompt ended by
/// Ctrl-Z, then "+CMGS:" and OK, or ERROR. Like the pager dialogue, each wait is a
/// state polled by a short timer, never a nested event loop; a failure goes back to
/// the outbox, which tries again later.
class GsmTexter : public QObject
{
    Q_OBJECT
public:
    static constexpr int kPollMs = 20;
    static constexpr double kReplySecs = 5;
    static constexpr double kSentSecs = 60;

    GsmTexter(Outbox& outbox, const SerialProfile& profile, Clock& clock, SerialPort& port,
              QObject* parent = nullptr);

    void post(const QString& number, const QString& text);

private:
    /// Into the outbox, past the cap.
    void send(const QString& number, const QString& text);
    enum class Step
    {
        Idle,
        Mode,
        Prompt,
        Sent
    };
    struct Job
    {
        QString id;
        QString number;
        QString text;
    };

    void startNext();
    void poll();
    void expect(Step step, const QByteArray& bytes, double seconds);
    void finish(bool ok, const QString& why);

    Outbox& m_outbox;
    const SerialProfile& m_profile;
    Clock& m_clock;
    SerialPort& m_port;
    ClockTimer* m_poll = nullptr;
    QQueue<Job> m_queue;
    Step m_step = Step::Idle;
    bool m_opened = false;
    QByteArray m_reply;
    QDateTime m_deadline;
};

} // namespace dovrane
