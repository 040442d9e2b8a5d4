#include "SettingsSections.h"

#include "AlarmSettings.h"
#include "DetectorSettings.h"
#include "InputChoice.h"
#include "NocSettings.h"
#include "NotifySettings.h"
#include "PresetSettings.h"
#include "Settings.h"
#include "StatusSettings.h"

namespace dovrane {

void declareSections(Settings& settings)
{
    // In the order of the README's tables.
    settings.declare<StatusSettings>();
    settings.declare<NotifySettings>();
    settings.declare<PresetSettings>();
    settings.declare<AlarmSettings>();
    settings.declare<DetectorSettings>();
    settings.declare<SnmpSettings>();
    settings.declare<HeartbeatSettings>();
    settings.declare<InputSettings>();
}

} // namespace dovrane
