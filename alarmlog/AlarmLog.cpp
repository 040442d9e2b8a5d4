#include "AlarmLog.h"

#include "TextField.h"
#include "TimeOfDay.h"

#include <QFile>

#include <cerrno>

namespace dovrane {

AlarmLog::AlarmLog(Clock& clock, DataPaths paths, ErrorReporter& errors, QObject* parent)
    : QObject(parent), m_clock(clock), m_paths(std::move(paths)), m_errors(errors)
{}

QString AlarmLog::fileFor(const QDate& date) const
{
    return m_paths.logsDir() + QStringLiteral("/AL") + date.toString(QStringLiteral("yyMMdd")) +
           QStringLiteral(".log");
}

void AlarmLog::WriteAlarmLog(const QString& text)
{
    // Date and time come from one reading so a line written at midnight goes to the
    // file of the day its time stamp belongs to.
    const QDateTime now = m_clock.now();
    // One event is one line, whatever a stored number or address holds.
    QString oneLine = text;
    oneLine.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    const QByteArray line = now.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + ' ' +
                            TextField::encode(oneLine) + "\r\n";
    QFile file(fileFor(now.date()));
    errno = 0;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        const int err = errno;
        m_errors.report(
            err != 0 ? systemErrorText(err)
                     : QStringLiteral("%1 %2").arg(int(file.error())).arg(file.errorString()));
        return;
    }
    errno = 0;
    const bool written = file.write(line) == line.size() && file.flush();
    const int err = errno;
    file.close();
    if (!written) {
        m_errors.report(
            err != 0 ? systemErrorText(err)
                     : QStringLiteral("%1 %2").arg(int(file.error())).arg(file.errorString()));
    }
}

} // namespace dovrane
