#pragma once

#include <QSettings>
#include <QStringList>

#include <optional>

namespace dovrane {

/// The [schedule] section of Dovrane.ini: when the weekly schedule monitors beyond
/// its start and stop seconds. Absent, the window program acts only on those
/// seconds; the headless program also starts at once inside a window.
struct ScheduleSettings
{
    /// Monitors every day, all day, whatever the weekly schedule says.
    bool aroundTheClock = false;
    /// Started inside a scheduled window, monitoring starts at once. Unset: the
    /// program's own default (headless yes, window no).
    std::optional<bool> resumeInWindow;
    /// What the file said that is neither yes nor no, as "[schedule] key: value".
    QStringList unreadable;

    [[nodiscard]] static ScheduleSettings load(const QSettings& file);
    void save(QSettings& file) const;
    [[nodiscard]] QStringList problems() const { return unreadable; }
};

/// Reads a yes/no (also true/false, on/off, 1/0) value of key; unset when absent,
/// and unset with a problem added when it is something else.
[[nodiscard]] std::optional<bool> readYesNo(const QSettings& file, const QString& key,
                                            QStringList* problems);

} // namespace dovrane
