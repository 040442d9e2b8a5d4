#pragma once

#include <QDateTime>
#include <QString>

namespace dovrane {

/// Something the station noticed that people may need to hear about: the silence
/// alarm and its end, and whatever other detectors raise. Every notification path
/// beyond the pager and the alarm mail (webhooks, text messages, hooks, traps,
/// counters) takes these from Station::eventRaised and nothing else.
struct StationEvent
{
    enum class Kind
    {
        SilenceAlarm,
        SilenceEnd,
        InputLost,
        InputBack,
        ChannelLoss,
        ChannelBack,
        PhaseReversed,
        PhaseNormal,
        Hum,
        HumEnd,
        Noise,
        NoiseEnd,
        Loop,
        LoopEnd,
        Test,
        /// Alarms suspended for maintenance, or resumed; the text says by whom.
        Suspended,
        Resumed,
    };

    Kind kind = Kind::SilenceAlarm;
    QDateTime time;
    /// Seconds of silence (or of the fault) when the event was raised.
    qint32 seconds = 0;
    /// One line for people, e.g. "Studio A Silence Alarm 14:03:22".
    QString text;

    /// The machine name: "silence_alarm", "silence_end", "input_lost", ...
    [[nodiscard]] static QString name(Kind kind)
    {
        switch (kind) {
        case Kind::SilenceAlarm:
            return QStringLiteral("silence_alarm");
        case Kind::SilenceEnd:
            return QStringLiteral("silence_end");
        case Kind::InputLost:
            return QStringLiteral("input_lost");
        case Kind::InputBack:
            return QStringLiteral("input_back");
        case Kind::ChannelLoss:
            return QStringLiteral("channel_loss");
        case Kind::ChannelBack:
            return QStringLiteral("channel_back");
        case Kind::PhaseReversed:
            return QStringLiteral("phase_reversed");
        case Kind::PhaseNormal:
            return QStringLiteral("phase_normal");
        case Kind::Hum:
            return QStringLiteral("hum");
        case Kind::HumEnd:
            return QStringLiteral("hum_end");
        case Kind::Noise:
            return QStringLiteral("noise");
        case Kind::NoiseEnd:
            return QStringLiteral("noise_end");
        case Kind::Loop:
            return QStringLiteral("loop");
        case Kind::LoopEnd:
            return QStringLiteral("loop_end");
        case Kind::Test:
            return QStringLiteral("test");
        case Kind::Suspended:
            return QStringLiteral("alarms_suspended");
        case Kind::Resumed:
            return QStringLiteral("alarms_resumed");
        }
        return {};
    }
    [[nodiscard]] QString name() const { return name(kind); }
    /// True for the events that start a fault, false for those that end one.
    [[nodiscard]] bool isFault() const
    {
        return kind == Kind::SilenceAlarm || kind == Kind::InputLost || kind == Kind::ChannelLoss ||
               kind == Kind::PhaseReversed || kind == Kind::Hum || kind == Kind::Noise ||
               kind == Kind::Loop;
    }
};

} // namespace dovrane
