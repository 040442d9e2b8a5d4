#include "Outbox.h"

#include "Clock.h"
#include "DataPaths.h"
#include "ErrorReporter.h"
#include "FloodCap.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QSaveFile>

#include <algorithm>
#include <array>

Q_LOGGING_CATEGORY(lcNotify, "dovrane.notify")

namespace dovrane {

namespace {
const QString kSuffix = QStringLiteral(".json");
}

Outbox::Outbox(Clock& clock, QString folder, ErrorReporter& errors, QObject* parent)
    : QObject(parent), m_clock(clock), m_folder(std::move(folder)), m_errors(errors)
{
    m_timer = m_clock.createTimer(this);
    m_timer->setObjectName(QStringLiteral("tmrOutbox"));
    connect(m_timer, &ClockTimer::timeout, this, &Outbox::onTimer);
    m_cap = new FloodCap(m_clock, this);
}

int Outbox::retryWait(int failures) const
{
    static constexpr std::array<int, 5> kWaits{0, 60, 120, 300, 600};
    return failures <= 1 ? m_firstWait : kWaits[std::min(failures, int(kWaits.size())) - 1];
}

int Outbox::failures(const QString& id) const
{
    const auto it = m_messages.constFind(id);
    return it == m_messages.cend() ? -1 : it->failures;
}

void Outbox::addChannel(const QString& name, Channel channel)
{
    m_channels.emplace(name, std::move(channel));
}

QString Outbox::pathOf(const QString& id) const
{
    return m_folder + QLatin1Char('/') + id + kSuffix;
}

bool Outbox::store(const QString& id, const Message& message)
{
    DataPaths::makeFolder(m_folder);
    // QSaveFile writes a temporary file, flushes it to the disk and renames it over
    // the final name: the folder never holds half a message.
    QSaveFile file(pathOf(id));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // A chat or push message carries its service's token: the owner's alone.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    const QJsonObject record{{QStringLiteral("channel"), message.channel},
                             {QStringLiteral("payload"), message.payload},
                             {QStringLiteral("summary"), message.summary},
                             {QStringLiteral("created"), message.created.toMSecsSinceEpoch()}};
    file.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    return file.commit();
}

void Outbox::post(const QString& channel, const QJsonObject& payload, const QString& summary)
{
    const QDateTime now = m_clock.now();
    const QString id = QStringLiteral("%1-%2-%3")
                           .arg(now.toMSecsSinceEpoch())
                           .arg(QCoreApplication::applicationPid())
                           .arg(++m_sequence);
    Message message{channel, payload, summary, now, now};
    if (!store(id, message)) {
        // Still sent: a full disk must not also silence the alarm.
        qCWarning(lcNotify) << "outbox file not written for" << summary;
        m_errors.report(QStringLiteral("Notification not stored in %1; sent without a retry "
                                       "copy: %2")
                            .arg(m_folder, summary));
    }
    m_messages.insert(id, message);
    Q_EMIT countsChanged(pending(), m_lost);
    attempt(id);
}

void Outbox::resume()
{
    const QDir dir(m_folder);
    const QStringList names = dir.entryList({QLatin1Char('*') + kSuffix}, QDir::Files, QDir::Name);
    QStringList ids;
    for (const QString& name : names) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QJsonObject record = QJsonDocument::fromJson(file.readAll()).object();
        const QString id = name.chopped(kSuffix.size());
        if (record.isEmpty() || m_messages.contains(id)) {
            qCWarning(lcNotify) << "unreadable outbox file left alone:" << name;
            continue;
        }
        Message message{
            record.value(QStringLiteral("channel")).toString(),
            record.value(QStringLiteral("payload")).toObject(),
            record.value(QStringLiteral("summary")).toString(),
            QDateTime::fromMSecsSinceEpoch(record.value(QStringLiteral("created")).toInteger()),
            m_clock.now()};
        m_messages.insert(id, message);
        ids << id;
    }
    if (ids.isEmpty())
        return;
    qCInfo(lcNotify) << ids.size() << "notification(s) left by the last run, sending them now";
    Q_EMIT countsChanged(pending(), m_lost);
    for (const QString& id : ids)
        attempt(id);
}

