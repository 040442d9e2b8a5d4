#pragma once

#include <QStringList>

namespace dovrane {

class Settings;

/// What --check says of Dovrane's own settings file: every section's problems, each
/// naming its key. Empty when all can be used.
[[nodiscard]] QStringList settingsProblems(const Settings& settings);

} // namespace dovrane
