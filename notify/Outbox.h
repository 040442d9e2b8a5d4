#pragma once

#include <QDateTime>
#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>

#include <functional>

namespace dovrane {

class Clock;
class ClockTimer;
class ErrorReporter;
class FloodCap;

/// Every notification (mail, webhook, text message) on its way out. Each one is
/// written to its own file in the outbox folder before a channel gets it, and the
/// file goes only when the channel says it was delivered; so a failed delivery is
/// tried again (30 s or the first wait set, 1, 2, 5, 10 min, then every 10 min) and a
/// crash or exit loses
/// nothing: the next start sends what is left. After 24 h a message is given up and
/// reported as lost.
class Outbox : public QObject
{
    Q_OBJECT
public:
    /// Hands one message to its channel; the channel answers with done(id, ...).
    using Channel = std::function<void(const QString& id, const QJsonObject& payload)>;

    static constexpr qint64 kGiveUpSecs = 24 * 3600;

    Outbox(Clock& clock, QString folder, ErrorReporter& errors, QObject* parent = nullptr);

    void addChannel(const QString& name, Channel channel);
    /// Stores the message and hands it to its channel at once.
    void post(const QString& channel, const QJsonObject& payload, const QString& summary);
    /// The channel's answer for message id.
    void done(const QString& id, bool delivered, const QString& why = {});
    /// Drops every message waiting for channel (its path was switched off): nothing
    /// more is tried, and one under way is forgotten when it ends.
    void withdraw(const QString& channel);
    /// Picks up the messages a previous run left and sends them; call once the
    /// channels are added.
    void resume();

    /// What each path may send to each recipient; every poster asks it first.
    [[nodiscard]] FloodCap& cap() const { return *m_cap; }
    [[nodiscard]] int pending() const { return int(m_messages.size()); }
    [[nodiscard]] int lost() const { return m_lost; }
    [[nodiscard]] const QString& folder() const { return m_folder; }
    /// Seconds before try n + 1 after n failures (n from 1).
    [[nodiscard]] int retryWait(int failures) const;
    /// The wait after the first failure; the later ones stay.
    void setFirstWait(int seconds) { m_firstWait = seconds; }
    /// Failed tries so far of message id; 0 for its first try, -1 when unknown.
    [[nodiscard]] int failures(const QString& id) const;

Q_SIGNALS:
    void countsChanged(int pending, int lost);
    /// One try of a message on channel ended: result is "sent", "failed" or, for a
    /// message given up, "lost".
    void attempted(const QString& channel, const QString& result);

private:
    struct Message
    {
        QString channel;
        QJsonObject payload;
        QString summary;
        QDateTime created;
        QDateTime due;
        int failures = 0;
        bool inFlight = false;
        bool withdrawn = false;
    };

    void attempt(const QString& id);
    void schedule();
    void onTimer();
    void remove(const QString& id);
    [[nodiscard]] QString pathOf(const QString& id) const;
    [[nodiscard]] bool store(const QString& id, const Message& message);

    Clock& m_clock;
    QString m_folder;
    ErrorReporter& m_errors;
    ClockTimer* m_timer = nullptr;
    FloodCap* m_cap = nullptr;
    QHash<QString, Channel> m_channels;
    QHash<QString, Message> m_messages;
    quint64 m_sequence = 0;
    int m_lost = 0;
    int m_firstWait = 30;
};

} // namespace dovrane
