#pragma once

#include "SettingsTable.h"

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

    [[nodiscard]] static const SettingsTable<ScheduleSettings>& table();
    [[nodiscard]] QStringList problems() const { return {}; }
    friend bool operator==(const ScheduleSettings&, const ScheduleSettings&) = default;
};

} // namespace dovrane
