#pragma once

namespace dovrane {

class Settings;

/// Makes every section of Dovrane.ini known to settings: the one list of them.
void declareSections(Settings& settings);

} // namespace dovrane
