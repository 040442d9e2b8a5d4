#include "LevelTest.h"

#include <limits>

namespace dovrane {

LevelReading testLevel(ChannelPeaks peaks, qint32 threshold)
{
    constexpr qint16 kNoMagnitude = std::numeric_limits<qint16>::min();
    LevelReading reading;
    // The magnitude of -32768 does not fit a 16-bit number: the measurement of
    // the whole buffer counts as failed and the buffer as silent.
    if (peaks.left == kNoMagnitude || peaks.right == kNoMagnitude)
        return reading;

    reading.PeakLeft = peaks.left;
    reading.PeakRight = peaks.right;
    reading.measured = true;
    const auto left = static_cast<qint16>(peaks.left < 0 ? -peaks.left : peaks.left);
    const auto right = static_cast<qint16>(peaks.right < 0 ? -peaks.right : peaks.right);
    const qint32 combined = qint32(left | right);
    reading.sound = combined > threshold;
    return reading;
}

} // namespace dovrane
