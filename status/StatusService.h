#pragma once

#include "DataPaths.h"
#include "StatusReport.h"
#include "StatusSettings.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QSslConfiguration>
#include <QTimer>

#include <functional>
#include <memory>

namespace dovrane {

class Account;
class AlarmLog;
class AlarmPlan;
class AudioInput;
class Clock;
class ErrorReporter;
class Settings;
class SilenceMonitor;
class StatusCounters;
class StatusServer;

/// What the remote status reads; the station hands in its own parts.
struct StatusSources
{
    const SilenceMonitor& monitor;
    AudioInput& audio;
    const Account& account;
    const AlarmPlan& plan;
    const AlarmLog& log;
    Clock& clock;
    const StatusCounters& counters;
    Settings& settings;
    ErrorReporter& errors;
    /// Adds what the station knows beyond these parts: suspension, acknowledgement,
    /// outbox, faults and, when full, the latest clips.
    std::function<void(StatusFacts& facts, bool full)> stationFacts;
    /// Runs a command that changes the station ("ack", "suspend MINUTES", "resume"):
    /// whether it was done, and the answer for people.
    /// by names the client: "HTTP from 10.0.0.7".
    std::function<std::pair<bool, QString>(const QString& name, const QString& arguments,
                                           const QString& by)>
        command;
};

/// The remote status of one station: counts what the station does, and serves
/// /metrics, /status and the status page while [status] says so, starting again
/// on the new address whenever the settings change.
class StatusService : public QObject
{
    Q_OBJECT
public:
    explicit StatusService(StatusSources sources, QObject* parent = nullptr);
    ~StatusService() override;

    /// Reads [status] again and starts, moves or stops the endpoint.
    void apply();
    /// The port listened on; 0 when off, or while another program holds it.
    [[nodiscard]] quint16 port() const;
    /// Serves on this listening socket, handed over by the service manager, in place
    /// of listening on the address in [status]; the station keeps it across changes.
    void adoptListener(int descriptor) { m_inherited = descriptor; }

    [[nodiscard]] StatusFacts facts(bool full = false) const;
    /// What a GET of url answers, or a POST of an action path does.
    [[nodiscard]] StatusReply answer(const QUrl& url, const QHostAddress& client);

    /// Paths that change the station: POST only, and always with the token.
    static const QStringList kActions;

private:
    [[nodiscard]] QStringList logTail() const;
    /// Listens as m_current says; while it cannot, tries again every few seconds.
    void listen();

    StatusSources m_sources;
    StatusSettings m_current;
    std::unique_ptr<StatusServer> m_server;
    QSslConfiguration m_tls;
    int m_inherited = -1;
    QTimer m_retry;
    /// Since the last time a failure to listen was reported; invalid while listening.
    QElapsedTimer m_failing;
    bool m_inputLost = false;
    quint64 m_buffers = 0;
    quint64 m_captureErrors = 0;
    quint64 m_alarms = 0;
    QDateTime m_lastAlarm;
};

} // namespace dovrane
