#pragma once

#include "SettingsTable.h"

namespace dovrane {

/// One input beside the main one, a section [input.NAME] of Dovrane.ini: a second
/// card, a sink's monitor, or a network stream, each with its own threshold, delay
/// and alarms. The main input stays what DVParams.dat says.
struct NamedInputSettings
{
    enum class SourceKind
    {
        Pulse,  ///< a PulseAudio or PipeWire source, by the sound server's name
        Stream, ///< a network stream or an SDP file, read by FFmpeg's libraries
    };

    /// A sound server source name ("alsa_input.usb-...", "x.monitor") or a stream's
    /// address (http, https, HLS, rtp through an .sdp file, srt).
    QString source;
    bool enabled = true;
    /// A buffer is sound when its louder channel's peak is above this (0..32767).
    qint32 threshold = 104; // -50 dBFS
    int delaySecs = 10;
    /// A stream that sends nothing this long is down (not silent).
    int downSecs = 5;
    /// Detectors besides silence: "channel_loss", "phase".
    QStringList detectors;
    /// Alarms go out by the alarm action and every notification path; false: only
    /// logged and shown.
    bool notify = true;
    /// Watched every day, all day; false: while the main input is monitored.
    bool aroundTheClock = false;

    [[nodiscard]] SourceKind kind() const { return kindOf(source); }
    /// The source as logs and the status may show it: a stream's scheme, host and
    /// port, never its credentials, path or query.
    [[nodiscard]] QString shownSource() const;
    [[nodiscard]] static SourceKind kindOf(const QString& source);
    [[nodiscard]] bool detects(const char* name) const
    {
        return detectors.contains(QLatin1String(name));
    }
    /// The threshold as written back: "-50dBFS" when it is one, else the number.
    [[nodiscard]] static QString thresholdText(qint32 threshold);
    /// "-50dBFS", "-50.5 dBFS" or a whole number 0..32767; nothing when neither.
    [[nodiscard]] static std::optional<qint32> parseThreshold(const QString& text);

    [[nodiscard]] static const SettingsTable<NamedInputSettings>& table();
    [[nodiscard]] QStringList problems() const;
    friend bool operator==(const NamedInputSettings&, const NamedInputSettings&) = default;
};

} // namespace dovrane
