#include "StatusService.h"

#include "Account.h"
#include "AlarmLog.h"
#include "AlarmPlan.h"
#include "AudioInput.h"
#include "Clock.h"
#include "ErrorReporter.h"
#include "Settings.h"
#include "SilenceMonitor.h"
#include "StatusCounters.h"
#include "StatusServer.h"
#include "WeeklySchedule.h"

#include <QFile>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QUrlQuery>

Q_LOGGING_CATEGORY(lcStatus, "dovrane.status")

namespace dovrane {

namespace {

constexpr int kLogLines = 20;
/// Enough for 20 lines of the log; the rest of a long day is not read.
constexpr qint64 kLogTailBytes = 4096;
constexpr qint32 kSecondsPerDay = 86400;
constexpr int kMaxSuspendMinutes = 31 * 24 * 60;
/// A port taken by another program is tried again this often, and said once a minute.
constexpr int kListenRetryMs = 3000;
constexpr qint64 kListenErrorEveryMs = 60000;

/// The next enabled day's start or stop second after now, today included.
std::optional<QDateTime> nextChange(const AlarmPlan& plan, const QDateTime& now, bool start)
{
    const qint32 second = now.time().msecsSinceStartOfDay() / 1000;
    for (int offset = 0; offset <= 7; ++offset) {
        const QDate date = now.date().addDays(offset);
        const int day = weekdaySundayFirst(date);
        const qint32 at = start ? plan.dayStartSecs(day) : plan.dayStopSecs(day);
        if (plan.dayEnabled(day) != 1 || at < 0 || at >= kSecondsPerDay ||
            (offset == 0 && at <= second))
            continue;
        return QDateTime(date, QTime::fromMSecsSinceStartOfDay(at * 1000));
    }
    return std::nullopt;
}

/// The status page by path, with its type; served without the token, since it holds
/// nothing of the station and asks for the token itself.
const QMap<QString, QByteArray>& pageFiles()
{
    static const QMap<QString, QByteArray> files{{QStringLiteral("/"), "text/html; charset=utf-8"},
                                                 {QStringLiteral("/status.css"), "text/css"},
                                                 {QStringLiteral("/status.js"), "text/javascript"}};
    return files;
}

QByteArray resource(const QString& name)
{
    QFile file(QStringLiteral(":/status/") + name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

StatusService::StatusService(StatusSources sources, QObject* parent)
    : QObject(parent), m_sources(sources)
{
    AudioInput& audio = m_sources.audio;
    connect(&audio, &AudioInput::bufferReady, this, [this] { ++m_buffers; });
    connect(&audio, &AudioInput::captureLost, this, [this] {
        m_inputLost = true;
        ++m_captureErrors;
    });
    connect(&audio, &AudioInput::captureRegained, this, [this] { m_inputLost = false; });
    connect(&m_sources.monitor, &SilenceMonitor::alarmRaised, this, [this] {
        ++m_alarms;
        m_lastAlarm = m_sources.clock.now();
    });
    connect(&m_sources.settings, &Settings::changed, this, &StatusService::apply);
    m_retry.setSingleShot(true);
    m_retry.setInterval(kListenRetryMs);
    connect(&m_retry, &QTimer::timeout, this, &StatusService::listen);
}

StatusService::~StatusService() = default;

quint16 StatusService::port() const
{
    return m_server ? m_server->port() : 0;
}

void StatusService::apply()
{
    const auto wanted =
        m_sources.settings.get<StatusSettings>().forInstance(m_sources.settings.path());
    if (wanted == m_current && (m_server || !wanted.enabled))
        return;
    m_current = wanted;
    m_server.reset();
    m_retry.stop();
    m_failing.invalidate();
    if (!wanted.enabled)
        return;
    const QStringList problems = wanted.problems();
    if (!problems.isEmpty()) {
        m_sources.errors.report(problems.join(QLatin1Char('\n')) +
                                QStringLiteral(" - not started"));
        return;
    }
    for (const QString& warning : wanted.warnings())
        qCWarning(lcStatus).noquote() << warning;
    m_tls = QSslConfiguration();
    QString why;
    if (!wanted.tlsCert.isEmpty())
        (void)wanted.tls(&m_tls, &why); // readable: problems() said so
    listen();
}

void StatusService::listen()
{
    const StatusSettings& wanted = m_current;
    QHostAddress host;
    quint16 port = 0;
    (void)wanted.address(&host, &port);
    auto server = std::make_unique<StatusServer>(
        [this](const QUrl& url, const QHostAddress& client) { return answer(url, client); },
        wanted.token.toUtf8(), kActions, pageFiles().keys());
    server->setTls(m_tls);
    QString why;
    const bool inherited = m_inherited >= 0;
    if (!(inherited ? server->adopt(m_inherited, &why) : server->listenOn(host, port, &why))) {
        // Another program may hold the port for a while (a restart, or someone
        // posing as this station): keep trying, and keep saying so.
        if (!m_failing.isValid() || m_failing.elapsed() >= kListenErrorEveryMs) {
            m_sources.errors.report(
                QStringLiteral("Remote status: cannot listen on %1: %2 - trying again every %3 s")
                    .arg(inherited ? QStringLiteral("the socket from systemd") : wanted.listen, why)
                    .arg(kListenRetryMs / 1000));
            m_failing.start();
        }
        m_retry.start();
        return;
    }
    m_failing.invalidate();
    qCInfo(lcStatus).noquote() << QStringLiteral("remote status on %1%2")
                                      .arg(inherited ? QStringLiteral("the socket from systemd")
                                                     : wanted.listen,
                                           m_tls.isNull() ? QString() : QStringLiteral(" (TLS)"));
    m_server = std::move(server);
}

const QStringList StatusService::kActions{QStringLiteral("/ack"), QStringLiteral("/suspend"),
                                          QStringLiteral("/resume"), QStringLiteral("/start"),
                                          QStringLiteral("/stop")};

StatusFacts StatusService::facts(bool full) const
{
    const SilenceMonitor& monitor = m_sources.monitor;
    const AlarmPlan& plan = m_sources.plan;
    StatusFacts f;
    f.now = m_sources.clock.now();
    f.facility = m_sources.account.facility();
    f.version = QStringLiteral("%1.%2.%3")
                    .arg(DOVRANE_VERSION_MAJOR)
                    .arg(DOVRANE_VERSION_MINOR)
                    .arg(DOVRANE_VERSION_PATCH);
    f.monitoring = monitor.isRunning();
    f.alarm = monitor.alarmOn();
    f.inputLost = m_inputLost;
    f.silenceSecs = f.monitoring ? monitor.silenceSecs() : 0;
    f.peakLeft = f.monitoring ? monitor.peakLeft() : qint16(0);
    f.peakRight = f.monitoring ? monitor.peakRight() : qint16(0);
    f.buffers = m_buffers;
    f.captureErrors = m_captureErrors;
    f.alarms = m_alarms;
    f.notifications = m_sources.counters.notifications();
    f.lastAlarm = m_lastAlarm;
    const int day = weekdaySundayFirst(f.now.date());
    f.windowToday = plan.dayEnabled(day) == 1;
    f.todayStart = plan.dayStartSecs(day);
    f.todayStop = plan.dayStopSecs(day);
    f.windowActive = monitor.schedule().covers(f.now);
    f.nextStart = nextChange(plan, f.now, true);
    f.nextStop = nextChange(plan, f.now, false);
    f.statusListening = m_server != nullptr;
    if (m_sources.stationFacts)
        m_sources.stationFacts(f, full);
    // The detector sees a capture that delivers nothing without saying it is lost.
    f.inputLost = f.inputLost || f.activeFaults.contains(QLatin1String("input_lost"));
    return f;
}

QStringList StatusService::logTail() const
{
    QFile file(m_sources.log.fileFor(m_sources.clock.now().date()));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const qint64 from = std::max<qint64>(0, file.size() - kLogTailBytes);
    file.seek(from);
    QList<QByteArray> lines = file.readAll().split('\n');
    if (from > 0 && !lines.isEmpty())
        lines.removeFirst(); // cut in the middle
    QStringList tail;
    for (const QByteArray& line : lines)
        if (!line.trimmed().isEmpty())
            tail.append(withoutContacts(QString::fromLatin1(line.trimmed())));
    return tail.mid(std::max<qsizetype>(0, tail.size() - kLogLines));
}

StatusReply StatusService::answer(const QUrl& url, const QHostAddress& client)
{
    const QString path = url.path();
    if (kActions.contains(path)) {
        QString arguments;
        if (path == QLatin1String("/suspend")) {
            bool number = false;
            const int minutes =
                QUrlQuery(url).queryItemValue(QStringLiteral("minutes")).toInt(&number);
            if (!number || minutes < 1 || minutes > kMaxSuspendMinutes)
                return {400, "text/plain",
                        "minutes=N expected, N from 1 to " +
                            QByteArray::number(kMaxSuspendMinutes) + '\n'};
            arguments = QString::number(minutes);
        }
        // One named input only: its name is letters, digits, - and _, nothing else.
        if (const QString input = QUrlQuery(url).queryItemValue(QStringLiteral("input"));
            !input.isEmpty()) {
            static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
            if (!kName.match(input).hasMatch())
                return {400, "text/plain", "input=NAME expected, NAME as in [input.NAME]\n"};
            arguments = (QStringLiteral("input=") + input + u' ' + arguments).trimmed();
        }
        if (!m_sources.command)
            return {404, "text/plain", "not found\n"};
        const auto [done, text] = m_sources.command(
            path.mid(1), arguments, QStringLiteral("HTTP from %1").arg(client.toString()));
        return {done ? 200 : 409, "text/plain; charset=utf-8", text.toUtf8() + '\n'};
    }
    if (path == QLatin1String("/metrics"))
        return {200, "text/plain; version=0.0.4; charset=utf-8", metricsText(facts())};
    if (path == QLatin1String("/status")) {
        StatusFacts f = facts(true);
        f.logTail = logTail();
        return {200, "application/json", statusJson(f)};
    }
    if (const auto file = pageFiles().constFind(path); file != pageFiles().constEnd())
        return {200, *file,
                resource(path == QLatin1String("/") ? QStringLiteral("index.html") : path.mid(1))};
    return {404, "text/plain", "not found\n"};
}

} // namespace dovrane
