#include "NamedInputs.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AudioInput.h"
#include "ClipRecorder.h"
#include "Clock.h"
#include "DetectorSettings.h"
#include "NamedInputWatch.h"
#include "NotifySettings.h"
#include "OutsideText.h"
#include "Settings.h"

namespace dovrane {

NamedInputs::NamedInputs(Parts parts, QObject* parent) : QObject(parent), m_parts(std::move(parts))
{
    m_repeat = m_parts.clock.createTimer(this);
    m_repeat->setInterval(1000);
    connect(m_repeat, &ClockTimer::timeout, this, &NamedInputs::repeat);
}

NamedInputs::~NamedInputs()
{
    // The watches stop their sources; the sources go after them.
    for (ClipRecorder* c : m_clips)
        delete c;
    m_clips.clear();
    for (NamedInputWatch* w : m_watches)
        delete w;
    m_watches.clear();
}

void NamedInputs::apply()
{
    const auto& sections = m_parts.settings.family<NamedInputSettings>();
    std::vector<NamedInputWatch*> kept;
    std::vector<std::unique_ptr<AudioInput>> keptSources;
    std::vector<ClipRecorder*> keptClips;
    bool differs = sections.size() != qsizetype(m_watches.size());
    for (const auto& [name, wanted] : sections) {
        NamedInputWatch* watch = find(name);
        if (watch && watch->settings() == wanted) {
            const auto at =
                std::find(m_watches.begin(), m_watches.end(), watch) - m_watches.begin();
            kept.push_back(watch);
            keptSources.push_back(std::move(m_sources[size_t(at)]));
            keptClips.push_back(m_clips[size_t(at)]);
            m_watches[size_t(at)] = nullptr;
            m_clips[size_t(at)] = nullptr;
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
        keptClips.push_back(new ClipRecorder(m_parts.clock, *source, m_parts.paths, this));
        keptSources.push_back(std::move(source));
        m_waiting.remove(name);
    }
    for (ClipRecorder* gone : m_clips)
        delete gone;
    for (NamedInputWatch* gone : m_watches) {
        if (gone)
            m_waiting.remove(gone->name());
        delete gone; // stops its source before the source goes below
    }
    m_watches = std::move(kept);
    m_sources = std::move(keptSources);
    m_clips = std::move(keptClips);
    const DetectorSettings& detectors = m_parts.settings.get<DetectorSettings>();
    for (ClipRecorder* clips : m_clips)
        clips->configure(detectors.clips, detectors.clipDays);
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
    if (StationEvent::startsFault(kind)) {
        const auto at = std::find(m_watches.begin(), m_watches.end(), watch) - m_watches.begin();
        m_clips[size_t(at)]->record(now.addSecs(-seconds),
                                    watch->name() + u'_' + StationEvent::name(kind));
    }
    // A silence alarm that goes out is told again until someone takes it.
    if (kind == StationEvent::Kind::SilenceAlarm && watch->settings().notify) {
        m_waiting.insert(watch->name(), {event, now});
        m_repeat->start();
    } else if (kind == StationEvent::Kind::SilenceEnd) {
        m_waiting.remove(watch->name());
    }
    Q_EMIT eventRaised(event, watch->settings().notify, reason);
    Q_EMIT changed();
}

bool NamedInputs::acknowledge(const QString& name)
{
    bool any = false;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (name.isEmpty() || it.key().compare(name, Qt::CaseInsensitive) == 0) {
            m_parts.log.WriteAlarmLog(QLatin1Char('[') + it.key() +
                                      QStringLiteral("] Alarm Acknowledged"));
            it = m_waiting.erase(it);
            any = true;
        } else {
            ++it;
        }
    }
    if (any)
        Q_EMIT changed();
    return any;
}

bool NamedInputs::awaitsAcknowledge(const QString& name) const
{
    return m_waiting.contains(name);
}

void NamedInputs::repeat()
{
    const int minutes = m_parts.settings.get<NotifySettings>().repeatMinutes;
    if (m_waiting.isEmpty() || minutes <= 0) {
        m_repeat->stop();
        return;
    }
    const QDateTime now = m_parts.clock.now();
    for (Waiting& w : m_waiting) {
        if (w.told.secsTo(now) < qint64(minutes) * 60)
            continue;
        w.told = now;
        StationEvent again = w.event;
        again.time = now;
        again.what = QStringLiteral("Silence Alarm again");
        again.text = m_parts.account.facility() + u' ' + again.input + u' ' + again.what + u' ' +
                     now.time().toString(QStringLiteral("HH:mm:ss"));
        Q_EMIT eventRaised(again, true, {});
    }
}

} // namespace dovrane
