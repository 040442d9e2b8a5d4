#include "NamedInputs.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AudioInput.h"
#include "Clock.h"
#include "NamedInputWatch.h"
#include "OutsideText.h"
#include "Settings.h"

namespace dovrane {

NamedInputs::NamedInputs(Parts parts, QObject* parent) : QObject(parent), m_parts(std::move(parts))
{}

NamedInputs::~NamedInputs()
{
    // The watches stop their sources; the sources go after them.
    for (NamedInputWatch* w : m_watches)
        delete w;
    m_watches.clear();
}

void NamedInputs::apply()
{
    const auto& sections = m_parts.settings.family<NamedInputSettings>();
    std::vector<NamedInputWatch*> kept;
    std::vector<std::unique_ptr<AudioInput>> keptSources;
    bool differs = sections.size() != qsizetype(m_watches.size());
    for (const auto& [name, wanted] : sections) {
        NamedInputWatch* watch = find(name);
        if (watch && watch->settings() == wanted) {
            const auto at =
                std::find(m_watches.begin(), m_watches.end(), watch) - m_watches.begin();
            kept.push_back(watch);
            keptSources.push_back(std::move(m_sources[size_t(at)]));
            m_watches[size_t(at)] = nullptr;
            continue;
        }
        differs = true;
        std::unique_ptr<AudioInput> source = m_parts.makeSource(wanted);
        if (!source)
            continue;
        watch = new NamedInputWatch(name, wanted, m_parts.clock, *source, this);
        watch->setMayRaise([this] { return !m_mayRaise || m_mayRaise(); });
        connect(watch, &NamedInputWatch::eventRaised, this,
                [this, watch](StationEvent::Kind kind, qint32 seconds, const QString& why) {
                    onEvent(watch, kind, seconds, why);
                });
        connect(watch, &NamedInputWatch::sourceChanged, this, &NamedInputs::changed);
        kept.push_back(watch);
        keptSources.push_back(std::move(source));
    }
    for (NamedInputWatch* gone : m_watches)
        delete gone; // stops its source before the source goes below
    m_watches = std::move(kept);
    m_sources = std::move(keptSources);
    for (NamedInputWatch* w : m_watches)
        w->setWatching(m_mainMonitoring || w->settings().aroundTheClock);
    if (differs)
        Q_EMIT changed();
}

void NamedInputs::setMainMonitoring(bool on)
{
    m_mainMonitoring = on;
    for (NamedInputWatch* w : m_watches)
        w->setWatching(on || w->settings().aroundTheClock);
}

void NamedInputs::setMayRaise(std::function<bool()> check)
{
    m_mayRaise = std::move(check);
}

NamedInputWatch* NamedInputs::find(const QString& name) const
{
    for (NamedInputWatch* w : m_watches)
        if (w && w->name().compare(name, Qt::CaseInsensitive) == 0)
            return w;
    return nullptr;
}

QString NamedInputs::what(StationEvent::Kind kind)
{
    using K = StationEvent::Kind;
    switch (kind) {
    case K::SilenceAlarm:
        return QStringLiteral("Silence Alarm");
    case K::SilenceEnd:
        return QStringLiteral("Silence Alarm End");
    case K::StreamDown:
        return QStringLiteral("Stream Down");
    case K::StreamBack:
        return QStringLiteral("Stream Back");
    case K::InputLost:
        return QStringLiteral("Input Lost");
    case K::InputBack:
        return QStringLiteral("Input Back");
    case K::ChannelLoss:
        return QStringLiteral("Channel Loss");
    case K::ChannelBack:
        return QStringLiteral("Channel Back");
    case K::PhaseReversed:
        return QStringLiteral("Phase Reversed");
    case K::PhaseNormal:
        return QStringLiteral("Phase Normal");
    default:
        return StationEvent::name(kind);
    }
}

void NamedInputs::onEvent(NamedInputWatch* watch, StationEvent::Kind kind, qint32 seconds,
                          const QString& why)
{
    const QDateTime now = m_parts.clock.now();
    const QString what = NamedInputs::what(kind);
    // A server's words are outside text: one bounded line, never a credential.
    const QString reason =
        why.isEmpty() ? QString() : QStringLiteral(": ") + OutsideText::redacted(why, 200);
    // "[Off-air] Stream Down: connection refused" in the day's log; the main input's
    // lines have no brackets, so neither can be taken for the other.
    m_parts.log.WriteAlarmLog(QLatin1Char('[') + watch->name() + QStringLiteral("] ") + what +
                              reason);
    StationEvent event{kind, now, seconds,
                       m_parts.account.facility() + QLatin1Char(' ') + watch->name() +
                           QLatin1Char(' ') + what + QLatin1Char(' ') +
                           now.time().toString(QStringLiteral("HH:mm:ss")) + reason,
                       what};
    event.input = watch->name();
    Q_EMIT eventRaised(event, watch->settings().notify);
    Q_EMIT changed();
}

} // namespace dovrane
