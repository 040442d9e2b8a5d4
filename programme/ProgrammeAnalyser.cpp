#include "ProgrammeAnalyser.h"

#include "AudioInput.h"

#include <fftw3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace dovrane {

namespace {

constexpr double kRate = AudioInput::kSampleRate;
constexpr int kPerSecond = 43;          // buffers of 1024 frames
constexpr int kMinLoopLag = kPerSecond; // a repeat shorter than a second is a sustained sound
constexpr int kLoopSettle = 2 * kPerSecond;
constexpr float kMismatchDb = 10.0f;
constexpr float kSmoothing = 1.0f / 16;
constexpr int kHumVotes = 20;
constexpr int kLoopVotes = kPerSecond;
constexpr int kHumLevels = 108; // 10 s of hum transforms

std::vector<double> hann(int n)
{
    std::vector<double> w(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        w[std::size_t(i)] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / n);
    return w;
}

/// True when at least four fifths of the last votes.size() calls said yes.
bool vote(std::vector<bool>& votes, int& next, bool yes)
{
    votes[std::size_t(next)] = yes;
    next = (next + 1) % int(votes.size());
    return std::count(votes.begin(), votes.end(), true) * 5 >= qsizetype(votes.size()) * 4;
}

/// Edges of bands in log steps from 215 Hz to 10 kHz: where programme lives, clear
/// of the pilot. Worked out once.
template <int Bands> const std::array<int, Bands + 1>& logEdges()
{
    static const std::array<int, Bands + 1> edges = [] {
        std::array<int, Bands + 1> e{};
        for (int b = 0; b <= Bands; ++b)
            e[std::size_t(b)] = int(std::lround(5 * std::pow(232.0 / 5, double(b) / Bands)));
        return e;
    }();
    return edges;
}

} // namespace

struct ProgrammeAnalyser::Plans
{
    Plans()
    {
        in = fftw_alloc_real(kFrames);
        out = fftw_alloc_complex(kFrames / 2 + 1);
        plan = fftw_plan_dft_r2c_1d(kFrames, in, out, FFTW_ESTIMATE);
        inR = fftw_alloc_real(kFrames);
        outR = fftw_alloc_complex(kFrames / 2 + 1);
        humIn = fftw_alloc_real(kHumFrames);
        humOut = fftw_alloc_complex(kHumFrames / 2 + 1);
        humPlan = fftw_plan_dft_r2c_1d(kHumFrames, humIn, humOut, FFTW_ESTIMATE);
    }
    ~Plans()
    {
        fftw_destroy_plan(plan);
        fftw_destroy_plan(humPlan);
        fftw_free(in);
        fftw_free(out);
        fftw_free(inR);
        fftw_free(outR);
        fftw_free(humIn);
        fftw_free(humOut);
    }
    double* in = nullptr;
    fftw_complex* out = nullptr;
    fftw_plan plan = nullptr;
    double* inR = nullptr; ///< the right channel, through the same plan
    fftw_complex* outR = nullptr;
    double* humIn = nullptr;
    fftw_complex* humOut = nullptr;
    fftw_plan humPlan = nullptr;
};

ProgrammeAnalyser::ProgrammeAnalyser()
    : m_plans(std::make_unique<Plans>()), m_window(hann(kFrames)), m_humWindow(hann(kHumFrames)),
      m_mono(kFrames), m_power(kFrames / 2 + 1), m_powerL(kFrames / 2 + 1),
      m_powerR(kFrames / 2 + 1), m_humIn(kHumFrames)
{}

ProgrammeAnalyser::~ProgrammeAnalyser() = default;

void ProgrammeAnalyser::configure(const AlarmSettings& settings)
{
    m_settings = settings;
    const double binHz = kRate / kFrames;
    m_bandFrom = std::max(1, int(std::ceil(settings.bandLowHz / binHz)));
    m_bandTo = std::min(kFrames / 2, int(std::floor(settings.bandHighHz / binHz)));
    m_notchFrom = settings.notchPilot ? int(std::ceil(18500 / binHz)) : 1;
    m_notchTo = settings.notchPilot ? int(std::floor(19500 / binHz)) : 0;
    m_bandLevel = 0;

    m_humFill = 0;
    m_humVotes.assign(kHumVotes, false);
    m_humVote = 0;
    m_humHeard = false;
    m_humLevels.assign(kHumLevels, -1);
    m_humLevelNext = 0;
    m_humDbfs = -std::numeric_limits<double>::infinity();
    m_noiseFrames.assign(kPerSecond, {});
    m_noiseSpectra.assign(std::size_t(kPerSecond) * kNoiseBins, 0);
    m_noiseSum.assign(kNoiseBins, 0);
    m_driftBands.assign(std::size_t(2 * kPerSecond) * kDriftBands, 0);
    m_driftNext = 0;
    m_noiseNext = m_noiseCount = 0;
    m_noiseNow = false;
    m_noiseVotes.assign(kPerSecond / 2, false);
    m_noiseVote = 0;

    const int window = std::clamp(settings.loopWindowSecs, 4, 60) * kPerSecond;
    m_signatures.assign((std::size_t(window) + 1) * kBands, 0);
    m_loud.assign(std::size_t(window) + 1, 0);
    m_sigNext = m_sigCount = 0;
    m_distance.assign(std::size_t(window) + 1, 0);
    m_compared.assign(std::size_t(window) + 1, 0);
    m_loopVotes.assign(kLoopVotes, false);
    m_loopVote = 0;
    m_hum = m_noise = m_loop = false;
    m_loopLag = m_soundRun = 0;
}

