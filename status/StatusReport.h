#pragma once

#include "StatusServer.h"

#include <QDateTime>
#include <QMap>
#include <QPair>
#include <QStringList>

#include <optional>

namespace dovrane {

/// One moment of a station, as the remote status tells it. Holds nothing that
/// names a person: no account, no address, no number.
/// One named input as the status tells it.
struct InputFacts
{
    QString name;
    QString source; ///< a stream's address with scheme, host and path only
    QString state;  ///< "off", "idle", "down", "silence", "fault" or "ok"
    bool alarm = false;
    bool up = true;
    bool watched = false;
    bool notify = true;
    qint32 silenceSecs = 0;
    qint16 peakLeft = 0;
    qint16 peakRight = 0;
    QString description; ///< codec, rate and channels, as the source says
    QString title;       ///< what a stream says is playing
    QString downReason;
    /// A stream's player buffer: how far behind the air it is heard; -1 for a card.
    int bufferMs = -1;
    QStringList activeFaults;
    QDateTime suspendedUntil;
};

struct StatusFacts
{
    QString facility;
    QString version;
    bool monitoring = false;
    bool alarm = false;
    bool inputLost = false;
    qint32 silenceSecs = 0;
    qint16 peakLeft = 0;
    qint16 peakRight = 0;
    quint64 buffers = 0;
    quint64 captureErrors = 0;
    quint64 alarms = 0;
    QMap<QPair<QString, QString>, quint64> notifications;
    QDateTime lastAlarm;
    QDateTime now;
    bool windowToday = false;
    qint32 todayStart = 0;
    qint32 todayStop = 0;
    bool windowActive = false;
    /// Inside a scheduled window (or around the clock) with monitoring off.
    bool notMonitoringInWindow = false;
    std::optional<QDateTime> nextStart;
    std::optional<QDateTime> nextStop;
    QStringList logTail;
    /// When suspended alarms come back; invalid when they are not suspended.
    QDateTime suspendedUntil;
    /// Someone took the alarm under way.
    bool acknowledged = false;
    int outboxPending = 0;
    int outboxLost = 0;
    /// Machine names of the faults under way beside silence ("input_lost", "hum", ...).
    QStringList activeFaults;
    /// Names of the newest sound clips of faults, newest first.
    QStringList latestClips;
    /// The status port is held by this station (false while another program has it).
    bool statusListening = false;
    /// Mains hum under the programme in dBFS, while the hum detector listens.
    std::optional<double> humDbfs;
    /// The inputs beside the main one; none without [input.NAME] sections.
    QList<InputFacts> inputs;

    /// INPUT LOST, ALARM, SUSPENDED (monitoring, alarms suspended), MONITORING,
    /// NOT MONITORING (scheduled window) or IDLE, the first that holds.
    [[nodiscard]] QString state() const;
};

/// Prometheus text exposition format 0.0.4.
[[nodiscard]] QByteArray metricsText(const StatusFacts& facts);
/// The facts for /status and the page.
[[nodiscard]] QByteArray statusJson(const StatusFacts& facts);
/// A peak sample in dB relative to full scale; nothing for a zero peak.
[[nodiscard]] std::optional<double> peakDbfs(qint16 peak);
/// An alarm log line with phone numbers and e-mail addresses blanked out.
[[nodiscard]] QString withoutContacts(const QString& line);

} // namespace dovrane
