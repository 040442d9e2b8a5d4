#include "LevelMeasurement.h"

#include "AudioInput.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace dovrane {

void LevelMeasurement::start(AudioInput& input, int buffers)
{
    disconnect(m_connection);
    m_peaks.clear();
    m_peaks.reserve(buffers);
    m_wanted = buffers;
    m_connection = connect(&input, &AudioInput::bufferReady, this, [this](const QByteArray& b) {
        const ChannelPeaks peaks = channelPeaks(b);
        m_peaks << std::min(32767, std::max(std::abs(int(peaks.left)), std::abs(int(peaks.right))));
        if (m_peaks.size() % 43 == 0)
            Q_EMIT progress(int(100 * m_peaks.size() / m_wanted));
        if (m_peaks.size() < m_wanted)
            return;
        disconnect(m_connection);
        m_wanted = 0;
        QList<int> sorted = m_peaks;
        std::sort(sorted.begin(), sorted.end());
        Q_EMIT finished(sorted.last(), sorted.at(sorted.size() / 2));
    });
}

double LevelMeasurement::dBFS(int level)
{
    return level <= 0 ? -std::numeric_limits<double>::infinity() : 20 * std::log10(level / 32767.0);
}

int LevelMeasurement::suggest(int floor, int programme)
{
    double value = 0;
    if (floor > 0 && programme > 0)
        value = std::sqrt(double(floor) * double(programme));
    else if (floor > 0)
        value = 2.0 * floor; // 6 dB above what quiet gives
    else if (programme > 0)
        value = programme / 10.0; // 20 dB under what programme gives
    return std::clamp(int(std::lround(value)), 1, 32767);
}

int LevelMeasurement::suggestDelay(double quietSecs)
{
    return std::max(5, int(std::ceil(1.5 * quietSecs + 2)));
}

} // namespace dovrane
