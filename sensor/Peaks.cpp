#include "AudioInput.h"

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstring>

namespace dovrane {

ChannelPeaks channelPeaks(const QByteArray& buffer)
{
    // Track the extremes of each channel; the peak is whichever extreme is further
    // from zero, with its sign, so a -32768 sample survives for the caller to see.
    // This runs for every captured buffer, so the extremes are kept per lane of
    // kLanes interleaved samples (even lanes left, odd lanes right): the inner
    // loop then has a fixed length and no shuffles, and compilers keep it in
    // vector registers.
    constexpr qsizetype kLanes = 16;
    std::array<qint16, kLanes> lo{};
    std::array<qint16, kLanes> hi{};

    constexpr qsizetype kBlock = 16 * kLanes;
    const char* data = buffer.constData();
    const qsizetype samples = (buffer.size() / 4) * 2;
    alignas(32) std::array<qint16, kBlock> block{};
    for (qsizetype done = 0; done < samples; done += kBlock) {
        const qsizetype count = std::min(kBlock, samples - done);
        if (count < kBlock)
            block.fill(0); // a short tail counts as silence
        std::memcpy(block.data(), data + 2 * done, std::size_t(2 * count));
        for (qsizetype g = 0; g < kBlock; g += kLanes) {
            for (qsizetype j = 0; j < kLanes; ++j) {
                const qint16 s = qFromLittleEndian(block[g + j]);
                lo[j] = std::min(lo[j], s);
                hi[j] = std::max(hi[j], s);
            }
        }
    }

    qint16 minL = 0, maxL = 0, minR = 0, maxR = 0;
    for (qsizetype j = 0; j < kLanes; j += 2) {
        minL = std::min(minL, lo[j]);
        maxL = std::max(maxL, hi[j]);
        minR = std::min(minR, lo[j + 1]);
        maxR = std::max(maxR, hi[j + 1]);
    }
    ChannelPeaks peaks;
    peaks.left = (-int(minL) > int(maxL)) ? minL : maxL;
    peaks.right = (-int(minR) > int(maxR)) ? minR : maxR;
    return peaks;
}

QString AudioInput::missingDeviceText(int selected, qsizetype installed)
{
    return installed == 0 ? QStringLiteral("No sound input device is installed")
                          : QStringLiteral("Sound input device %1 does not exist (%2 installed)")
                                .arg(selected)
                                .arg(installed);
}

} // namespace dovrane
