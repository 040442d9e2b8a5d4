#pragma once

#include <QString>
#include <QStringList>

namespace dovrane {

class Settings;

/// What --check says of Dovrane's own settings file: every section's problems, each
/// naming its key. Empty when all can be used.
[[nodiscard]] QStringList settingsProblems(const Settings& settings);

/// What --check and the start say when the settings file at path holds a secret
/// (a token, a password, a webhook or heartbeat address) and users other than its
/// owner may read it; empty when it holds none or only its owner can read it.
[[nodiscard]] QString secretsExposed(const QString& path);

} // namespace dovrane