bool ProgrammeAnalyser::analyse(const QByteArray& buffer, qint32 threshold, bool rawSound)
{
    const auto* samples = reinterpret_cast<const qint16*>(buffer.constData());
    const int frames = std::min<int>(int(buffer.size() / 4), kFrames);
    const bool band = m_settings.bandEnabled();
    for (int i = 0; i < kFrames; ++i) {
        const double l = i < frames ? samples[2 * i] : 0.0;
        const double r = i < frames ? samples[2 * i + 1] : 0.0;
        m_mono[std::size_t(i)] = 0.5 * (l + r);
        const double w = m_window[std::size_t(i)];
        m_plans->in[i] = (band ? l : 0.5 * (l + r)) * w;
        m_plans->inR[i] = r * w;
    }
    fftw_execute(m_plans->plan);
    if (band) {
        // The mid spectrum is the mean of the channels' spectra: one transform each.
        fftw_execute_dft_r2c(m_plans->plan, m_plans->inR, m_plans->outR);
        for (int k = 0; k <= kFrames / 2; ++k) {
            const double lre = m_plans->out[k][0], lim = m_plans->out[k][1];
            const double rre = m_plans->outR[k][0], rim = m_plans->outR[k][1];
            m_powerL[std::size_t(k)] = lre * lre + lim * lim;
            m_powerR[std::size_t(k)] = rre * rre + rim * rim;
            const double re = 0.5 * (lre + rre), im = 0.5 * (lim + rim);
            m_power[std::size_t(k)] = re * re + im * im;
        }
    } else {
        for (int k = 0; k <= kFrames / 2; ++k) {
            const double re = m_plans->out[k][0], im = m_plans->out[k][1];
            m_power[std::size_t(k)] = re * re + im * im;
        }
    }
    bool sound = rawSound;
    if (band) {
        measureBand(samples, frames);
        sound = m_bandLevel > threshold;
    }
    if (m_settings.hum.enabled)
        checkHum(sound);
    if (m_settings.noise.enabled)
        checkNoise(sound);
    if (m_settings.loop.enabled)
        checkLoop(sound);
    return sound;
}

void ProgrammeAnalyser::measureBand(const qint16* samples, int frames)
{
    // Each channel on its own, as the peak test takes them: an inverted channel
    // must not cancel the other. The peak of what lies in the band is taken as the
    // channel's peak scaled by the root of the band's share of its energy: on
    // programme that fills the band it is the peak itself, so a threshold keeps
    // its meaning; a pilot tone or rumble alone reads as next to nothing.
    double level = 0;
    for (int c = 0; c < 2; ++c) {
        const std::vector<double>& power = c == 0 ? m_powerL : m_powerR;
        int peak = 0;
        for (int i = 0; i < frames; ++i)
            peak = std::max(peak, std::abs(int(samples[2 * i + c])));
        double inBand = 0, total = 0;
        for (int k = 1; k <= kFrames / 2; ++k) {
            total += power[std::size_t(k)];
            if (k >= m_bandFrom && k <= m_bandTo && (k < m_notchFrom || k > m_notchTo))
                inBand += power[std::size_t(k)];
        }
        if (total > 0)
            level = std::max(level, peak * std::sqrt(inBand / total));
    }
    m_bandLevel = level;
}

