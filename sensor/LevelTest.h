#pragma once

#include "AudioInput.h"

#include <QByteArray>

namespace dovrane {

/// What the level test made of one captured buffer.
struct LevelReading
{
    /// The channel peaks as used by the test; both 0 when the measurement failed.
    qint16 PeakLeft = 0;
    qint16 PeakRight = 0;
    /// false when a peak had no 16-bit magnitude (a -32768 sample).
    bool measured = false;
    /// The buffer counts as sound: it moves the time of last sound to now.
    bool sound = false;
};

/// The level test of one buffer. The two channel magnitudes are combined with a
/// bitwise OR, not a maximum: 256 | 255 = 511, so two channels just under the
/// threshold can together count as sound. That is how operators' thresholds have
/// always been tuned, so it stays. The combined value must be strictly greater
/// than threshold (signed), so threshold 0 makes any non-zero sample sound.
[[nodiscard]] LevelReading testLevel(ChannelPeaks peaks, qint32 threshold);
[[nodiscard]] inline LevelReading testLevel(const QByteArray& buffer, qint32 threshold)
{
    return testLevel(channelPeaks(buffer), threshold);
}

} // namespace dovrane
