#pragma once

#include "NocSettings.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>

class QNetworkAccessManager;
class QNetworkReply;

namespace dovrane {

/// Tells a push monitor every few seconds that Dovrane runs and what it is doing:
/// GET url?state=monitoring (alarm, idle), or a POST of the state as JSON. A beat
/// still in flight makes the next one skip, so a slow monitor never gathers a pile
/// of requests; failures are only written to the diagnostics.
class Heartbeat : public QObject
{
    Q_OBJECT
public:
    explicit Heartbeat(std::function<NocStatus()> status, QObject* parent = nullptr);

    void apply(const HeartbeatSettings& settings);
    /// A beat now, e.g. when an alarm is raised, so the monitor need not wait.
    void beat();

private:
    std::function<NocStatus()> m_status;
    HeartbeatSettings m_settings;
    QTimer m_timer;
    QNetworkAccessManager* m_network = nullptr;
    QPointer<QNetworkReply> m_inFlight;
};

} // namespace dovrane
