#include "Settings.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

namespace dovrane {

namespace {
/// Earlier releases read every value but an empty one, 0 and false as on: a flag
/// that now means off and then meant on is worth a second look.
bool wasReadAsOn(const QString& raw)
{
    const QString v = raw.trimmed();
    return parseFlag(v) == false && !v.isEmpty() && v != QLatin1String("0") &&
           v.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
}
} // namespace

Settings::Report Settings::check() const
{
    return parse(nullptr);
}

Settings::Report Settings::apply(bool allOrNothing)
{
    std::vector<std::shared_ptr<const void>> values;
    Report report = parse(&values);
    if (report.unreadable || (allOrNothing && !report.problems.isEmpty())) {
        if (allOrNothing)
            Q_EMIT refused(report.unreadable
                               ? QStringList{QStringLiteral("%1 cannot be read").arg(m_path)}
                               : report.problems);
        return report;
    }
    m_values = std::move(values);
    Q_EMIT changed();
    return report;
}

Settings::Report Settings::parse(std::vector<std::shared_ptr<const void>>* values) const
{
    Report report;
    QString why;
    const std::optional<IniFile> file = IniFile::read(m_path, &why);
    if (!file) {
        report.unreadable = true;
        report.problems << QStringLiteral("cannot be read: %1").arg(why);
        return report;
    }
    QStringList sections;
    QHash<QString, QStringList> names;
    QHash<QString, QString> newNames; // "section/oldName" -> name
    QSet<QString> flags;              // "section/key" of every flag
    for (const Section& s : m_sections) {
        for (const SettingsKey& k : s.keys) {
            if (!sections.contains(k.section))
                sections << k.section;
            names[k.section] << k.name;
            if (!k.oldName.isEmpty())
                newNames.insert(k.section + u'/' + k.oldName, k.name);
            if (k.type == KeyType::Flag) {
                flags.insert(k.section + u'/' + k.name);
                if (!k.oldName.isEmpty())
                    flags.insert(k.section + u'/' + k.oldName);
            }
        }
    }
    for (const IniFile::Entry& e : file->entries()) {
        const qsizetype dot = e.section.indexOf(u'.');
        if (dot > 0 && m_families.contains(e.section.left(dot))) {
            // A member of a family: its keys are those of the family's table.
            const QString family = e.section.left(dot) + QStringLiteral(".NAME");
            if (!names[family].contains(e.key)) {
                const QString near = nearestName(e.key, names[family]);
                report.problems << settingsProblem(
                    e.section, e.key,
                    near.isEmpty() ? QStringLiteral("unknown key")
                                   : QStringLiteral("unknown key, did you mean %1?").arg(near),
                    e.key, names[family].join(QLatin1String(", ")));
            }
            if (flags.contains(family + u'/' + e.key) && wasReadAsOn(e.value))
                report.notes << settingsProblem(
                    e.section, e.key, QStringLiteral("means off; earlier releases read it as on"),
                    e.value.trimmed(), QStringLiteral("true/false, yes/no, on/off, 1/0"));
            continue;
        }
        if (!names.contains(e.section)) {
            // Most likely the key is right and the section header wrong or missing:
            // name the sections where a key of that name lives.
            QStringList all;
            for (const QString& section : sections)
                all << names[section];
            const QString key = nearestName(e.key, all);
            QStringList homes;
            for (const QString& section : sections)
                if (!key.isEmpty() && names[section].contains(key))
                    homes << QStringLiteral("[%1]").arg(section);
            report.problems << settingsProblem(
                e.section, e.key,
                homes.isEmpty() ? QStringLiteral("unknown section")
                                : QStringLiteral("unknown section; %1 is a key of %2")
                                      .arg(key, homes.join(QLatin1String(", "))),
                QStringLiteral("[%1]").arg(e.section),
                QStringLiteral("[%1]").arg(sections.join(QLatin1String("], ["))));
        } else if (const QString now = newNames.value(e.section + u'/' + e.key); !now.isEmpty()) {
            report.notes << settingsProblem(
                e.section, e.key, QStringLiteral("old spelling, now %1").arg(now), e.key, now);
        } else if (!names[e.section].contains(e.key)) {
            const QString near = nearestName(e.key, names[e.section]);
            report.problems << settingsProblem(
                e.section, e.key,
                near.isEmpty() ? QStringLiteral("unknown key")
                               : QStringLiteral("unknown key, did you mean %1?").arg(near),
                e.key, names[e.section].join(QLatin1String(", ")));
        }
        if (flags.contains(e.section + u'/' + e.key) && wasReadAsOn(e.value))
            report.notes << settingsProblem(
                e.section, e.key, QStringLiteral("means off; earlier releases read it as on"),
                e.value.trimmed(), QStringLiteral("true/false, yes/no, on/off, 1/0"));
    }
    for (const Section& s : m_sections) {
        std::shared_ptr<const void> value = s.load(*file, &report.problems);
        if (values)
            values->push_back(std::move(value));
    }
    report.problems.removeDuplicates();
    return report;
}

QStringList Settings::familySections(const IniFile& file, const QString& family,
                                     QStringList* problems)
{
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_-]{1,32}$"));
    QStringList out;
    for (const IniFile::Entry& e : file.entries()) {
        if (!e.section.startsWith(family + u'.') || out.contains(e.section))
            continue;
        if (kName.match(e.section.mid(family.size() + 1)).hasMatch()) {
            out << e.section;
        } else if (problems) {
            const QString problem = settingsProblem(
                e.section, e.key, QStringLiteral("not a name for the section"),
                QStringLiteral("[%1]").arg(e.section),
                QStringLiteral("[%1.NAME], NAME 1 to 32 letters, digits, - and _").arg(family));
            if (!problems->contains(problem))
                *problems << problem;
        }
    }
    return out;
}

QString Settings::reference() const
{
    QList<SettingsKey> keys;
    for (const Section& s : m_sections)
        keys << s.keys;
    return settingsReference(keys);
}

} // namespace dovrane
