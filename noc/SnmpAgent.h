#pragma once

#include "NocSettings.h"
#include "StationEvent.h"

#include <QHash>
#include <QObject>
#include <QTimer>

#include <functional>

class QSocketNotifier;

namespace dovrane {

/// Dovrane's MIB (packaging/snmp/DOVRANE-MIB.txt) served as an AgentX subagent of
/// the machine's snmpd, and a notification for every station event. net-snmp keeps
/// its state per process, so there is one started agent at most, and it runs on the
/// Qt event loop: a notifier per socket net-snmp waits on and a timer for its next
/// alarm, never a blocking select.
class SnmpAgent : public QObject
{
    Q_OBJECT
public:
    explicit SnmpAgent(std::function<NocStatus()> status, QObject* parent = nullptr);
    ~SnmpAgent() override;

    /// Starts the subagent when enabled; the trap sinks follow each call, the socket
    /// only the start.
    void apply(const SnmpSettings& settings);
    /// A row of the last alarms table and a notification to the master and sinks.
    void notify(const StationEvent& event);

    [[nodiscard]] NocStatus status() const { return m_status(); }
    /// The number of rows the last alarms table keeps.
    static constexpr int kRows = 20;

private:
    void start(const SnmpSettings& settings);
    void stop();
    void openSinks(const SnmpSettings& settings);
    void closeSinks();
    /// Lets net-snmp do what is due, then watches what it waits on next.
    void pump();
    void watch();

    std::function<NocStatus()> m_status;
    bool m_started = false;
    QString m_socket;
    QList<void*> m_sinks;
    QHash<int, QSocketNotifier*> m_notifiers;
    QTimer m_timer;
    void* m_table = nullptr;
    QList<void*> m_rows;
    int m_nextRow = 1;
};

} // namespace dovrane
