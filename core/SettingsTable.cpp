#include "SettingsTable.h"

#include <QMap>
#include <QRegularExpression>

#include <algorithm>

namespace dovrane {

namespace {

/// What a suffix multiplies by, for each unit a number key can have.
const QMap<QString, QMap<QString, qint64>>& suffixes()
{
    static const QMap<QString, QMap<QString, qint64>> table{
        {QStringLiteral("s"),
         {{QString(), 1},
          {QStringLiteral("s"), 1},
          {QStringLiteral("m"), 60},
          {QStringLiteral("min"), 60},
          {QStringLiteral("h"), 3600}}},
        {QStringLiteral("min"),
         {{QString(), 1},
          {QStringLiteral("m"), 1},
          {QStringLiteral("min"), 1},
          {QStringLiteral("h"), 60}}},
        {QStringLiteral("days"), {{QString(), 1}, {QStringLiteral("d"), 1}}},
        {QStringLiteral("Hz"), {{QString(), 1}, {QStringLiteral("hz"), 1}}},
    };
    return table;
}

QString unitWords(const QString& unit)
{
    if (unit == QLatin1String("s"))
        return QStringLiteral("seconds; 30s, 5m, 1h");
    if (unit == QLatin1String("min"))
        return QStringLiteral("minutes; 5m, 2h");
    if (unit == QLatin1String("days"))
        return QStringLiteral("days; 30d");
    return unit;
}

int distance(const QString& a, const QString& b)
{
    std::vector<int> row(size_t(b.size()) + 1);
    for (size_t j = 0; j < row.size(); ++j)
        row[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        int diagonal = row[0];
        row[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const int up = row[size_t(j)];
            row[size_t(j)] =
                std::min({up + 1, row[size_t(j - 1)] + 1,
                          diagonal + (a[i - 1].toLower() == b[j - 1].toLower() ? 0 : 1)});
            diagonal = up;
        }
    }
    return row.back();
}

QString typeWords(const SettingsKey& k)
{
    switch (k.type) {
    case KeyType::Flag:
        return QStringLiteral("yes/no");
    case KeyType::Number:
        return QStringLiteral("number");
    case KeyType::List:
        return QStringLiteral("list");
    case KeyType::Text:
    case KeyType::Custom:
        break;
    }
    return QStringLiteral("text");
}

} // namespace

QString SettingsKey::acceptedText() const
{
    switch (type) {
    case KeyType::Flag:
        return QStringLiteral("true/false, yes/no, on/off, 1/0");
    case KeyType::Number:
        return QStringLiteral("%1 to %2%3")
            .arg(min)
            .arg(max)
            .arg(unit.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(unitWords(unit)));
    case KeyType::List:
        return accepted.isEmpty() ? QStringLiteral("items separated by commas") : accepted;
    case KeyType::Text:
    case KeyType::Custom:
        break;
    }
    return accepted.isEmpty() ? QStringLiteral("any text") : accepted;
}

QString SettingsKey::problem(const QString& what, const QString& got) const
{
    return settingsProblem(section, name, what, shown(got), acceptedText());
}

QString SettingsKey::shown(const QString& value) const
{
    if (secret)
        return value.isEmpty() ? QString() : QStringLiteral("<hidden>");
    QString out;
    for (QChar c : value.left(80)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return value.size() > 80 ? out + QStringLiteral("...") : out;
}

QString settingsProblem(const QString& section, const QString& key, const QString& what,
                        const QString& got, const QString& accepted)
{
    return QStringLiteral("[%1] %2: %3 (got \"%4\"; accepted: %5)")
        .arg(section, key, what, got, accepted);
}

std::optional<bool> parseFlag(const QString& text)
{
    static const QStringList yes{QStringLiteral("true"), QStringLiteral("yes"),
                                 QStringLiteral("on"), QStringLiteral("1")};
    static const QStringList no{QStringLiteral("false"), QStringLiteral("no"),
                                QStringLiteral("off"), QStringLiteral("0")};
    const QString t = text.trimmed().toLower();
    if (yes.contains(t))
        return true;
    if (no.contains(t))
        return false;
    return std::nullopt;
}

std::optional<qint64> parseNumber(const QString& text, const QString& unit)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*([-+]?\d{1,12})\s*([A-Za-z]*)\s*$)"));
    const QRegularExpressionMatch m = re.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QString suffix = m.captured(2).toLower();
    qint64 factor = suffix.isEmpty() ? 1 : 0;
    if (const auto units = suffixes().find(unit); units != suffixes().end())
        factor = units->value(suffix, 0);
    if (factor == 0)
        return std::nullopt;
    return m.captured(1).toLongLong() * factor;
}

QString entryProblem(const SettingsKey& key, const IniFile::Entry& entry, qint64* number,
                     bool* flag)
{
    if (!entry.quoted && (entry.raw.contains(u';') || entry.raw.contains(u'#')))
        return QStringLiteral("holds ; or # outside quotes, which INI readers take for a "
                              "comment; put the value in double quotes");
    if (key.type == KeyType::Flag) {
        const std::optional<bool> v = parseFlag(entry.value);
        if (!v)
            return QStringLiteral("not a yes/no value");
        *flag = *v;
    } else if (key.type == KeyType::Number) {
        const std::optional<qint64> v = parseNumber(entry.value, key.unit);
        if (!v)
            return key.unit.isEmpty() ? QStringLiteral("not a whole number")
                                      : QStringLiteral("not a whole number of %1 or with a "
                                                       "unit")
                                            .arg(unitWords(key.unit).section(u';', 0, 0));
        if (*v < key.min || *v > key.max)
            return QStringLiteral("out of range");
        *number = *v;
    }
    return {};
}

QString nearestName(const QString& name, const QStringList& known)
{
    QString best;
    int bestDistance = std::max<int>(2, int(name.size()) / 3) + 1;
    for (const QString& k : known) {
        const int d = distance(name, k);
        if (d < bestDistance) {
            best = k;
            bestDistance = d;
        }
    }
    return best;
}

QString settingsReference(const QList<SettingsKey>& keys)
{
    QString out;
    QString section;
    const auto cell = [](QString text) { return text.replace(u'|', QLatin1String("\\|")); };
    for (const SettingsKey& k : keys) {
        if (k.section != section) {
            section = k.section;
            out += QStringLiteral("%1#### [%2]\n\n| Key | Type | Default | Accepted | What it does "
                                  "|\n|---|---|---|---|---|\n")
                       .arg(out.isEmpty() ? QString() : QStringLiteral("\n"), section);
        }
        QString help = k.help;
        if (!k.oldName.isEmpty())
            help += QStringLiteral(" (was `%1`)").arg(k.oldName);
        out += QStringLiteral("| `%1` | %2 | %3 | %4 | %5 |\n")
                   .arg(k.name, typeWords(k),
                        k.defaultText.isEmpty() ? QStringLiteral("(empty)")
                                                : QStringLiteral("`%1`").arg(k.defaultText),
                        cell(k.acceptedText()), cell(help));
    }
    return out;
}

} // namespace dovrane
