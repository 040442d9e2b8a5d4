#include "InputProbe.h"

#include "Clock.h"
#include "StreamSource.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace dovrane {

namespace {

constexpr int kFramesPerLevel = AudioInput::kSampleRate / 2;

double dbfs(int peak)
{
    return peak == 0 ? -std::numeric_limits<double>::infinity()
                     : 20.0 * std::log10(double(peak) / 32768.0);
}

} // namespace

InputProbe::InputProbe(AudioInput& input, Clock& clock, QObject* parent)
    : QObject(parent), m_input(input), m_timer(clock.createTimer(this))
{
    connect(m_timer, &ClockTimer::timeout, this, &InputProbe::finish);
    connect(&m_input, &AudioInput::bufferReady, this, &InputProbe::received);
    if (auto* stream = qobject_cast<StreamSource*>(&m_input)) {
        // The stream's own reason, without its address in front.
        connect(stream, &StreamSource::streamDown, this,
                [this](const QString& why) { m_why = why; });
        connect(stream, &StreamSource::streamUp, this, [this](const QString& description) {
            m_description = description;
            Q_EMIT described(description);
        });
    } else {
        connect(&m_input, &AudioInput::captureLost, this,
                [this](const QString& why) { m_why = why; });
    }
}

void InputProbe::start(int seconds)
{
    m_reached = false;
    m_why.clear();
    m_levels.clear();
    m_frames = m_peakLeft = m_peakRight = 0;
    if (qobject_cast<StreamSource*>(&m_input) == nullptr) {
        m_description = m_input.deviceName(m_input.selectedDevice());
        Q_EMIT described(m_description);
    }
    if (!m_input.start()) {
        m_why = m_input.errorString();
        Q_EMIT finished(false);
        return;
    }
    m_running = true;
    m_timer->setInterval(seconds * 1000);
    m_timer->start();
}

QString InputProbe::levelText(const Levels& levels)
{
    const auto text = [](double db) {
        return std::isinf(db) ? QStringLiteral("-inf") : QString::number(db, 'f', 1);
    };
    return QStringLiteral("L %1 dBFS  R %2 dBFS").arg(text(levels.left), text(levels.right));
}

void InputProbe::received(const QByteArray& buffer)
{
    if (!m_running)
        return;
    m_reached = true;
    const ChannelPeaks peaks = channelPeaks(buffer);
    m_peakLeft = std::max(m_peakLeft, std::abs(int(peaks.left)));
    m_peakRight = std::max(m_peakRight, std::abs(int(peaks.right)));
    m_frames += int(buffer.size() / (AudioInput::kChannels * 2));
    if (m_frames < kFramesPerLevel)
        return;
    m_levels.append({dbfs(m_peakLeft), dbfs(m_peakRight)});
    m_frames = m_peakLeft = m_peakRight = 0;
    Q_EMIT measured(m_levels.last());
}

void InputProbe::finish()
{
    m_timer->stop();
    m_running = false;
    m_input.stop();
    if (!m_reached && m_why.isEmpty())
        m_why = QStringLiteral("no audio arrived in %1 s").arg(m_timer->interval() / 1000);
    Q_EMIT finished(m_reached);
}

} // namespace dovrane
