#pragma once

#include <QObject>
#include <QSettings>
#include <QStringList>

namespace dovrane {

/// Dovrane's own settings file (Dovrane.ini in the data folder) for everything
/// that goes beyond the data files. Each feature keeps its own [section] and reads
/// it through a plain struct:
///
///     struct StatusSettings {
///         static StatusSettings load(const QSettings&);   // defaults when absent
///         void save(QSettings&) const;
///         QStringList problems() const;                   // for --check and the window
///     };
///
/// With the file absent every section has its defaults, and every default leaves
/// the data files, log lines, mails and modem bytes as they are without Dovrane's
/// own settings. The station owns the one Settings object and announces a re-read
/// (SIGHUP, the settings window closing) with changed().
class Settings : public QObject
{
    Q_OBJECT
public:
    explicit Settings(QString path, QObject* parent = nullptr)
        : QObject(parent), m_path(std::move(path))
    {}

    [[nodiscard]] const QString& path() const { return m_path; }

    /// The section as the file says now.
    template <typename Section> [[nodiscard]] Section read() const
    {
        const QSettings file(m_path, QSettings::IniFormat);
        return Section::load(file);
    }

    /// Writes the section and keeps the file readable by its owner only (it may
    /// hold passwords and tokens). False with why when the file cannot be written.
    template <typename Section> bool write(const Section& section, QString* why = nullptr)
    {
        QSettings file(m_path, QSettings::IniFormat);
        section.save(file);
        return finish(file, why);
    }

    /// Tells every feature to read its section again.
    void reload() { Q_EMIT changed(); }

    /// Syncs file, restricts it to its owner, and says what went wrong.
    static bool finish(QSettings& file, QString* why);

Q_SIGNALS:
    void changed();

private:
    QString m_path;
};

} // namespace dovrane
