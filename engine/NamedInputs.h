#pragma once

#include "DataPaths.h"
#include "NamedInputSettings.h"
#include "StationEvent.h"

#include <QHash>

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

namespace dovrane {

class Account;
class AlarmLog;
class AudioInput;
class ClipRecorder;
class Clock;
class ClockTimer;
class NamedInputWatch;
class Settings;

/// The inputs beside the main one, as the [input.NAME] sections of Dovrane.ini
/// declare them: one source and one watch each. Each fault of a named input is
/// written to the alarm log with the input's name and raised as a station event
/// that names it; the station decides who else hears of it.
class NamedInputs : public QObject
{
    Q_OBJECT
public:
    using SourceMaker = std::function<std::unique_ptr<AudioInput>(const NamedInputSettings&)>;
    struct Parts
    {
        Clock& clock;
        Settings& settings;
        const Account& account;
        AlarmLog& log;
        DataPaths paths;
        SourceMaker makeSource;
    };

    NamedInputs(Parts parts, QObject* parent = nullptr);
    ~NamedInputs() override;

    /// Takes the sections as last applied: an input whose section changed starts
    /// afresh, one whose section went is stopped, the rest run on.
    void apply();
    /// The main input is monitored or not; inputs that follow it follow.
    void setMainMonitoring(bool on);
    /// Asked before any start is told (the station's maintenance window).
    void setMayRaise(std::function<bool()> check);

    [[nodiscard]] const std::vector<NamedInputWatch*>& watches() const { return m_watches; }
    /// Takes the silence alarm of the input named (every input when none is named)
    /// as seen: it is not told again. False when none waited.
    bool acknowledge(const QString& name = {});
    [[nodiscard]] bool awaitsAcknowledge(const QString& name) const;
    [[nodiscard]] NamedInputWatch* find(const QString& name) const;
    /// "Off-air Silence Alarm": what happened, for a log line, a mail or a message.
    [[nodiscard]] static QString what(StationEvent::Kind kind);

Q_SIGNALS:
    /// A fault of a named input began or ended; notify is the input's own say on
    /// whether it goes beyond the log, the journal and the status; why is ": " and
    /// the source's reason, or empty.
    void eventRaised(const dovrane::StationEvent& event, bool notify, const QString& why);
    /// An input was added, removed, went up or down, or changed its description.
    void changed();

private:
    void onEvent(NamedInputWatch* watch, StationEvent::Kind kind, qint32 seconds,
                 const QString& why);
    /// Tells again every silence alarm nobody acknowledged for [notify] repeat_minutes.
    void repeat();

    /// A silence alarm told and not acknowledged: the event, and when it was told.
    struct Waiting
    {
        StationEvent event;
        QDateTime told;
    };

    Parts m_parts;
    std::vector<std::unique_ptr<AudioInput>> m_sources;
    std::vector<NamedInputWatch*> m_watches;
    std::vector<ClipRecorder*> m_clips; ///< one per watch, at the same place
    QHash<QString, Waiting> m_waiting;
    ClockTimer* m_repeat = nullptr;
    std::function<bool()> m_mayRaise;
    bool m_mainMonitoring = false;
};

} // namespace dovrane
