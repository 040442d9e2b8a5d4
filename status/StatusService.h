#pragma once

#include "DataPaths.h"
#include "StatusReport.h"
#include "StatusSettings.h"

#include <QDateTime>
#include <QObject>

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
    /// The port listened on; 0 when off.
    [[nodiscard]] quint16 port() const;

    [[nodiscard]] StatusFacts facts() const;
    [[nodiscard]] StatusReply answer(const QString& path) const;

private:
    [[nodiscard]] QStringList logTail() const;

    StatusSources m_sources;
    StatusSettings m_current;
    std::unique_ptr<StatusServer> m_server;
    bool m_inputLost = false;
    quint64 m_buffers = 0;
    quint64 m_captureErrors = 0;
    quint64 m_alarms = 0;
    QDateTime m_lastAlarm;
};

} // namespace dovrane
