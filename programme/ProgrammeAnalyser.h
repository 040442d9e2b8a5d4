#pragma once

#include "AlarmSettings.h"

#include <QByteArray>

#include <algorithm>
#include <memory>
#include <vector>

namespace dovrane {

/// Listens to the programme the way an engineer would rather than to the raw peak:
/// the level inside a measurement band (pilot notched out), and whether the sound
/// is mains hum, noise or the same few seconds over and over. One captured buffer
/// at a time, on the thread that captures; the transforms are planned once and
/// their buffers reused.
class ProgrammeAnalyser
{
public:
    ProgrammeAnalyser();
    ~ProgrammeAnalyser();
    ProgrammeAnalyser(const ProgrammeAnalyser&) = delete;
    ProgrammeAnalyser& operator=(const ProgrammeAnalyser&) = delete;

    /// Takes the band and detector settings; forgets what was heard.
    void configure(const AlarmSettings& settings);

    /// Analyses one buffer (1024 stereo frames) and says whether it is sound: the
    /// in-band level of either channel above threshold with a band, else rawSound
    /// (the peak test). Only sound feeds the detectors; silence is the silence
    /// alarm's business.
    bool analyse(const QByteArray& buffer, qint32 threshold, bool rawSound);
    /// The in-band level of the last buffer, the louder channel's: its peak scaled
    /// by the square root of the share of its energy inside the band, so a threshold
    /// means on the band what it means on the peak. 0 without a band.
    [[nodiscard]] double bandLevel() const { return m_bandLevel; }
    /// Mains hum under whatever plays, in dBFS (the lowest hum level of the last
    /// 10 s, as a sine of that level would read); -inf before the hum detector has
    /// heard anything or while it is off.
    [[nodiscard]] double humDbfs() const { return m_humDbfs; }

    [[nodiscard]] bool hum() const { return m_hum; }
    [[nodiscard]] bool noise() const { return m_noise; }
    [[nodiscard]] bool loop() const { return m_loop; }
    /// Seconds one pass of the repeat lasts (the loop was stuck that long before its
    /// first repeat could be heard), at most as long as sound has lasted.
    [[nodiscard]] double loopSecs() const
    {
        return std::min(m_loopLag, m_soundRun) * double(kFrames) / 44100;
    }

    static constexpr int kFrames = 1024;
    static constexpr int kHumFrames = 4096;
    static constexpr int kBands = 12;
    static constexpr int kNoiseBins = 233; ///< up to 10 kHz
    static constexpr int kDriftBands = 16;

private:
    struct Plans;
    void measureBand(const qint16* samples, int frames);
    void checkNoise(bool sound);
    [[nodiscard]] double tonality() const;
    [[nodiscard]] double drift() const;
    void checkHum(bool sound);
    void checkLoop(bool sound);

    std::unique_ptr<Plans> m_plans;
    AlarmSettings m_settings;
    std::vector<double> m_window;
    std::vector<double> m_humWindow;
    std::vector<double> m_mono;
    std::vector<double> m_power;
    std::vector<double> m_powerL;
    std::vector<double> m_powerR;
    int m_bandFrom = 0;
    int m_bandTo = -1;
    int m_notchFrom = 1;
    int m_notchTo = 0;
    double m_bandLevel = 0;
    double m_humDbfs = 0;

    // hum: 4096 samples gathered from four buffers
    std::vector<double> m_humIn;
    int m_humFill = 0;
    std::vector<bool> m_humVotes;
    int m_humVote = 0;
    bool m_humHeard = false;         ///< the last hum transform was mostly mains
    std::vector<double> m_humLevels; ///< ring: mains power of each transform
    int m_humLevelNext = 0;

    // noise: a second of power spectra (summed), per-buffer crest factor and level
    struct NoiseFrame
    {
        double crest = 0;
        double levelDb = 0;
        bool sound = false;
    };
    std::vector<NoiseFrame> m_noiseFrames;
    std::vector<double> m_noiseSpectra; ///< ring of kNoiseBins per buffer
    std::vector<double> m_noiseSum;     ///< their sum
    std::vector<float> m_driftBands;    ///< ring of two seconds of kDriftBands per buffer
    int m_driftNext = 0;
    int m_noiseNext = 0;
    int m_noiseCount = 0;
    bool m_noiseNow = false;
    std::vector<bool> m_noiseVotes;
    int m_noiseVote = 0;

    // loop: a band-energy signature per buffer and, per lag, a smoothed distance
    std::vector<float> m_signatures; ///< ring of kBands per buffer
    std::vector<char> m_loud;
    int m_sigNext = 0;
    int m_sigCount = 0;
    std::vector<float> m_distance;
    std::vector<int> m_compared;
    std::vector<bool> m_loopVotes;
    int m_loopVote = 0;

    bool m_hum = false;
    bool m_noise = false;
    bool m_loop = false;
    int m_loopLag = 0;
    int m_soundRun = 0; ///< buffers of sound without a break
};

} // namespace dovrane