void ProgrammeAnalyser::checkNoise(bool sound)
{
    NoiseFrame frame;
    frame.sound = sound;
    double peak = 0, squares = 0;
    for (double m : m_mono) {
        peak = std::max(peak, std::abs(m));
        squares += m * m;
    }
    const double rms = std::sqrt(squares / kFrames);
    frame.crest = rms > 0 ? peak / rms : 0;
    // The level above the lowest bins: with many bins in it, noise holds it steady
    // from buffer to buffer, while music and speech move it.
    double upper = 0;
    for (int k = 8; k < kNoiseBins; ++k)
        upper += m_power[std::size_t(k)];
    frame.levelDb = 10 * std::log10(upper + 1e-3);
    m_noiseFrames[std::size_t(m_noiseNext)] = frame;
    double* slot = &m_noiseSpectra[std::size_t(m_noiseNext) * kNoiseBins];
    for (int k = 0; k < kNoiseBins; ++k) {
        m_noiseSum[std::size_t(k)] += m_power[std::size_t(k)] - slot[k];
        slot[k] = m_power[std::size_t(k)];
    }
    float* bands = &m_driftBands[std::size_t(m_driftNext) * kDriftBands];
    const auto& driftEdges = logEdges<kDriftBands>();
    for (int b = 0; b < kDriftBands; ++b) {
        double e = 0;
        for (int k = driftEdges[std::size_t(b)]; k < driftEdges[std::size_t(b) + 1]; ++k)
            e += m_power[std::size_t(k)];
        bands[b] = float(e);
    }
    m_driftNext = (m_driftNext + 1) % (2 * kPerSecond);
    m_noiseNext = (m_noiseNext + 1) % int(m_noiseFrames.size());
    m_noiseCount = std::min(m_noiseCount + 1, 2 * int(m_noiseFrames.size()));
    if (m_noiseCount < 2 * int(m_noiseFrames.size())) {
        m_noise = false;
        return;
    }
    // The verdict is taken four times a second and held between.
    if (m_noiseNext % 10 == 0) {
        double crest = 0, level = 0, levelSq = 0;
        bool allSound = true;
        for (const NoiseFrame& f : m_noiseFrames) {
            allSound = allSound && f.sound;
            crest = std::max(crest, f.crest);
            level += f.levelDb;
            levelSq += f.levelDb * f.levelDb;
        }
        const double n = double(m_noiseFrames.size());
        const double spread = std::sqrt(std::max(0.0, levelSq / n - (level / n) * (level / n)));
        // Measured on real music, static and speech: static stays far inside every
        // limit, and no music met them all for two seconds running.
        m_noiseNow = allSound && !m_humHeard && crest <= 6.5 && spread <= 2.5 &&
                     tonality() <= 0.8 && drift() <= 0.8;
    }
    m_noise = vote(m_noiseVotes, m_noiseVote, m_noiseNow);
}

double ProgrammeAnalyser::drift() const
{
    // Static keeps the balance of its bands from one second to the next; music
    // moves it with every chord. The mean change in dB between the last two seconds.
    double now[kDriftBands]{}, before[kDriftBands]{};
    for (int f = 0; f < 2 * kPerSecond; ++f) {
        // m_driftNext is the oldest buffer.
        const int age = (f - m_driftNext + 2 * kPerSecond) % (2 * kPerSecond);
        double* sum = age < kPerSecond ? before : now;
        for (int b = 0; b < kDriftBands; ++b)
            sum[b] += m_driftBands[std::size_t(f) * kDriftBands + std::size_t(b)];
    }
    double change = 0;
    for (int b = 0; b < kDriftBands; ++b)
        change += std::abs(10 * std::log10((now[b] + 1e-3) / (before[b] + 1e-3)));
    return change / kDriftBands;
}

double ProgrammeAnalyser::tonality() const
{
    // Over a second, noise of any colour averages to a smooth spectrum; a note, a
    // voice or a hum stands above its neighbours however dense the music. How far
    // each bin stands above the mean of the bins three either side (in dB, which a
    // power law keeps near zero), weighted by the bin's energy.
    double weighted = 0, total = 0;
    for (int k = 8; k + 3 < kNoiseBins; ++k) {
        const double p = m_noiseSum[std::size_t(k)] + 1e-3;
        const double around = std::sqrt((m_noiseSum[std::size_t(k - 3)] + 1e-3) *
                                        (m_noiseSum[std::size_t(k) + 3] + 1e-3));
        weighted += p * std::max(0.0, 10 * std::log10(p / around));
        total += p;
    }
    return total > 0 ? weighted / total : 0;
}

