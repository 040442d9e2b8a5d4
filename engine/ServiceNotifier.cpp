#include "ServiceNotifier.h"

#include "AlarmPlan.h"
#include "Clock.h"
#include "SilenceMonitor.h"
#include "Station.h"
#include "StatusService.h"
#include "WeeklySchedule.h"

#include <QLocale>
#include <QLoggingCategory>

#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <systemd/sd-daemon.h>

Q_LOGGING_CATEGORY(lcService, "dovrane.service", QtInfoMsg)

namespace dovrane {

ServiceNotifier::ServiceNotifier(Station& station, QObject* parent)
    : QObject(parent), m_station(station), m_active(qEnvironmentVariableIsSet("NOTIFY_SOCKET"))
{
    // A TCP socket from a .socket unit is the status port, held by systemd across
    // restarts so no other program can take it meanwhile.
    if (sd_listen_fds(1) >= 1 &&
        sd_is_socket_inet(SD_LISTEN_FDS_START, AF_UNSPEC, SOCK_STREAM, 1, 0) > 0) {
        ::fcntl(SD_LISTEN_FDS_START, F_SETFD, FD_CLOEXEC); // not left to the mail program
        station.status().adoptListener(SD_LISTEN_FDS_START);
    }
    if (!m_active)
        return;
    uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) > 0)
        m_watchdogMs = std::max<qint64>(1, qint64(usec / 2000));
    qCDebug(lcService) << "notifying the service manager; watchdog every" << m_watchdogMs << "ms";

    const SilenceMonitor& monitor = station.monitor();
    connect(monitor.clockTimer(), &ClockTimer::timeout, this, &ServiceNotifier::tick);
    connect(&monitor, &SilenceMonitor::alarmLightChanged, this, [this](bool on) {
        if (on)
            m_alarmSince = m_station.services().clock.now();
        updateStatus();
    });
    connect(&monitor, &SilenceMonitor::monitoringChanged, this, &ServiceNotifier::updateStatus);
}

QString ServiceNotifier::statusText() const
{
    const SilenceMonitor& monitor = m_station.monitor();
    if (monitor.alarmOn())
        return QStringLiteral("ALARM since ") + m_alarmSince.toString(QStringLiteral("HH:mm:ss"));
    if (monitor.isRunning())
        return QStringLiteral("Monitoring, no alarm");
    if (m_station.notMonitoringInWindow())
        return QStringLiteral("NOT MONITORING (scheduled window)");
    const std::optional<QDateTime> next =
        nextScheduledStart(m_station.plan(), m_station.services().clock.now());
    if (!next)
        return QStringLiteral("Idle, no scheduled start");
    // English day names whatever the locale: the line is read in the journal and
    // by scripts.
    const QString format =
        next->time().second() == 0 ? QStringLiteral("ddd HH:mm") : QStringLiteral("ddd HH:mm:ss");
    return QStringLiteral("Idle until ") + QLocale::c().toString(*next, format);
}

void ServiceNotifier::ready()
{
    m_ready = true;
    m_status = statusText();
    send("READY=1\nSTATUS=" + m_status.toUtf8());
}

void ServiceNotifier::reloading()
{
    send("RELOADING=1");
}

void ServiceNotifier::stopping()
{
    send("STOPPING=1");
}

void ServiceNotifier::tick()
{
    if (m_watchdogMs > 0 &&
        (!m_sinceWatchdog.isValid() || m_sinceWatchdog.elapsed() >= m_watchdogMs)) {
        send("WATCHDOG=1");
        m_sinceWatchdog.start();
    }
    // The next scheduled start moves on as time passes, and the plan may have
    // been read again.
    updateStatus();
}

void ServiceNotifier::updateStatus()
{
    if (!m_ready)
        return;
    const QString status = statusText();
    if (status == m_status)
        return;
    m_status = status;
    send("STATUS=" + status.toUtf8());
}

void ServiceNotifier::send(const QByteArray& state)
{
    if (!m_active)
        return;
    const int result = sd_notify(0, state.constData());
    // Said once: the watchdog would repeat it every few seconds.
    if (result < 0 && !m_sendFailed) {
        m_sendFailed = true;
        qCWarning(lcService) << "cannot notify the service manager:" << std::strerror(-result);
    }
}

} // namespace dovrane
