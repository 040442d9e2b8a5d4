#pragma once

#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

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
        /// A named input's stream cannot be reached or sends nothing; and its return.
        StreamDown,
        StreamBack,
    };

    Kind kind = Kind::SilenceAlarm;
    QDateTime time;
    /// Seconds of silence (or of the fault) when the event was raised.
    qint32 seconds = 0;
    /// One line for people, e.g. "Studio A Silence Alarm 14:03:22".
    QString text;
    /// What happened, as people read it in text, without facility and time: "Hum",
    /// "Input Lost", "Loop End".
    QString what;
    /// The named input it concerns ([input.NAME] of Dovrane.ini); empty for the main
    /// input and the station as a whole.
    QString input = {};

    /// A kind's machine name, and the kind that starts its fault: itself for a start,
    /// the start for an end, nothing (Kind::Test) for an event that is neither.
    struct KindRow
    {
        Kind kind;
        const char* name;
        std::optional<Kind> fault;
    };
    // One row per kind; a new kind is one row here. Starts are the rows whose fault is
    // their own kind.
    static constexpr std::array kKinds{
        KindRow{Kind::SilenceAlarm, "silence_alarm", Kind::SilenceAlarm},
        KindRow{Kind::SilenceEnd, "silence_end", Kind::SilenceAlarm},
        KindRow{Kind::InputLost, "input_lost", Kind::InputLost},
        KindRow{Kind::InputBack, "input_back", Kind::InputLost},
        KindRow{Kind::ChannelLoss, "channel_loss", Kind::ChannelLoss},
        KindRow{Kind::ChannelBack, "channel_back", Kind::ChannelLoss},
        KindRow{Kind::PhaseReversed, "phase_reversed", Kind::PhaseReversed},
        KindRow{Kind::PhaseNormal, "phase_normal", Kind::PhaseReversed},
        KindRow{Kind::Hum, "hum", Kind::Hum},
        KindRow{Kind::HumEnd, "hum_end", Kind::Hum},
        KindRow{Kind::Noise, "noise", Kind::Noise},
        KindRow{Kind::NoiseEnd, "noise_end", Kind::Noise},
        KindRow{Kind::Loop, "loop", Kind::Loop},
        KindRow{Kind::LoopEnd, "loop_end", Kind::Loop},
        KindRow{Kind::Test, "test", std::nullopt},
        KindRow{Kind::Suspended, "alarms_suspended", std::nullopt},
        KindRow{Kind::Resumed, "alarms_resumed", std::nullopt},
        KindRow{Kind::StreamDown, "stream_down", Kind::StreamDown},
        KindRow{Kind::StreamBack, "stream_back", Kind::StreamDown},
    };
    [[nodiscard]] static constexpr const KindRow& row(Kind kind)
    {
        for (const KindRow& r : kKinds)
            if (r.kind == kind)
                return r;
        Q_ASSERT_X(false, "StationEvent::row", "a kind without a row in kKinds");
        return kKinds.back();
    }

    /// The machine name: "silence_alarm", "silence_end", "input_lost", ...
    [[nodiscard]] static QString name(Kind kind) { return QString::fromLatin1(row(kind).name); }
    [[nodiscard]] QString name() const { return name(kind); }
    /// The kind that starts kind's fault (Hum for HumEnd and Hum), if it belongs to one.
    [[nodiscard]] static std::optional<Kind> faultOf(Kind kind) { return row(kind).fault; }
    /// True for the events that start a fault, false for those that end one.
    [[nodiscard]] static bool startsFault(Kind kind) { return row(kind).fault == kind; }
    [[nodiscard]] bool isFault() const { return startsFault(kind); }
    /// The kind that ends the fault start begins (HumEnd for Hum).
    [[nodiscard]] static constexpr Kind endOf(Kind start)
    {
        for (const KindRow& r : kKinds)
            if (r.fault == start && r.kind != start)
                return r.kind;
        Q_ASSERT_X(false, "StationEvent::endOf", "a start without an end in kKinds");
        return start;
    }
};

} // namespace dovrane
