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
        Test,
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
        case Kind::Test:
            return QStringLiteral("test");
        }
        return {};
    }
    [[nodiscard]] QString name() const { return name(kind); }
    /// True for the events that start a fault, false for those that end one.
    [[nodiscard]] bool isFault() const
    {
        return kind == Kind::SilenceAlarm || kind == Kind::InputLost || kind == Kind::ChannelLoss ||
               kind == Kind::PhaseReversed;
    }
};

} // namespace dovrane
