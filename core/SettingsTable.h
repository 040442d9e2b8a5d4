#pragma once

#include "IniFile.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace dovrane {

enum class KeyType
{
    Flag,   ///< true/false, yes/no, on/off, 1/0 in any case
    Number, ///< a whole number in range, with the key's unit or a larger one
    Text,
    List,   ///< items separated by commas
    Custom, ///< parsed and written by functions of its own
};

/// One key of Dovrane.ini as people meet it: in the README, in a problem --check
/// names, and as the limits and tooltip of its field in the settings window.
struct SettingsKey
{
    QString section;
    QString name;
    KeyType type = KeyType::Text;
    qint64 min = 0;
    qint64 max = 0;
    QString unit;     ///< "s", "min", "days", "Hz" or none
    QString accepted; ///< for text and custom keys: what the value may be
    QString help;
    QString oldName;     ///< the spelling of earlier releases, still read
    bool secret = false; ///< never shown back, not even in a problem
    QString defaultText;

    /// The spelling this key had before every key was snake_case.
    SettingsKey& was(const char* old)
    {
        oldName = QLatin1String(old);
        return *this;
    }
    SettingsKey& hidden()
    {
        secret = true;
        return *this;
    }
    SettingsKey& accepts(const char* what)
    {
        accepted = QLatin1String(what);
        return *this;
    }

    /// "true/false, yes/no..." or "0 to 3600 (seconds; 30s, 5m, 1h)" or accepted.
    [[nodiscard]] QString acceptedText() const;
    /// `[section] key: what (got "value"; accepted: ...)`, the one shape of every problem.
    [[nodiscard]] QString problem(const QString& what, const QString& got) const;
    /// The value as a problem may show it: escaped, shortened, or hidden.
    [[nodiscard]] QString shown(const QString& value) const;
};

/// `[section] key: what (got "value"; accepted: ...)`.
[[nodiscard]] QString settingsProblem(const QString& section, const QString& key,
                                      const QString& what, const QString& got,
                                      const QString& accepted);
[[nodiscard]] std::optional<bool> parseFlag(const QString& text);
/// A whole number, in the unit or with a suffix of a larger one ("5m" for 300 when
/// the unit is "s"); nothing when it is not one.
[[nodiscard]] std::optional<qint64> parseNumber(const QString& text, const QString& unit);
/// What is wrong with an entry read as the key (empty when it can be used); the
/// number is set for a number key.
[[nodiscard]] QString entryProblem(const SettingsKey& key, const IniFile::Entry& entry,
                                   qint64* number, bool* flag);
/// The known name nearest to name, or empty when none is near.
[[nodiscard]] QString nearestName(const QString& name, const QStringList& known);
/// The markdown tables of the keys, one per section, as the README has them.
[[nodiscard]] QString settingsReference(const QList<SettingsKey>& keys);

template <typename S> struct SettingsField
{
    SettingsKey key;
    bool& (*flag)(S&) = nullptr;
    int& (*number)(S&) = nullptr;
    QString& (*text)(S&) = nullptr;
    QStringList& (*list)(S&) = nullptr;
    /// Custom keys: reads the value into the struct, and says what is wrong if it cannot.
    QString (*parse)(S&, const QString&) = nullptr;
    /// Custom keys: the value to write; a null string removes the key.
    QString (*format)(const S&) = nullptr;
};

template <typename T> struct MemberOf;
template <typename C, typename V> struct MemberOf<V C::*>
{
    using Class = C;
    using Value = V;
};

/// The member as a reference, for the table: at<&StatusSettings::token>.
template <auto M>
typename MemberOf<decltype(M)>::Value& at(typename MemberOf<decltype(M)>::Class& s)
{
    return s.*M;
}
/// A member of a member: in<&AlarmSettings::hum, &DetectorSetting::delaySecs>.
template <auto Outer, auto Inner>
typename MemberOf<decltype(Inner)>::Value& in(typename MemberOf<decltype(Outer)>::Class& s)
{
    return (s.*Outer).*Inner;
}

