#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace dovrane {

/// Dovrane.ini as written: sections, keys and values taken raw, line by line.
/// QSettings would cut an unquoted `abc;def` down to `abc` (`;` starts a comment for
/// it), so the file is read here, and a value keeps every character the person
/// typed. Values are written the way QSettings writes them (quoted when they hold
/// `;`, `#`, `,`, `=`, `"` or blanks at either end), so either reader finds the same
/// value, and comments and unknown lines stay where they are.
class IniFile
{
public:
    struct Entry
    {
        QString section;
        QString key;
        QString raw;   ///< after `=`, blanks at both ends removed
        QString value; ///< raw with its quotes and escapes undone
        bool quoted = false;
    };

    /// The file; an empty one when it does not exist, nothing when it cannot be read.
    [[nodiscard]] static std::optional<IniFile> read(const QString& path, QString* why = nullptr);
    [[nodiscard]] static IniFile parse(const QByteArray& text);

    [[nodiscard]] QList<Entry> entries() const;
    [[nodiscard]] std::optional<Entry> find(const QString& section, const QString& key) const;
    /// Changes the key's line, or adds it at the end of its section.
    void set(const QString& section, const QString& key, const QString& value);
    /// A list the way QSettings writes one: items joined by ", ", each quoted if need be.
    void setList(const QString& section, const QString& key, const QStringList& items);
    void remove(const QString& section, const QString& key);
    /// The section's header and every line under it.
    void removeSection(const QString& section);
    [[nodiscard]] QByteArray text() const;
    /// Replaces the file whole, readable by its owner only (it may hold secrets).
    bool save(const QString& path, QString* why) const;

    /// A list value: items split at commas outside quotes, each unquoted.
    [[nodiscard]] static QStringList splitList(const QString& raw);
    [[nodiscard]] static QString unquote(const QString& raw, bool* quoted = nullptr);
    [[nodiscard]] static QString quote(const QString& value);

private:
    void setRaw(const QString& section, const QString& key, const QString& raw);

    struct Line
    {
        QString text;
        QString section; ///< the section the line is in
        QString key;     ///< empty for headers, comments and blank lines
    };
    QList<Line> m_lines;
};

} // namespace dovrane
