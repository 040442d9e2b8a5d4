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

bool isFiller(QChar c)
{
    return c.isSpace() || c == QLatin1Char(',') || c == QChar(0x00A0) || c == QChar(0x202F);
}

QString trimmedFiller(QString text)
{
    while (!text.isEmpty() && isFiller(text.front()))
        text.remove(0, 1);
    while (!text.isEmpty() && isFiller(text.back()))
        text.chop(1);
    return text;
}

// Locales write the AM/PM marker in upper, lower or dotted form, and typed text
// uses the plain ASCII ones; the pairs are tried in this order.
struct Markers
{
    QString am;
    QString pm;
};

// Blanks that do not break lines become plain ones, and digits of any script
// (Bengali, Adlam, ...) their ASCII value, so that typed and shown text compare alike.
QString plainText(const QString& text)
{
    QList<uint> chars = text.toUcs4();
    for (uint& c : chars) {
        if (c == 0x00A0 || c == 0x202F)
            c = ' ';
        else if (const int digit = QChar::digitValue(char32_t(c)); digit >= 0 && c > 0x7F)
            c = '0' + uint(digit);
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(chars.constData()), chars.size());
}

// The quoted literals of a time format ("ga" in "AP 'ga' h:mm:ss").
QStringList formatLiterals(const QString& format)
{
    QStringList literals;
    QString current;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('\'')) {
            if (quoted)
                current += c;
            continue;
        }
        if (quoted && i + 1 < format.size() && format.at(i + 1) == QLatin1Char('\'')) {
            current += c; // '' inside quotes is a quote
            ++i;
            continue;
        }
        quoted = !quoted;
        if (!quoted) {
            if (!current.trimmed().isEmpty())
                literals << plainText(current).trimmed();
            current.clear();
        }
    }
    return literals;
}

std::optional<bool> stripMarker(QString& text, const QLocale& locale)
{
    const Markers markers[] = {
        {plainText(locale.amText()), plainText(locale.pmText())},
        {QStringLiteral("am"), QStringLiteral("pm")},
        {QStringLiteral("a.m."), QStringLiteral("p.m.")},
        {QStringLiteral("a"), QStringLiteral("p")},
    };
    for (const Markers& m : markers) {
        for (const bool pm : {false, true}) {
            const QString& marker = pm ? m.pm : m.am;
            if (marker.isEmpty())
                continue;
            if (text.endsWith(marker, Qt::CaseInsensitive)) {
                text = trimmedFiller(text.chopped(marker.size()));
                return pm;
            }
            // Some locales put the marker in front ("오후 8:15").
            if (marker.size() > 1 && text.startsWith(marker, Qt::CaseInsensitive)) {
                text = trimmedFiller(text.mid(marker.size()));
                return pm;
            }
        }
    }
    return std::nullopt;
}

} // namespace

QString longFormat()
{
    const QString full = QLocale().timeFormat(QLocale::LongFormat);
    // Drop the time zone ("t", outside quoted literals): what is shown must read
    // back, and a zone name does not.
    QString fmt;
    bool quoted = false;
    bool hasSeconds = false;
    for (const QChar c : full) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('t'))
            continue;
        else if (!quoted && c == QLatin1Char('s'))
            hasSeconds = true;
        fmt += c;
    }
    fmt.remove(QStringLiteral("()"));
    fmt = trimmedFiller(fmt);
    if (!hasSeconds)
        return QStringLiteral("HH:mm:ss");
    return fmt;
}

QString longText(int seconds)
{
    return QLocale().toString(toTime(seconds), longFormat());
}

std::optional<int> parse(const QString& input)
{
    QString text = input.trimmed();
    // A date part in front ("06/15/2006 08:30" or "2006-06-15T08:30") is ignored.
    static const QRegularExpression datePart(
        QStringLiteral("^\\d{1,4}[-/.]\\d{1,2}[-/.]\\d{1,4}[ T\\x{00A0}\\x{202F}]+"));
    text.remove(datePart);
    if (text.isEmpty())
        return std::nullopt;

    const QLocale locale;
    const QString format = longFormat();
    const QTime viaLocale = locale.toTime(text, format);
    if (viaLocale.isValid())
        return fromTime(viaLocale);

    // What the locale's own reader refuses (some markers, literals and digits it
    // writes but does not read back) is read here in plain form.
    text = plainText(text).trimmed();
    const QString markers = plainText(locale.amText() + QLatin1Char(' ') + locale.pmText());
    for (const QString& literal : formatLiterals(format)) {
        if (!markers.contains(literal, Qt::CaseInsensitive))
            text.replace(literal, QStringLiteral(" "), Qt::CaseInsensitive);
    }
    text = trimmedFiller(text);
    const std::optional<bool> pm = stripMarker(text, locale);
    static const QRegularExpression pattern(
        QStringLiteral("^([0-9]{1,2})(?:[:.]([0-9]{1,2}))?(?:[:.]([0-9]{1,2}))?$"));
    const QRegularExpressionMatch m = pattern.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    int hour = m.captured(1).toInt();
    const int minute = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    const int second = m.captured(3).isEmpty() ? 0 : m.captured(3).toInt();
    if (pm) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = (hour % 12) + (*pm ? 12 : 0);
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
