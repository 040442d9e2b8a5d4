#pragma once

#include "StationEvent.h"

#include <QHash>
#include <QObject>

class QProcess;

namespace dovrane {

class Clock;

/// Runs the configured program on each event, never through a shell, with the
/// event in DOVRANE_EVENT, DOVRANE_FACILITY, DOVRANE_TIME and
/// DOVRANE_SILENCE_SECONDS. At most one runs per event kind (a second one while it
/// runs is skipped), and one still running after 30 s is killed.
class HookRunner : public QObject
{
    Q_OBJECT
public:
    static constexpr int kTimeLimitMs = 30000;

    HookRunner(Clock& clock, QObject* parent = nullptr);
    ~HookRunner() override;

    void run(const QString& program, const StationEvent& event, const QString& facility);

private:
    Clock& m_clock;
    QHash<StationEvent::Kind, QProcess*> m_running;
};

} // namespace dovrane
