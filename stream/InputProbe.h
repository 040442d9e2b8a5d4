#pragma once

#include "AudioInput.h"

#include <QList>

namespace dovrane {

class Clock;
class ClockTimer;

/// Listens to an input for a few seconds and says what it heard: whether audio
/// arrived, the peak of each channel over every half second of it, what the source
/// is (codec, rate, channels for a stream) and, when nothing came, why. Behind the
/// inputs' Test button and `dovrane --probe-input`.
class InputProbe : public QObject
{
    Q_OBJECT
public:
    /// Peak levels in dBFS; -infinity for digital silence.
    struct Levels
    {
        double left = 0;
        double right = 0;
    };

    InputProbe(AudioInput& input, Clock& clock, QObject* parent = nullptr);

    /// Starts the input and listens for this long; finished() follows.
    void start(int seconds = 5);

    [[nodiscard]] bool reachedAudio() const { return m_reached; }
    [[nodiscard]] QString description() const { return m_description; }
    [[nodiscard]] QString why() const { return m_why; }
    [[nodiscard]] QList<Levels> levels() const { return m_levels; }

    /// "L -20.0 dBFS  R -19.9 dBFS"
    [[nodiscard]] static QString levelText(const Levels& levels);

Q_SIGNALS:
    void described(const QString& description);
    void measured(const dovrane::InputProbe::Levels& levels);
    void finished(bool reachedAudio);

private:
    void received(const QByteArray& buffer);
    void finish();

    AudioInput& m_input;
    ClockTimer* m_timer = nullptr;
    bool m_running = false;
    bool m_reached = false;
    QString m_description;
    QString m_why;
    QList<Levels> m_levels;
    int m_frames = 0;
    int m_peakLeft = 0;
    int m_peakRight = 0;
};

} // namespace dovrane
