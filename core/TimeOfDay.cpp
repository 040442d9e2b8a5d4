#include "TimeOfDay.h"

#include <QLocale>
#include <QRegularExpression>

#include <cerrno>
#include <cfenv>
#include <cmath>
#include <cstring>

namespace dovrane {

namespace TimeOfDay {

int fromTime(const QTime& time)
{
    return time.hour() * 3600 + time.minute() * 60 + time.second();
}

QTime toTime(int seconds)
{
    int s = seconds % 86400;
    if (s < 0)
        s += 86400;
    return QTime(s / 3600, (s % 3600) / 60, s % 60);
}

namespace {

// The locale's long time format without its time-zone part, so that what is shown
// always reads back.
QString longFormat()
{
    QString fmt = QLocale::system().timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?"));
    fmt.remove(zone);
    fmt = fmt.trimmed();
    if (!fmt.contains(QLatin1Char('s')))
        fmt = QStringLiteral("HH:mm:ss");
    return fmt;
}

} // namespace

QString longText(int seconds)
{
    return QLocale::system().toString(toTime(seconds), longFormat());
}

std::optional<int> parse(const QString& input)
{
    QString text = input.trimmed();
    // A date part in front ("06/15/2006 08:30" or "2006-06-15 08:30") is ignored.
    static const QRegularExpression datePart(
        QStringLiteral("^\\d{1,4}[-/.]\\d{1,2}[-/.]\\d{1,4}[ T]+"));
    text.remove(datePart);
    if (text.isEmpty())
        return std::nullopt;

    const QTime viaLocale = QLocale::system().toTime(text, longFormat());
    if (viaLocale.isValid())
        return fromTime(viaLocale);

    static const QRegularExpression pattern(QStringLiteral(
        "^(\\d{1,2})(?:[:.](\\d{1,2}))?(?:[:.](\\d{1,2}))?\\s*([AaPp]\\.?[Mm]?\\.?)?$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const int minute = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    const int second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    const QString marker = m.captured(4);
    if (!marker.isEmpty()) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        const bool pm = marker.at(0).toLower() == QLatin1Char('p');
        hour = (hour % 12) + (pm ? 12 : 0);
    } else if (m.captured(2).isEmpty()) {
        // A bare number is an hour only with AM/PM; "7" alone is too vague to store.
        return std::nullopt;
    }
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    return hour * 3600 + minute * 60 + second;
}

} // namespace TimeOfDay

qint64 roundHalfEven(double value)
{
    // nearbyint honours the current rounding mode, which is round-to-nearest-even
    // unless someone changed it; make sure of it for this call.
    const int saved = std::fegetround();
    std::fesetround(FE_TONEAREST);
    const double r = std::nearbyint(value);
    std::fesetround(saved);
    return static_cast<qint64>(r);
}

QString systemErrorText(int errorNumber)
{
    return QStringLiteral("%1 %2")
        .arg(errorNumber)
        .arg(QString::fromLocal8Bit(std::strerror(errorNumber)));
}

} // namespace dovrane
