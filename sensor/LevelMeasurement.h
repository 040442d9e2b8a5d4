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
    /// About 30 s of 1024-frame buffers: long enough to hear a track change.
    static constexpr int kBuffers = 1292;

    using QObject::QObject;

    void start(AudioInput& input, int buffers = kBuffers);
    [[nodiscard]] bool isRunning() const { return m_wanted > 0; }

    /// 20 log10(level / 32767); -inf for 0.
    [[nodiscard]] static double dBFS(int level);
    /// A threshold between a floor and a programme peak (either may be 0: unknown),
    /// half-way in decibels when both are known.
    [[nodiscard]] static int suggest(int floor, int programme);

    /// The longest run of buffers whose peak is not above threshold (where a silence
    /// alarm would have counted): how many, and the first.
    struct QuietRun
    {
        qsizetype buffers = 0;
        qsizetype from = 0;
    };
    template <typename Peaks>
    [[nodiscard]] static QuietRun longestQuiet(const Peaks& peaks, int threshold)
    {
        QuietRun best, run;
        for (qsizetype i = 0; i < qsizetype(peaks.size()); ++i) {
            if (int(peaks[i]) > threshold) {
                run = {0, i + 1};
                continue;
            }
            if (++run.buffers > best.buffers)
                best = run;
        }
        return best;
    }
    /// A silence delay that the longest quiet stretch heard (a fade, the gap and the
    /// next fade-in) stays well inside: half as long again plus 2 s, at least 5 s.
    [[nodiscard]] static int suggestDelay(double quietSecs);
    /// The buffer peaks of the last measurement.
    [[nodiscard]] const QList<int>& peaks() const { return m_peaks; }

Q_SIGNALS:
    void progress(int percent);
    void finished(int highest, int typical);

private:
    QList<int> m_peaks;
    int m_wanted = 0;
    QMetaObject::Connection m_connection;
};

} // namespace dovrane
