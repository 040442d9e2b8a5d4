#include "AudioInput.h"

#include <QtEndian>

namespace dovrane {

ChannelPeaks channelPeaks(const QByteArray& buffer)
{
    // Track the extremes of each channel; the peak is whichever extreme is further
    // from zero, with its sign, so a -32768 sample survives for the caller to see.
    qint16 minL = 0, maxL = 0, minR = 0, maxR = 0;
    const auto* p = reinterpret_cast<const uchar*>(buffer.constData());
    const qsizetype frames = buffer.size() / 4;
    for (qsizetype i = 0; i < frames; ++i) {
        const auto l = qFromLittleEndian<qint16>(p + 4 * i);
        const auto r = qFromLittleEndian<qint16>(p + 4 * i + 2);
        minL = qMin(minL, l);
        maxL = qMax(maxL, l);
        minR = qMin(minR, r);
        maxR = qMax(maxR, r);
    }
    ChannelPeaks peaks;
    peaks.left = (-int(minL) > int(maxL)) ? minL : maxL;
    peaks.right = (-int(minR) > int(maxR)) ? minR : maxR;
    return peaks;
}

} // namespace dovrane
