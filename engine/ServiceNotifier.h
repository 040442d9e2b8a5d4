#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

namespace dovrane {

class Station;

/// Tells systemd how the headless station is doing, through the notification
/// socket of a Type=notify unit: READY=1 once the data files are loaded, a
/// one-line STATUS= whenever it changes, WATCHDOG=1 from the monitor's clock tick
/// (so a stuck event loop stops the pings and gets the process restarted), and
/// RELOADING=1 / STOPPING=1 around a reload and the end. Without NOTIFY_SOCKET in
/// the environment it sends nothing. A listening TCP socket passed by a .socket unit
/// is handed to the remote status as its port.
class ServiceNotifier : public QObject
{
    Q_OBJECT
public:
    explicit ServiceNotifier(Station& station, QObject* parent = nullptr);

    /// A service manager is listening.
    [[nodiscard]] bool isActive() const { return m_active; }
    /// Watchdog pings are due this often (half the manager's limit); 0 when the
    /// unit has no watchdog.
    [[nodiscard]] qint64 watchdogIntervalMs() const { return m_watchdogMs; }
    /// The status line for the monitor and the schedule as they are now.
    [[nodiscard]] QString statusText() const;

    /// After Station::start() or a reload: ready, with the status.
    void ready();
    void reloading();
    void stopping();

private:
    void tick();
    void updateStatus();
    void send(const QByteArray& state);

    Station& m_station;
    bool m_active = false;
    bool m_ready = false;
    bool m_sendFailed = false;
    qint64 m_watchdogMs = 0;
    QElapsedTimer m_sinceWatchdog;
    QDateTime m_alarmSince;
    QString m_status;
};

} // namespace dovrane
