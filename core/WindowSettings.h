#pragma once

#include "SettingsTable.h"

namespace dovrane {

/// [window] of Dovrane.ini: what the desktop window does beyond showing the state.
/// Silent by default.
struct WindowSettings
{
    /// Empty or "no": silent; "yes": the desktop's beep, repeated; otherwise a
    /// sound file played over and over (through paplay) while the alarm waits.
    QString alarmSound;

    [[nodiscard]] static const SettingsTable<WindowSettings>& table();
    [[nodiscard]] QStringList problems() const;
    friend bool operator==(const WindowSettings&, const WindowSettings&) = default;

    [[nodiscard]] bool silent() const;
    [[nodiscard]] bool beep() const;
};

} // namespace dovrane
