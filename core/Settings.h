#pragma once

#include "SettingsTable.h"

#include <QObject>
#include <QStringList>

#include <functional>
#include <memory>
#include <typeinfo>
#include <vector>

namespace dovrane {

/// Dovrane's own settings file (Dovrane.ini in the data folder) for everything
/// that goes beyond the data files. Each feature keeps its own [section] in a plain
/// struct whose keys are declared once in its table() (see SettingsTable).
///
/// The file is parsed at start, on reload() (SIGHUP, the settings window closing)
/// and never per event: get<S>() hands out the section as last applied. A reload
/// applies every section at the same moment and emits changed() once; a file with
/// problems changes nothing, and refused() names each problem. With the file absent
/// every section has its defaults, which leave the data files, log lines, mails and
/// modem bytes as they are without Dovrane's own settings.
class Settings : public QObject
{
    Q_OBJECT
public:
    struct Report
    {
        bool unreadable = false; ///< the file exists but cannot be read
        QStringList problems;    ///< values that cannot be used, unknown keys
        QStringList notes;       ///< old spellings, still read
    };

    explicit Settings(QString path, QObject* parent = nullptr)
        : QObject(parent), m_path(std::move(path))
    {}

    [[nodiscard]] const QString& path() const { return m_path; }

    /// Makes S one of the file's sections, at its defaults until the next load.
    template <typename S> void declare()
    {
        const SettingsTable<S>& table = S::table();
        m_sections.push_back(
            {&typeid(S),
             [&table](const IniFile& file, QStringList* problems) -> std::shared_ptr<const void> {
                 return std::make_shared<const S>(table.load(file, problems));
             },
             table.keys()});
        m_values.push_back(std::make_shared<const S>());
    }

    /// One section of a family: [input.offair] is "offair" of the family "input".
    template <typename S> struct Named
    {
        QString name;
        S value;
    };
    /// Makes every section called prefix.NAME one of a family read with S's table
    /// (whose keys are declared in the section "prefix.NAME"). NAME is 1 to 32 letters,
    /// digits, '-' and '_'.
    template <typename S> void declareFamily(const char* prefix)
    {
        const SettingsTable<S>& table = S::table();
        const QString family = QLatin1String(prefix);
        m_families << family;
        m_sections.push_back(
            {&typeid(QList<Named<S>>),
             [&table, family](const IniFile& file,
                              QStringList* problems) -> std::shared_ptr<const void> {
                 auto all = std::make_shared<QList<Named<S>>>();
                 for (const QString& section : familySections(file, family, problems))
                     all->append(
                         {section.mid(family.size() + 1), table.load(file, problems, section)});
                 return all;
             },
             table.keys()});
        m_values.push_back(std::make_shared<const QList<Named<S>>>());
    }
    /// The sections of S's family as last applied, in the file's order.
    template <typename S> [[nodiscard]] const QList<Named<S>>& family() const
    {
        return get<QList<Named<S>>>();
    }

    /// The section as last applied.
    template <typename S> [[nodiscard]] const S& get() const
    {
        for (size_t i = 0; i < m_sections.size(); ++i)
            if (*m_sections[i].type == typeid(S))
                return *static_cast<const S*>(m_values[i].get());
        Q_ASSERT_X(false, "Settings::get", typeid(S).name());
        static const S defaults{};
        return defaults;
    }

    /// At start: applies what can be used (the rest keeps its default) and says what cannot.
    Report load() { return apply(false); }
    /// Applies the whole file, or nothing when it has problems.
    Report reload() { return apply(true); }
    /// What a load would find, changing nothing.
    [[nodiscard]] Report check() const;

    /// Writes the section into the file, keeping the rest, readable by its owner only.
    /// False with why when the file cannot be read or written.
    template <typename S> bool write(const S& section, QString* why = nullptr)
    {
        std::optional<IniFile> file = IniFile::read(m_path, why);
        if (!file)
            return false;
        S::table().save(section, *file);
        return file->save(m_path, why);
    }

    /// Replaces every section of the family prefix with members, keeping the rest of
    /// the file. False with why when the file cannot be read or written.
    template <typename S>
    bool writeFamily(const char* prefix, const QList<Named<S>>& members, QString* why = nullptr)
    {
        std::optional<IniFile> file = IniFile::read(m_path, why);
        if (!file)
            return false;
        const QString family = QLatin1String(prefix) + u'.';
        for (const IniFile::Entry& e : file->entries())
            if (e.section.startsWith(family))
                file->removeSection(e.section);
        for (const Named<S>& m : members)
            S::table().save(m.value, *file, family + m.name);
        return file->save(m_path, why);
    }

    /// The README's tables of every declared key.
    [[nodiscard]] QString reference() const;

Q_SIGNALS:
    void changed();
    /// A reload kept the running settings because of these problems.
    void refused(const QStringList& problems);

private:
    struct Section
    {
        const std::type_info* type;
        std::function<std::shared_ptr<const void>(const IniFile&, QStringList*)> load;
        QList<SettingsKey> keys;
    };

    Report apply(bool allOrNothing);
    /// The sections of file named family.NAME, once each; a bad NAME is a problem.
    [[nodiscard]] static QStringList familySections(const IniFile& file, const QString& family,
                                                    QStringList* problems);
    [[nodiscard]] Report parse(std::vector<std::shared_ptr<const void>>* values) const;

    QString m_path;
    std::vector<Section> m_sections;
    std::vector<std::shared_ptr<const void>> m_values;
    QStringList m_families;
};

} // namespace dovrane
