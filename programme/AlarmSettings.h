#pragma once

#include "SettingsTable.h"

#include <QDate>
#include <QDateTime>

#include <optional>

namespace dovrane {

/// One dead-air detector beyond silence: on or off, and how long its condition must
/// hold before the event is raised.
struct DetectorSetting
{
    bool enabled = false;
    int delaySecs = 30;
    friend bool operator==(const DetectorSetting&, const DetectorSetting&) = default;
};

/// A date that does not follow the weekly schedule: monitoring off all day, or its
/// own start and stop second.
struct DateException
{
    QDate date;
    bool off = false;
    qint32 startSecs = 0;
    qint32 stopSecs = 0;
    friend bool operator==(const DateException&, const DateException&) = default;
};

/// The [alarms] section of Dovrane.ini: what counts as programme, the detectors of
/// dead air that is not silent, flap control and date exceptions. Every default
/// leaves the alarm exactly as without the section.
struct AlarmSettings
{
    /// Measurement band in Hz; the level test uses the band-limited level when
    /// band_low_hz < band_high_hz. 0 and 0: the raw peak, as always.
    int bandLowHz = 0;
    int bandHighHz = 0;
    /// Leaves 18.5-19.5 kHz (the stereo pilot) out of the band.
    bool notchPilot = true;

    DetectorSetting hum;
    DetectorSetting noise;
    DetectorSetting loop{false, 60};
    /// How far back the loop detector looks for a repeat (at most 60 s).
    int loopWindowSecs = 20;

    /// Sound must last this long before an alarm ends.
    int releaseSecs = 0;
    /// A new alarm within this many minutes of the last end belongs to the same
    /// incident: one notification saying "again", then only log lines.
    int cooldownMinutes = 0;
    /// Alarm notifications per hour at most; 0: no limit.
    int maxPerHour = 0;

    QList<DateException> exceptions;
    /// Alarms suspended until this moment when the section is read (a way in for
    /// tools that can only edit the file and send SIGHUP).
    QDateTime suspendUntil;

    [[nodiscard]] bool bandEnabled() const { return bandLowHz < bandHighHz; }
    [[nodiscard]] bool anyDetector() const { return hum.enabled || noise.enabled || loop.enabled; }
    [[nodiscard]] std::optional<DateException> exceptionFor(const QDate& date) const;

    /// The furthest a suspension reaches, however it is asked for.
    static constexpr qint64 kMaxSuspendDays = 31;

    [[nodiscard]] static const SettingsTable<AlarmSettings>& table();
    [[nodiscard]] QStringList problems() const;

    /// "2024-12-25 off" or "2024-12-24 06:00-18:00".
    [[nodiscard]] static std::optional<DateException> parseException(const QString& text);
    [[nodiscard]] static QString exceptionText(const DateException& exception);
};

} // namespace dovrane
