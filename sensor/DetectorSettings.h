#pragma once

#include "SettingsTable.h"

namespace dovrane {

/// [detectors] and [clips] of Dovrane.ini: the faults watched for beside silence,
/// and the audio kept of each. All off by default.
struct DetectorSettings
{
    bool inputLost = false;
    bool channelLoss = false;
    /// Seconds one channel must stay dead; 0 takes the silence alarm's delay.
    int channelDelay = 0;
    bool phase = false;
    int phaseSeconds = 10;
    /// Limit of 2 LR / (LL + RR) over the last seconds: mid against side energy.
    double phaseLimit = -0.5;
    bool clips = false;
    int clipDays = 30;

    [[nodiscard]] static const SettingsTable<DetectorSettings>& table();
    [[nodiscard]] QStringList problems() const { return {}; }
    bool operator==(const DetectorSettings&) const = default;
    [[nodiscard]] bool anyDetector() const { return inputLost || channelLoss || phase; }
};

} // namespace dovrane