void ProgrammeAnalyser::checkHum(bool sound)
{
    // Four buffers make one transform with 10.8 Hz bins, fine enough for 50 and 60 Hz.
    std::copy(m_mono.begin(), m_mono.end(), m_humIn.begin() + m_humFill);
    m_humFill += kFrames;
    if (m_humFill < kHumFrames)
        return;
    m_humFill = 0;
    for (int i = 0; i < kHumFrames; ++i)
        m_plans->humIn[i] = m_humIn[std::size_t(i)] * m_humWindow[std::size_t(i)];
    fftw_execute(m_plans->humPlan);
    const double binHz = kRate / kHumFrames;
    const auto power = [this](int k) {
        const double re = m_plans->humOut[k][0], im = m_plans->humOut[k][1];
        return re * re + im * im;
    };
    double total = 0;
    for (int k = 2; k <= kHumFrames / 2; ++k)
        total += power(k);
    bool hum = false;
    double mainsPower = 0;
    for (const double mains : {50.0, 60.0}) {
        // The hum figure: the first three harmonics, a bin either side.
        double low = 0;
        for (int h = 1; h <= 3; ++h) {
            const int centre = int(std::lround(h * mains / binHz));
            for (int k = centre - 1; k <= centre + 1; ++k)
                low += power(k);
        }
        mainsPower = std::max(mainsPower, low);
        double harmonics = 0, fundamental = 0;
        for (int h = 1; h <= 12; ++h) {
            const int from = int(std::ceil((h * mains - 12) / binHz));
            const int to = int(std::floor((h * mains + 12) / binHz));
            for (int k = from; k <= to; ++k) {
                harmonics += power(k);
                if (h == 1)
                    fundamental += power(k);
            }
        }
        // Mostly mains harmonics, and the fundamental itself present: a note that
        // merely shares a harmonic with the mains does not count.
        hum = hum || (total > 0 && harmonics >= 0.8 * total && fundamental >= 0.1 * total);
    }
    m_humHeard = sound && hum;
    m_hum = vote(m_humVotes, m_humVote, m_humHeard);
    // Programme comes and goes in those bins; the hum stays. The lowest reading of
    // the last 10 s is the hum under the programme. A sine of amplitude A puts
    // 3 N² A² / 32 into a Hann-windowed one-sided spectrum.
    m_humLevels[std::size_t(m_humLevelNext)] = mainsPower;
    m_humLevelNext = (m_humLevelNext + 1) % kHumLevels;
    const double lowest = *std::min_element(m_humLevels.begin(), m_humLevels.end());
    if (lowest >= 0) {
        const double amplitude = std::sqrt(32 * lowest / (3.0 * kHumFrames * kHumFrames));
        m_humDbfs = 20 * std::log10(std::max(amplitude, 1e-3) / 32767);
    }
}

void ProgrammeAnalyser::checkLoop(bool sound)
{
    const int ringSize = int(m_loud.size());
    float* sig = &m_signatures[std::size_t(m_sigNext) * kBands];
    const auto& sigEdges = logEdges<kBands>();
    for (int b = 0; b < kBands; ++b) {
        double e = 0;
        for (int k = sigEdges[std::size_t(b)]; k < sigEdges[std::size_t(b) + 1]; ++k)
            e += m_power[std::size_t(k)];
        sig[b] = float(10 * std::log10(e + 1e2));
    }
    m_loud[std::size_t(m_sigNext)] = sound;
    m_soundRun = sound ? m_soundRun + 1 : 0;
    const int now = m_sigNext;
    m_sigNext = (m_sigNext + 1) % ringSize;
    m_sigCount = std::min(m_sigCount + 1, ringSize);

    // Per lag, how far this buffer's signature lies from the one that many buffers
    // ago, smoothed over time. A loop shows as one lag far closer than the rest; a
    // constant tone as every lag close. Silence never supports a loop.
    float best = 1e9f, sum = 0;
    int valid = 0;
    for (int lag = kMinLoopLag; lag < m_sigCount; ++lag) {
        const int then = (now - lag + ringSize) % ringSize;
        const bool loudThen = m_loud[std::size_t(then)] != 0;
        if (sound || loudThen) {
            float d = kMismatchDb;
            if (sound && loudThen) {
                const float* old = &m_signatures[std::size_t(then) * kBands];
                d = 0;
                for (int b = 0; b < kBands; ++b)
                    d += std::abs(sig[b] - old[b]);
                d /= kBands;
            }
            float& D = m_distance[std::size_t(lag)];
            int& n = m_compared[std::size_t(lag)];
            D = n == 0 ? d : D + kSmoothing * (d - D);
            ++n;
        }
        if (m_compared[std::size_t(lag)] >= kLoopSettle) {
            if (m_distance[std::size_t(lag)] < best)
                m_loopLag = lag;
            best = std::min(best, m_distance[std::size_t(lag)]);
            sum += m_distance[std::size_t(lag)];
            ++valid;
        }
    }
    const float mean = valid ? sum / float(valid) : 0;
    const bool repeat = valid > 0 && ((best < 0.35f * mean && best < 3.0f) || mean < 0.5f);
    m_loop = vote(m_loopVotes, m_loopVote, sound && repeat);
}

} // namespace dovrane