/// The keys of one settings struct S, declared once: load, save, the problems and
/// the README come from here. S has `static const SettingsTable<S>& table()` and
/// `QStringList problems() const` for what only several keys together can say.
///
/// A new key is one line in S's table():
///     t.number("repeat_minutes", at<&NotifySettings::repeatMinutes>, 0, 1440, "min", "...");
/// with the member's default initialiser as its default; `.was("oldName")` keeps an
/// earlier spelling readable, `.hidden()` keeps a secret out of every message.
template <typename S> class SettingsTable
{
public:
    explicit SettingsTable(const char* section) : m_section(QLatin1String(section)) {}

    /// The keys added from here on belong to this section.
    void section(const char* name) { m_section = QLatin1String(name); }

    SettingsKey& flag(const char* name, bool& (*get)(S&), const char* help)
    {
        SettingsField<S>& f = add(name, KeyType::Flag, help);
        f.flag = get;
        return f.key;
    }
    SettingsKey& number(const char* name, int& (*get)(S&), qint64 min, qint64 max, const char* unit,
                        const char* help)
    {
        SettingsField<S>& f = add(name, KeyType::Number, help);
        f.number = get;
        f.key.min = min;
        f.key.max = max;
        f.key.unit = QLatin1String(unit);
        return f.key;
    }
    SettingsKey& text(const char* name, QString& (*get)(S&), const char* help)
    {
        SettingsField<S>& f = add(name, KeyType::Text, help);
        f.text = get;
        return f.key;
    }
    SettingsKey& list(const char* name, QStringList& (*get)(S&), const char* help)
    {
        SettingsField<S>& f = add(name, KeyType::List, help);
        f.list = get;
        return f.key;
    }
    SettingsKey& custom(const char* name, QString (*parse)(S&, const QString&),
                        QString (*format)(const S&), const char* accepted, const char* help)
    {
        SettingsField<S>& f = add(name, KeyType::Custom, help);
        f.parse = parse;
        f.format = format;
        f.key.accepted = QLatin1String(accepted);
        return f.key;
    }

    /// The struct as the file says, defaults where it is silent; every value that
    /// cannot be used is a problem and keeps its default.
    /// inSection reads a section of a family ("input.offair") with the keys of its
    /// table ("input").
    [[nodiscard]] S load(const IniFile& file, QStringList* problems,
                         const QString& inSection = {}) const
    {
        S s;
        for (const SettingsField<S>& tableField : m_fields) {
            SettingsField<S> f = tableField;
            if (!inSection.isEmpty())
                f.key.section = inSection;
            std::optional<IniFile::Entry> e = file.find(f.key.section, f.key.name);
            if (!e && !f.key.oldName.isEmpty())
                e = file.find(f.key.section, f.key.oldName);
            if (!e)
                continue;
            qint64 number = 0;
            bool flag = false;
            QString what = entryProblem(f.key, *e, &number, &flag);
            if (what.isEmpty()) {
                if (f.flag)
                    f.flag(s) = flag;
                else if (f.number)
                    f.number(s) = int(number);
                else if (f.text)
                    f.text(s) = e->value.trimmed();
                else if (f.list)
                    f.list(s) = IniFile::splitList(e->raw);
                else
                    what = f.parse(s, e->value.trimmed());
            }
            if (!what.isEmpty() && problems)
                *problems << f.key.problem(what, e->value);
        }
        if (problems) {
            QStringList own = s.problems();
            if (!inSection.isEmpty())
                own.replaceInStrings(u'[' + m_section + u']', u'[' + inSection + u']');
            *problems << own;
        }
        return s;
    }

    /// Writes every key in its new spelling; an old spelling goes. inSection writes
    /// a section of a family.
    void save(const S& s, IniFile& file, const QString& inSection = {}) const
    {
        for (const SettingsField<S>& tableField : m_fields) {
            SettingsField<S> f = tableField;
            if (!inSection.isEmpty())
                f.key.section = inSection;
            if (!f.key.oldName.isEmpty())
                file.remove(f.key.section, f.key.oldName);
            if (f.list)
                file.setList(f.key.section, f.key.name, f.list(const_cast<S&>(s)));
            else if (const QString v = valueText(f, s); !v.isNull())
                file.set(f.key.section, f.key.name, v);
            else
                file.remove(f.key.section, f.key.name);
        }
    }

    /// Numbers out of range (as a window may enter them) and S's own problems.
    [[nodiscard]] QStringList problems(const S& s) const
    {
        QStringList out;
        for (const SettingsField<S>& f : m_fields) {
            if (!f.number)
                continue;
            const int v = f.number(const_cast<S&>(s));
            if (v < f.key.min || v > f.key.max)
                out << f.key.problem(QStringLiteral("out of range"), QString::number(v));
        }
        return out + s.problems();
    }

    [[nodiscard]] QList<SettingsKey> keys() const
    {
        QList<SettingsKey> out;
        const S defaults{};
        for (const SettingsField<S>& f : m_fields) {
            out << f.key;
            out.last().defaultText =
                f.list ? f.list(const_cast<S&>(defaults)).join(u", ") : valueText(f, defaults);
        }
        return out;
    }

    [[nodiscard]] const SettingsKey& key(const char* name) const
    {
        for (const SettingsField<S>& f : m_fields)
            if (f.key.name == QLatin1String(name))
                return f.key;
        Q_ASSERT_X(false, "SettingsTable::key", name);
        return m_fields.front().key;
    }

private:
    SettingsField<S>& add(const char* name, KeyType type, const char* help)
    {
        m_fields.push_back({});
        SettingsField<S>& f = m_fields.back();
        f.key.section = m_section;
        f.key.name = QLatin1String(name);
        f.key.type = type;
        f.key.help = QString::fromUtf8(help);
        return f;
    }

    static QString valueText(const SettingsField<S>& f, const S& s)
    {
        S& m = const_cast<S&>(s); // the accessors only read here
        if (f.flag)
            return f.flag(m) ? QStringLiteral("true") : QStringLiteral("false");
        if (f.number)
            return QString::number(f.number(m));
        if (f.text)
            return f.text(m).isNull() ? QStringLiteral("") : f.text(m);
        if (f.list)
            return f.list(m).join(u", ");
        return f.format(s);
    }

    QString m_section;
    std::vector<SettingsField<S>> m_fields;
};

} // namespace dovrane