void Outbox::attempt(const QString& id)
{
    auto it = m_messages.find(id);
    if (it == m_messages.end())
        return;
    const auto channel = m_channels.constFind(it->channel);
    if (channel == m_channels.constEnd()) {
        // Its channel is switched off now; it waits, and expires like any other.
        done(id, false, QStringLiteral("no %1 channel configured").arg(it->channel));
        return;
    }
    it->inFlight = true;
    qCDebug(lcNotify) << "sending" << id << it->summary;
    (*channel)(id, it->payload);
}

void Outbox::done(const QString& id, bool delivered, const QString& why)
{
    auto it = m_messages.find(id);
    if (it == m_messages.end() || !it->inFlight)
        return;
    it->inFlight = false;
    const QString channel = it->channel;
    Q_EMIT attempted(channel, delivered ? QStringLiteral("sent") : QStringLiteral("failed"));
    it = m_messages.find(id); // the slots may have posted meanwhile
    if (it == m_messages.end())
        return;
    if (it->withdrawn) {
        remove(id);
        return;
    }
    if (delivered) {
        qCInfo(lcNotify).noquote() << "delivered:" << it->summary;
        // The failure was reported once; so is the end of it.
        if (it->failures > 0)
            m_errors.report(QStringLiteral("Notification delivered at try %1: %2 "
                                           "(%3 still waiting)")
                                .arg(it->failures + 1)
                                .arg(it->summary)
                                .arg(pending() - 1));
        remove(id);
        return;
    }
    const QDateTime now = m_clock.now();
    ++it->failures;
    if (it->created.secsTo(now) >= kGiveUpSecs) {
        ++m_lost;
        qCWarning(lcNotify).noquote() << "lost after 24 h:" << it->summary << why;
        m_errors.report(QStringLiteral("Notification lost after 24 h of failed tries: %1 (%2)")
                            .arg(it->summary, why));
        remove(id);
        Q_EMIT attempted(channel, QStringLiteral("lost"));
        return;
    }
    it->due = now.addSecs(retryWait(it->failures));
    qCInfo(lcNotify).noquote() << "not delivered, next try at" << it->due.toString(Qt::ISODate)
                               << it->summary << why;
    if (it->failures == 1) {
        // The reason may quote a server's answer: printable characters only.
        QString reason = why.left(200);
        for (QChar& c : reason)
            if (!c.isPrint())
                c = QLatin1Char('?');
        m_errors.report(QStringLiteral("Notification not delivered, it will be tried again: %1 "
                                       "(%2 waiting)%3")
                            .arg(it->summary)
                            .arg(pending())
                            .arg(reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
    }
    schedule();
}

void Outbox::withdraw(const QString& channel)
{
    QStringList gone;
    for (auto it = m_messages.begin(); it != m_messages.end(); ++it) {
        if (it->channel != channel)
            continue;
        if (it->inFlight)
            it->withdrawn = true;
        else
            gone << it.key();
    }
    for (const QString& id : std::as_const(gone)) {
        qCInfo(lcNotify).noquote() << "withdrawn, its path is off:" << m_messages.value(id).summary;
        remove(id);
    }
}

void Outbox::remove(const QString& id)
{
    QFile::remove(pathOf(id));
    m_messages.remove(id);
    Q_EMIT countsChanged(pending(), m_lost);
    schedule();
}

void Outbox::schedule()
{
    QDateTime next;
    for (const Message& message : std::as_const(m_messages))
        if (!message.inFlight && (!next.isValid() || message.due < next))
            next = message.due;
    if (!next.isValid()) {
        m_timer->stop();
        return;
    }
    m_timer->setInterval(int(std::max<qint64>(0, m_clock.now().msecsTo(next))));
    m_timer->start();
}

void Outbox::onTimer()
{
    m_timer->stop();
    const QDateTime now = m_clock.now();
    QStringList due;
    for (auto it = m_messages.cbegin(); it != m_messages.cend(); ++it)
        if (!it->inFlight && it->due <= now)
            due << it.key();
    for (const QString& id : due)
        attempt(id);
    schedule();
}

} // namespace dovrane
