#pragma once

#include "SettingsTable.h"

namespace dovrane {

class AudioInput;

/// [input] of Dovrane.ini, written by Preferences.
struct InputSettings
{
    QString deviceName;
    QString deviceId;
    [[nodiscard]] static const SettingsTable<InputSettings>& table();
    [[nodiscard]] QStringList problems() const { return {}; }
};

/// The input device the user chose in Preferences, remembered by name and id in
/// Dovrane's own settings file (Dovrane.ini, [input]) beside the data files. The
/// parameters file keeps only the device's place in the list, and cards plugged
/// in another order would silently put another input there.
namespace InputChoice {

/// Remembers device index of input as the chosen one.
void remember(const QString& settingsPath, const AudioInput& input, int index);

/// The device to capture: the stored number when the remembered device is there
/// (or nothing is remembered, or the list is not known yet), else the remembered
/// device wherever it is now. When they differ, explanation says why in words.
[[nodiscard]] int resolve(const QString& settingsPath, const AudioInput& input, int stored,
                          QString* explanation);

} // namespace InputChoice

} // namespace dovrane
