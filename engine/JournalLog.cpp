#include "JournalLog.h"

#include "OutsideText.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QRegularExpression>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <systemd/sd-daemon.h>

namespace dovrane::JournalLog {

namespace {

const char* prefixFor(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return SD_DEBUG;
    case QtInfoMsg:
        return SD_INFO;
    case QtWarningMsg:
        return SD_WARNING;
    case QtCriticalMsg:
        return SD_ERR;
    case QtFatalMsg:
        return SD_CRIT;
    }
    return SD_INFO;
}

/// Keeps a flood of one diagnostic (a client retrying, a server failing the same
/// way) from pushing the program's own errors out of journald's rate limit: the
/// first few of a kind per minute are written, the rest counted and summed up
/// once the minute is over.
class Throttle
{
public:
    static constexpr int kFirst = 10;
    static constexpr auto kWindow = std::chrono::minutes(1);
    /// Beyond this many kinds in a minute, all new ones count as one.
    static constexpr qsizetype kMaxKinds = 256;

    /// True when a message of this kind may be written now.
    bool admit(QtMsgType type, const char* category, const QString& message)
    {
        QMutexLocker lock(&m_mutex);
        const auto now = std::chrono::steady_clock::now();
        flushLocked(now);
        QString key = QString::number(type) + QLatin1Char(' ') + QLatin1String(category) +
                      QLatin1Char(' ') + message.left(64);
        static const QRegularExpression digits(QStringLiteral("\\d+"));
        key.replace(digits, QStringLiteral("#"));
        if (!m_kinds.contains(key) && m_kinds.size() >= kMaxKinds)
            key = QStringLiteral("(many kinds)");
        Kind& kind = m_kinds[key];
        if (kind.seen == 0) {
            kind.since = now;
            kind.type = type;
            kind.sample = QLatin1String(category) + QStringLiteral(": ") + message.left(60);
        }
        ++kind.seen;
        return kind.seen <= kFirst;
    }

    void flush()
    {
        QMutexLocker lock(&m_mutex);
        flushLocked(std::chrono::steady_clock::now());
    }

private:
    struct Kind
    {
        std::chrono::steady_clock::time_point since;
        QtMsgType type = QtWarningMsg;
        int seen = 0;
        QString sample;
    };

    void flushLocked(std::chrono::steady_clock::time_point now)
    {
        for (auto it = m_kinds.begin(); it != m_kinds.end();) {
            if (now - it->since < kWindow) {
                ++it;
                continue;
            }
            if (it->seen > kFirst)
                write(prefixFor(it->type),
                      QStringLiteral("%1 more like \"%2\" in the last minute, not written")
                          .arg(it->seen - kFirst)
                          .arg(OutsideText::escaped(it->sample)));
            it = m_kinds.erase(it);
        }
    }

    QMutex m_mutex;
    QHash<QString, Kind> m_kinds;
};

Throttle& throttle()
{
    static Throttle instance;
    return instance;
}

void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // A message may quote a server or a client: one message is one line, whatever
    // it holds, so nobody can start a line of their own with its priority.
    if (type != QtFatalMsg &&
        !throttle().admit(type, context.category ? context.category : "default", message))
        return;
    write(prefixFor(type), qFormatLogMessage(type, context, OutsideText::escaped(message)));
}

} // namespace

void write(const char* prefix, const QString& text)
{
    // journald reads the priority at the start of each line, so a message of
    // several lines (a mail program's complaint) carries it on every one. One
    // write per message keeps lines from other threads out of the middle.
    QString whole = text;
    while (whole.endsWith(QLatin1Char('\n')))
        whole.chop(1);
    QByteArray out;
    for (const QString& line : whole.split(QLatin1Char('\n')))
        out += prefix + OutsideText::escaped(line).toLocal8Bit() + '\n';
    std::fwrite(out.constData(), 1, std::size_t(out.size()), stderr);
    std::fflush(stderr);
}

void write(int priority, const QString& text)
{
    write(QByteArray('<' + QByteArray::number(priority) + '>').constData(), text);
}

void installMessageHandler()
{
    qInstallMessageHandler(handleMessage);
    // The summary of a flood that stopped is written within a minute too.
    if (auto* app = QCoreApplication::instance()) {
        auto* timer = new QTimer(app);
        QObject::connect(timer, &QTimer::timeout, app, [] { throttle().flush(); });
        timer->start(std::chrono::seconds(15));
    }
}

} // namespace dovrane::JournalLog
