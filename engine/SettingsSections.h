#pragma once

#include <QString>

namespace dovrane {

class Settings;

/// Makes every section of Dovrane.ini known to settings: the one list of them.
void declareSections(Settings& settings);

/// What --check and the start say when the settings file at path holds a secret
/// (a token, a password, a webhook or heartbeat address) and users other than its
/// owner may read it; empty when it holds none or only its owner can read it.
[[nodiscard]] QString secretsExposed(const QString& path);

} // namespace dovrane
