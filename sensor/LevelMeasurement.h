#pragma once

#include <QList>
#include <QObject>

namespace dovrane {

class AudioInput;

/// Listens to an input for a number of buffers and says what it heard: the highest
/// peak (the noise floor when the input is kept quiet) and the typical one (the
/// median buffer peak, for programme). It only counts buffers, so it never waits.
class LevelMeasurement : public QObject
{
    Q_OBJECT
public:
    /// About 10 s of 1024-frame buffers.
    static constexpr int kBuffers = 431;

    using QObject::QObject;

    void start(AudioInput& input, int buffers = kBuffers);
    [[nodiscard]] bool isRunning() const { return m_wanted > 0; }

    /// 20 log10(level / 32767); -inf for 0.
    [[nodiscard]] static double dBFS(int level);
    /// A threshold between a floor and a programme peak (either may be 0: unknown),
    /// half-way in decibels when both are known.
    [[nodiscard]] static int suggest(int floor, int programme);

Q_SIGNALS:
    void progress(int percent);
    void finished(int highest, int typical);

private:
    QList<int> m_peaks;
    int m_wanted = 0;
    QMetaObject::Connection m_connection;
};

} // namespace dovrane
